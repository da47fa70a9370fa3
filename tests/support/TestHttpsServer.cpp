#include "TestHttpsServer.h"

#include "TavConstants.h"

#include "TestSupport.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace tavtest {

namespace {

void require(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test PKI/server: ") + what);
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    require(ext && X509_add_ext(cert, ext, -1), "extension");
    X509_EXTENSION_free(ext);
}

// A signed certificate for `key`, issued by (issuer, issuerKey), or a self-signed CA when null.
X509* makeCert(EVP_PKEY* key, const std::string& cn, time_t from, time_t to, X509* issuer, EVP_PKEY* issuerKey) {
    static long serial = 1;
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++ + time(nullptr));
    ASN1_TIME_set(X509_getm_notBefore(cert), from);
    ASN1_TIME_set(X509_getm_notAfter(cert), to);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : cert;
    if (!issuer) {
        addExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, signer, NID_basic_constraints, "CA:FALSE");
        const bool ip = cn.find_first_not_of("0123456789.") == std::string::npos;
        addExtension(cert, signer, NID_subject_alt_name, ((ip ? "IP:" : "DNS:") + cn).c_str());
        addExtension(cert, signer, NID_ext_key_usage, "serverAuth");
    }
    require(X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return cert;
}

template <class Write>
std::string pemOf(Write write) {
    BIO* bio = BIO_new(BIO_s_mem());
    write(bio);
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string pem(data, n);
    BIO_free(bio);
    return pem;
}

std::string pemOf(X509* cert) {
    return pemOf([cert](BIO* bio) { PEM_write_bio_X509(bio, cert); });
}

bool iequals(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    const size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Parses a request head (without the blank line); false if it is not HTTP.
bool parseHead(const std::string& head, HttpRequest& req) {
    std::istringstream in(head);
    std::string line, version;
    std::getline(in, line);
    if (!(std::istringstream(line) >> req.method >> req.target >> version) || version.rfind("HTTP/", 0) != 0)
        return false;
    while (std::getline(in, line))
        if (line.find(':') != std::string::npos)
            req.headers.emplace_back(line.substr(0, line.find(':')), trim(line.substr(line.find(':') + 1)));
    return true;
}

} // namespace

TestCa::TestCa(const std::string& name) : m_key(EVP_EC_gen("P-256")) {
    require(m_key, "key");
    m_cert = makeCert(m_key, name, 978307200 /* 2001 */, time(nullptr) + 3650L * 86400, nullptr, nullptr);
}

TestCa::~TestCa() {
    X509_free(m_cert);
    EVP_PKEY_free(m_key);
}

std::string TestCa::certPem() const { return pemOf(m_cert); }

TestCert TestCa::issue(time_t notBefore, time_t notAfter, const std::string& host) const {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    require(key, "key");
    X509* cert = makeCert(key, host, notBefore, notAfter, m_cert, m_key);
    TestCert out{pemOf(cert), pemOf([key](BIO* bio) {
                     PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
                 })};
    X509_free(cert);
    EVP_PKEY_free(key);
    return out;
}

std::string HttpRequest::header(const std::string& name) const {
    for (const auto& h : headers)
        if (iequals(h.first, name))
            return h.second;
    return "";
}

bool HttpRequest::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return iequals(h.first, name); });
}

FormPart HttpRequest::formPart(const std::string& name) const {
    const std::string type = header("Content-Type");
    const size_t b = type.find("boundary=");
    if (b == std::string::npos)
        return {};
    const std::string delimiter = "--" + type.substr(b + 9);
    for (size_t at = body.find(delimiter); at != std::string::npos;) {
        const size_t start = at + delimiter.size() + 2;
        const size_t next = body.find("\r\n" + delimiter, start);
        const size_t headEnd = body.find("\r\n\r\n", start);
        if (next == std::string::npos || headEnd == std::string::npos)
            break;
        FormPart part{body.substr(start, headEnd - start), body.substr(headEnd + 4, next - headEnd - 4)};
        if (part.head.find("name=\"" + name + "\"") != std::string::npos)
            return part;
        at = next + 2;
    }
    return {};
}

TestHttpsServer::TestHttpsServer(const TestCert& cert, Handler handler) : m_handler(std::move(handler)) {
    signal(SIGPIPE, SIG_IGN);   // a client that hangs up must not end the test program
    m_ctx = SSL_CTX_new(TLS_server_method());
    BIO* certBio = BIO_new_mem_buf(cert.certPem.data(), static_cast<int>(cert.certPem.size()));
    BIO* keyBio = BIO_new_mem_buf(cert.keyPem.data(), static_cast<int>(cert.keyPem.size()));
    X509* x = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* k = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    const bool ok = m_ctx && x && k && SSL_CTX_use_certificate(m_ctx, x) == 1 && SSL_CTX_use_PrivateKey(m_ctx, k) == 1;
    X509_free(x);
    EVP_PKEY_free(k);
    BIO_free(certBio);
    BIO_free(keyBio);
    require(ok, "certificate");

    m_listenFd = listenOnLoopback(m_port);
    m_acceptThread = std::thread(&TestHttpsServer::acceptLoop, this);
}

