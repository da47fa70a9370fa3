// A real HTTPS server on 127.0.0.1 (port 0) for tests of HTTP clients, with a small test PKI.
// Each request goes to a handler that says what to answer, and may misbehave on purpose:
// stall, send raw bytes (garbage, a reply cut short), or close the connection.
#pragma once

#include <openssl/types.h>

#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tavtest {

struct TestCert {
    std::string certPem;
    std::string keyPem;
};

// A certificate authority made at run time; it issues server certificates for 127.0.0.1, or
// for another host name only.
class TestCa {
public:
    explicit TestCa(const std::string& name);
    ~TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;
    std::string certPem() const;
    TestCert issue(time_t notBefore, time_t notAfter, const std::string& host = "127.0.0.1") const;

private:
    EVP_PKEY* m_key;
    X509* m_cert;
};

struct FormPart {
    std::string head;      // the part's header lines
    std::string content;   // its bytes
};

struct HttpRequest {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;   // in the order sent
    std::string body;
    // The value of the first header of that name (case-insensitive); "" if there is none.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    // The multipart form part named `name`; empty when there is none.
    FormPart formPart(const std::string& name) const;
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;   // sent after the server's own
    std::string raw;        // when not empty, sent as it is instead of status, headers and body
    int delayMs = 0;        // wait this long before answering (cut short by stop())
    bool close = false;     // close the connection after answering
};

class TestHttpsServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    TestHttpsServer(const TestCert& cert, Handler handler);
    ~TestHttpsServer();
    TestHttpsServer(const TestHttpsServer&) = delete;
    TestHttpsServer& operator=(const TestHttpsServer&) = delete;

    std::string url(const std::string& path = "/") const;
    std::vector<HttpRequest> requests() const;
    int connections() const;
    // While on, connections are accepted and counted but never get a TLS handshake (they stay
    // open, silent, until stop()).
    void holdHandshakes(bool on);
    void stop();

private:
    void acceptLoop();
    void serve(int fd, bool hold);
    bool waitStopped(int ms);

    SSL_CTX* m_ctx = nullptr;
    Handler m_handler;
    int m_listenFd = -1;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    bool m_holdHandshakes = false;
    int m_connections = 0;
    std::vector<int> m_clientFds;
    std::vector<std::thread> m_threads;
    std::vector<HttpRequest> m_requests;
    std::thread m_acceptThread;
};

// A test CA that the television trusts: installed where CA_FILE points while this lives (what
// was there, and the folders it needed, come back or go on destruction). Its servers run on
// 127.0.0.1 with a certificate valid from yesterday to tomorrow. Test programs run in a private
// view of the television's paths (tests/support/isolate.sh), so programs installing it side by
// side do not meet.
class TrustedCa {
public:
    explicit TrustedCa(const std::string& name = "tavrin test CA");
    ~TrustedCa();
    TrustedCa(const TrustedCa&) = delete;
    TrustedCa& operator=(const TrustedCa&) = delete;
    const TestCa& ca() const { return m_ca; }
    TestCert validCert(const std::string& host = "127.0.0.1") const;
    std::unique_ptr<TestHttpsServer> serve(TestHttpsServer::Handler handler, const TestCert* cert = nullptr) const;

private:
    TestCa m_ca;
    std::string m_createdDir;
    bool m_existed = false;
    std::string m_previous;
};

// A TCP socket listening on 127.0.0.1 at a port of the system's choice (stored in `port`); throws
// when it cannot be made.
int listenOnLoopback(int& port);

} // namespace tavtest
