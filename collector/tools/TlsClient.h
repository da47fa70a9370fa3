// A blocking HTTPS client that does exactly what it is told, byte by byte: the misbehaving
// clients of the collector's tests and of its soak tool (slow handshakes, trickled heads, header
// floods, oversized bodies) and a plain upload client with a new TLS connection per request.
#pragma once

#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace tavclient {

// One per program or thread group (it makes the program ignore SIGPIPE): loading the CA file per connection would cost more than the
// handshake it is measured against.
class TlsContext {
public:
    // With a CA file the server certificate is verified against it; without, it is not.
    explicit TlsContext(const std::string& caFile = "");
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;
    SSL_CTX* get() const { return m_ctx; }

private:
    SSL_CTX* m_ctx = nullptr;
};

class TlsClient {
public:
    explicit TlsClient(const TlsContext& ctx) : m_ctx(ctx) {}
    ~TlsClient() { close(); }
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    // TCP connection to host:port (IPv4), from the address `source` when given (any address of
    // 127.0.0.0/8 works on loopback, so tests can play many clients).
    bool connect(const std::string& host, int port, const std::string& source = "");
    bool handshake();
    // Before the handshake: raw TCP bytes (a handshake that never completes).
    bool sendRaw(const std::string& bytes);
    // Everything or false (the server closed or reset the connection).
    bool send(const std::string& bytes);
    // One HTTP response: the head and a Content-Length body. Empty when the connection ended
    // first or nothing complete came within timeoutMs.
    std::string readResponse(int timeoutMs);
    // True when the server closes the connection within timeoutMs.
    bool waitClosed(int timeoutMs);
    void close();
    bool connected() const { return m_fd >= 0; }

private:
    bool setTimeout(int timeoutMs);

    const TlsContext& m_ctx;
    int m_fd = -1;
    SSL* m_ssl = nullptr;
    std::string m_pending;  // bytes read past the last response
};

// The status code of a response ("HTTP/1.1 413 ..." -> 413); 0 when there is none.
int statusOf(const std::string& response);
// The body of a response; "" when there is none.
std::string bodyOf(const std::string& response);

} // namespace tavclient
