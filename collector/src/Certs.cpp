#include "collector/Certs.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace collector {

namespace {

namespace fs = std::filesystem;

struct PKeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
};
using PKey = std::unique_ptr<EVP_PKEY, PKeyFree>;
using Cert = std::unique_ptr<X509, X509Free>;
using File = std::unique_ptr<FILE, FileClose>;

constexpr long kDay = 24L * 60 * 60;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("certificates: " + what);
}

PKey newKey() {
    PKey key(EVP_EC_gen("P-256"));
    if (!key)
        fail("cannot generate a P-256 key");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        fail(std::string("bad extension ") + value);
    const int ok = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    if (!ok)
        fail(std::string("cannot add extension ") + value);
}

// A v3 certificate for `key` named `commonName`, valid from a day ago (clocks of the televisions
// and of this machine need not agree to the second) for `days` days; not yet signed.
Cert newCert(EVP_PKEY* key, const char* commonName, long days) {
    Cert cert(X509_new());
    if (!cert || !X509_set_version(cert.get(), 2))
        fail("X509_new");
    std::unique_ptr<BIGNUM, void (*)(BIGNUM*)> serial(BN_new(), BN_free);
    if (!serial || !BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())))
        fail("serial number");
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * kDay);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("tavrin collector"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    if (!X509_set_pubkey(cert.get(), key))
        fail("X509_set_pubkey");
    return cert;
}

void sign(X509* cert, EVP_PKEY* issuerKey) {
    if (!X509_sign(cert, issuerKey, EVP_sha256()))
        fail("X509_sign");
}

// Written to a temporary file and renamed, so a reader never sees half a PEM file.
template <class Writer>
void writePem(const std::string& path, mode_t mode, Writer write) {
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        fail("cannot write " + tmp);
    File f(::fdopen(fd, "w"));
    if (!f) {
        ::close(fd);
        fail("fdopen " + tmp);
    }
    const bool ok = write(f.get()) && std::fflush(f.get()) == 0;
    f.reset();
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        fail("cannot write " + path);
    }
}

void writeCert(const std::string& path, X509* cert) {
    writePem(path, 0644, [cert](FILE* f) { return PEM_write_X509(f, cert) == 1; });
}

void writeKey(const std::string& path, EVP_PKEY* key) {
    writePem(path, 0600, [key](FILE* f) {
        return PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
}

Cert readCert(const std::string& path) {
    File f(std::fopen(path.c_str(), "r"));
    Cert cert(f ? PEM_read_X509(f.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!cert)
        fail("cannot read certificate " + path);
    return cert;
}

PKey readKey(const std::string& path) {
    File f(std::fopen(path.c_str(), "r"));
    PKey key(f ? PEM_read_PrivateKey(f.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key)
        fail("cannot read key " + path);
    return key;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

CertPaths certPathsIn(const std::string& dir) {
    return {dir + "/ca.pem", dir + "/ca.key", dir + "/server.pem", dir + "/server.key"};
}

void checkPrivateFolder(const std::string& dir) {
    auto check = [](const std::string& path, bool mustExist) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (mustExist)
                fail("cannot read folder " + path);
            return;
        }
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        if (st.st_uid != ::geteuid())
            fail(path + " belongs to uid " + std::to_string(st.st_uid) + ", not to this user (uid " +
                 std::to_string(::geteuid()) + "); refusing to trust what is in it. Use a folder of your own.");
        if (st.st_mode & (S_IWGRP | S_IWOTH))
            fail(path + " can be written by other users (mode " + mode + "); refusing to trust what is in it. Run: chmod go-w " + path);
    };
    check(dir, true);
    const CertPaths p = certPathsIn(dir);
    for (const std::string& file : {p.caCert, p.caKey, p.serverCert, p.serverKey})
        check(file, false);
}

bool ensureCertificates(const std::string& dir, bool force) {
    std::error_code ec;
    const bool existed = fs::exists(dir, ec);
    fs::create_directories(dir, ec);
    if (ec)
        fail("cannot create " + dir + ": " + ec.message());
    if (!existed)
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    checkPrivateFolder(dir);
    const CertPaths p = certPathsIn(dir);

    bool madeCa = false;
    PKey caKey;
    Cert ca;
    if (force || !fs::exists(p.caCert) || !fs::exists(p.caKey)) {
        caKey = newKey();
        ca = newCert(caKey.get(), "tavrin collector local CA", 3650);
        X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
        addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
        addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
        addExtension(ca.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
        sign(ca.get(), caKey.get());
        writeKey(p.caKey, caKey.get());
        writeCert(p.caCert, ca.get());
        madeCa = true;
    }
    if (!madeCa && fs::exists(p.serverCert) && fs::exists(p.serverKey))
        return false;
    if (!madeCa) {
        caKey = readKey(p.caKey);
        ca = readCert(p.caCert);
    }

    PKey key = newKey();
    Cert cert = newCert(key.get(), "127.0.0.1", 825);
    X509_set_issuer_name(cert.get(), X509_get_subject_name(ca.get()));
    addExtension(cert.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment");
    addExtension(cert.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), ca.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost,IP:::1");
    addExtension(cert.get(), ca.get(), NID_subject_key_identifier, "hash");
    addExtension(cert.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
    sign(cert.get(), caKey.get());
    writeKey(p.serverKey, key.get());
    writeCert(p.serverCert, cert.get());
    return true;
}

bool installCa(const std::string& caPem, const std::string& target) {
    std::string pem = slurp(caPem);
    if (pem.find("-----BEGIN CERTIFICATE-----") == std::string::npos)
        fail("no certificate in " + caPem);
    if (pem.back() != '\n')
        pem += '\n';
    std::string bundle = fs::exists(target) ? slurp(target) : std::string();
    if (bundle.find(pem) != std::string::npos)
        return false;
    const fs::path dir = fs::path(target).parent_path();
    std::error_code ec;
    if (!dir.empty())
        fs::create_directories(dir, ec);
    if (ec)
        fail("cannot create " + dir.string() + ": " + ec.message());
    if (!bundle.empty() && bundle.back() != '\n')
        bundle += '\n';
    bundle += pem;
    writePem(target, 0644, [&bundle](FILE* f) {
        return std::fwrite(bundle.data(), 1, bundle.size(), f) == bundle.size();
    });
    return true;
}

} // namespace collector