TestHttpsServer::~TestHttpsServer() {
    stop();
    SSL_CTX_free(m_ctx);
}

std::string TestHttpsServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<HttpRequest> TestHttpsServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int TestHttpsServer::connections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

void TestHttpsServer::holdHandshakes(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holdHandshakes = on;
}

void TestHttpsServer::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop)
            return;
        m_stop = true;
        for (int fd : m_clientFds)
            shutdown(fd, SHUT_RDWR);
    }
    m_stopped.notify_all();
    shutdown(m_listenFd, SHUT_RDWR);   // wakes accept()
    m_acceptThread.join();
    for (std::thread& t : m_threads)   // no new ones after the accept thread has ended
        t.join();
    close(m_listenFd);
}

bool TestHttpsServer::waitStopped(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop; });
}

void TestHttpsServer::acceptLoop() {
    for (;;) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (fd < 0 || m_stop) {
            if (fd >= 0)
                close(fd);
            return;
        }
        const int one = 1;   // replies go out at once, as a real server's would
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_clientFds.push_back(fd);
        ++m_connections;
        m_threads.emplace_back(&TestHttpsServer::serve, this, fd, m_holdHandshakes);
    }
}

void TestHttpsServer::serve(int fd, bool hold) {
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(m_ctx), &SSL_free);
    if (hold)
        waitStopped(24 * 3600 * 1000);
    SSL_set_fd(ssl.get(), fd);
    std::string buffer;
    char chunk[16384];
    auto readMore = [&]() {
        const int n = SSL_read(ssl.get(), chunk, sizeof chunk);
        if (n > 0)
            buffer.append(chunk, n);
        return n > 0;
    };
    bool open = !hold && SSL_accept(ssl.get()) == 1;
    while (open) {
        size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos && (open = readMore()))
            ;
        if (!open)
            break;
        HttpRequest req;
        if (!parseHead(buffer.substr(0, end), req))
            break;
        buffer.erase(0, end + 4);
        if (iequals(req.header("Expect"), "100-continue"))
            SSL_write(ssl.get(), "HTTP/1.1 100 Continue\r\n\r\n", 25);
        const size_t length = std::stoul("0" + req.header("Content-Length"));
        while (buffer.size() < length && (open = readMore()))
            ;
        if (!open)
            break;
        req.body = buffer.substr(0, length);
        buffer.erase(0, length);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(req);
        }
        HttpReply reply = m_handler(req);
        if (reply.delayMs > 0 && waitStopped(reply.delayMs))
            break;
        std::string out = reply.raw;
        if (out.empty()) {
            out = "HTTP/1.1 " + std::to_string(reply.status) + " Status" +
                  "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\n";
            for (const auto& header : reply.headers)
                out += header.first + ": " + header.second + "\r\n";
            out += "\r\n" + reply.body;
        }
        open = SSL_write(ssl.get(), out.data(), static_cast<int>(out.size())) > 0 && !reply.close &&
               !iequals(req.header("Connection"), "close");
    }
    SSL_shutdown(ssl.get());
    shutdown(fd, SHUT_RDWR);
    std::lock_guard<std::mutex> lock(m_mutex);
    close(fd);
    // Removed from the list only once closed, so stop() never shuts down a reused descriptor.
    for (auto it = m_clientFds.begin(); it != m_clientFds.end(); ++it)
        if (*it == fd) {
            m_clientFds.erase(it);
            break;
        }
}

int listenOnLoopback(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    require(fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(fd, 64) == 0 &&
                getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0,
            "listen");
    port = ntohs(addr.sin_port);
    return fd;
}

TrustedCa::TrustedCa(const std::string& name) : m_ca(name) {
    // The first folder on the way that does not exist yet goes again at the end.
    for (std::string dir = CA_FILE.substr(0, CA_FILE.rfind('/')); !dir.empty() && !fileExists(dir);
         dir = dir.substr(0, dir.rfind('/')))
        m_createdDir = dir;
    run("mkdir -p '" + CA_FILE.substr(0, CA_FILE.rfind('/')) + "'");
    m_existed = fileExists(CA_FILE);
    if (m_existed)
        m_previous = readFile(CA_FILE);
    writeFile(CA_FILE, m_ca.certPem());
}

TrustedCa::~TrustedCa() {
    if (m_existed)
        writeFile(CA_FILE, m_previous);
    else
        std::remove(CA_FILE.c_str());
    if (!m_createdDir.empty())
        run("rm -rf '" + m_createdDir + "'");
}

TestCert TrustedCa::validCert(const std::string& host) const {
    const time_t now = time(nullptr);
    return m_ca.issue(now - 86400, now + 86400, host);
}

std::unique_ptr<TestHttpsServer> TrustedCa::serve(TestHttpsServer::Handler handler, const TestCert* cert) const {
    return std::make_unique<TestHttpsServer>(cert ? *cert : validCert(), std::move(handler));
}

} // namespace tavtest
