// Certificates for a local collector: a small certificate authority and a server certificate
// for 127.0.0.1 and localhost signed by it. The television trusts only the CA file it ships
// with, so the demo installs this CA there.
#pragma once

#include <string>

namespace collector {

struct CertPaths {
    std::string caCert;      // <dir>/ca.pem
    std::string caKey;       // <dir>/ca.key
    std::string serverCert;  // <dir>/server.pem
    std::string serverKey;   // <dir>/server.key
};

CertPaths certPathsIn(const std::string& dir);

// Throws std::runtime_error, saying what is wrong and how to fix it, unless `dir` and the
// certificate files present in it belong to this user and no one else can write to them: a
// CA someone else could replace would end up trusted by the television.
void checkPrivateFolder(const std::string& dir);

// Makes what is missing in `dir` (created private to the user if needed, checked with
// checkPrivateFolder before anything in it is read): the CA when its certificate or key is
// missing, the server certificate when it or its key is missing or the CA was just made. With
// `force` everything is made anew. Keys are P-256, private key files mode 0600. Returns whether
// anything was written; throws std::runtime_error on failure.
bool ensureCertificates(const std::string& dir, bool force = false);

// Adds the CA certificate at `caPem` to the bundle `target` (directories created), unless the
// bundle already holds it: other certificates already trusted there stay. Returns true when the
// bundle was changed.
bool installCa(const std::string& caPem, const std::string& target);

} // namespace collector
