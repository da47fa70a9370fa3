#include "TlsClient.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace tavclient {

TlsContext::TlsContext(const std::string& caFile) {
    // Writing to a connection the server has closed is what these clients are for; the
    // failed write must come back as an error, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    m_ctx = SSL_CTX_new(TLS_client_method());
    if (!m_ctx)
        throw std::runtime_error("SSL_CTX_new failed");
    // A new connection must cost a full handshake, as a television's does.
    SSL_CTX_set_session_cache_mode(m_ctx, SSL_SESS_CACHE_OFF);
    if (!caFile.empty()) {
        if (SSL_CTX_load_verify_locations(m_ctx, caFile.c_str(), nullptr) != 1)
            throw std::runtime_error("cannot load CA file " + caFile);
        SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
    }
}

TlsContext::~TlsContext() {
    SSL_CTX_free(m_ctx);
}

bool TlsClient::connect(const std::string& host, int port, const std::string& source) {
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!source.empty()) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        if (inet_pton(AF_INET, source.c_str(), &from.sin_addr) != 1 ||
            ::bind(m_fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            close();
            return false;
        }
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(), &to.sin_addr) != 1 ||
        ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close();
        return false;
    }
    return true;
}

bool TlsClient::setTimeout(int timeoutMs) {
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 &&
           ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

bool TlsClient::handshake() {
    if (m_fd < 0)
        return false;
    setTimeout(30000);
    m_ssl = SSL_new(m_ctx.get());
    if (!m_ssl)
        return false;
    SSL_set_fd(m_ssl, m_fd);
    SSL_set_tlsext_host_name(m_ssl, "localhost");
    if (SSL_connect(m_ssl) != 1) {
        ERR_clear_error();
        close();
        return false;
    }
    return true;
}

bool TlsClient::sendRaw(const std::string& bytes) {
    return m_fd >= 0 && ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool TlsClient::send(const std::string& bytes) {
    if (!m_ssl)
        return false;
    for (size_t at = 0; at < bytes.size();) {
        const int n = SSL_write(m_ssl, bytes.data() + at, static_cast<int>(std::min<size_t>(bytes.size() - at, 1 << 20)));
        if (n <= 0) {
            ERR_clear_error();
            return false;
        }
        at += static_cast<size_t>(n);
    }
    return true;
}

std::string TlsClient::readResponse(int timeoutMs) {
    if (!m_ssl)
        return "";
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string& in = m_pending;
    char buf[16384];
    for (;;) {
        const size_t head = in.find("\r\n\r\n");
        if (head != std::string::npos) {
            size_t length = 0;
            for (size_t line = in.find("\r\n") + 2; line < head; line = in.find("\r\n", line) + 2) {
                std::string name = in.substr(line, in.find(':', line) - line);
                for (char& c : name)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (name == "content-length")
                    length = std::strtoul(in.c_str() + in.find(':', line) + 1, nullptr, 10);
            }
            // An interim 100 Continue counts as a response of its own.
            if (in.size() >= head + 4 + length) {
                std::string response = in.substr(0, head + 4 + length);
                in.erase(0, head + 4 + length);
                return response;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !setTimeout(static_cast<int>(std::max<long long>(left, 1))))
            return "";
        const int n = SSL_read(m_ssl, buf, sizeof buf);
        if (n <= 0) {
            ERR_clear_error();
            return "";
        }
        in.append(buf, static_cast<size_t>(n));
    }
}

bool TlsClient::waitClosed(int timeoutMs) {
    if (m_fd < 0)
        return true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left < 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            return false;
        // Raw bytes: a close_notify or a reply before the close is read past, not decrypted.
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0)
            return true;
    }
}

void TlsClient::close() {
    if (m_ssl)
        SSL_free(m_ssl);
    m_ssl = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_pending.clear();
}

int statusOf(const std::string& response) {
    if (response.compare(0, 5, "HTTP/") != 0 || response.find(' ') == std::string::npos)
        return 0;
    return std::atoi(response.c_str() + response.find(' ') + 1);
}

std::string bodyOf(const std::string& response) {
    const size_t head = response.find("\r\n\r\n");
    return head == std::string::npos ? "" : response.substr(head + 4);
}

} // namespace tavclient
