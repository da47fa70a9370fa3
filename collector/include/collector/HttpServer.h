// An HTTPS server that holds against slow and hostile clients: asynchronous I/O on a few threads
// (an idle or trickling connection costs a socket and a few kilobytes, no thread), deadlines per
// connection rather than per read, limits on everything a client can make it hold, and a stop
// that finishes the requests in flight. Routes are described in Http.h.
#pragma once

#include "collector/Http.h"
#include "collector/Log.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace collector {

struct HttpLimits {
    size_t maxHead = 16 * 1024;  // request line and header fields, bytes -> 431
    size_t maxHeaderLines = 64;  // -> 431
    size_t maxBody = 1 << 20;    // -> 413 as soon as Content-Length or the chunks pass it
    std::chrono::milliseconds handshakeTimeout{10000};  // TCP accept to the end of the TLS handshake
    std::chrono::milliseconds headTimeout{10000};  // the whole request head, idle keep-alive time included
    // The body may take bodyGrace plus one second per minBodyRate bytes, never more than bodyCap.
    std::chrono::milliseconds bodyGrace{10000};
    size_t minBodyRate = 16 * 1024;
    std::chrono::milliseconds bodyCap{60000};
    std::chrono::milliseconds drainTimeout{10000};  // stop(): how long requests in flight may take
    size_t maxConnections = 4096;
    size_t maxPerClient = 64;
    unsigned ioThreads = 2;
    // Route handlers. An upload holds one while it waits for its group's commit, and the group
    // can only be as large as the uploads holding one.
    unsigned workers = 8;
};

struct HttpServerOptions {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string certFile;
    std::string keyFile;
    HttpLimits limits;
};

class HttpServer {
public:
    // Loads the certificate and key (TLS 1.2 and 1.3, AEAD ciphers only); throws
    // std::runtime_error when they do not make a TLS server.
    HttpServer(HttpServerOptions options, Router router, ErrorReply errorReply, JsonLog& log);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds (backlog at the system's maximum), starts the threads and returns the port.
    int start();
    // Stops accepting, closes idle connections, lets requests in flight finish for up to
    // drainTimeout, then closes the rest and joins every thread. Idempotent.
    void stop();

    int port() const;
    size_t connections() const;

    struct Impl;  // the Asio side, in HttpServer.cpp only

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace collector
