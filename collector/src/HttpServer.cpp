// The only translation unit with Asio and Beast's streams in it: each such unit takes half a
// minute to compile.
#include "collector/HttpServer.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>

namespace collector {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

bool iequals(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

bool prefixMatches(const std::string& prefix, const std::string& path) {
    if (path.compare(0, prefix.size(), prefix) != 0)
        return false;
    return path.size() == prefix.size() || prefix.back() == '/' || path[prefix.size()] == '/';
}

// The kernel caps a larger backlog at net.core.somaxconn; asking for that value keeps a burst of
// connecting televisions in the queue instead of dropping their SYNs.
int systemBacklog() {
    std::ifstream in("/proc/sys/net/core/somaxconn");
    int n = 0;
    if (in >> n && n > 0)
        return n;
    return SOMAXCONN;
}

// TLS 1.2 with forward-secret AEAD suites only; TLS 1.3 has nothing else.
const char* const kTls12Ciphers =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:"
    "ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384:ECDHE-RSA-CHACHA20-POLY1305";

} // namespace

void HttpResponse::set(const std::string& name, const std::string& value) {
    headers.erase(std::remove_if(headers.begin(), headers.end(), [&](const auto& h) { return iequals(h.first, name); }),
                  headers.end());
    headers.emplace_back(name, value);
}

void Router::add(std::string method, std::string prefix, RouteHandler handler) {
    if (prefix.empty() || prefix[0] != '/')
        throw std::invalid_argument("route prefix must start with '/': " + prefix);
    m_routes.push_back({std::move(method), std::move(prefix), std::move(handler)});
}

const RouteHandler* Router::find(const std::string& method, const std::string& target, eMatch& why) const {
    const std::string path = target.substr(0, target.find('?'));
    const Route* best = nullptr;
    bool pathKnown = false;
    for (const Route& r : m_routes) {
        if (!prefixMatches(r.prefix, path))
            continue;
        pathKnown = true;
        if (!r.method.empty() && r.method != method)
            continue;
        if (!best || r.prefix.size() > best->prefix.size() ||
            (r.prefix.size() == best->prefix.size() && best->method.empty() && !r.method.empty()))
            best = &r;
    }
    why = best ? eMatch::Found : pathKnown ? eMatch::NoMethod : eMatch::NoPath;
    return best ? &best->handler : nullptr;
}

class Session;

struct HttpServer::Impl {
    HttpServerOptions options;
    Router router;
    ErrorReply errorReply;
    JsonLog& log;

    // Before the io_context: destroying it destroys pending handlers and with them sessions,
    // whose destructors come back here.
    std::mutex mutex;
    std::condition_variable drained;
    std::map<Session*, std::weak_ptr<Session>> sessions;
    std::map<std::string, size_t> perClient;
    std::atomic<bool> stopping{false};
    bool stopped = false;
    std::atomic<size_t> refusedSinceLog{0};
    Clock::time_point lastRefusalLog{};

    std::optional<net::io_context> ioc;
    // While a handler runs on a worker, its connection has nothing pending on the io_context;
    // without this, run() would return on a stop with only such requests left and their
    // replies would never be written.
    std::optional<net::executor_work_guard<net::io_context::executor_type>> keepRunning;
    std::optional<ssl::context> tls;
    std::optional<tcp::acceptor> acceptor;
    std::optional<net::thread_pool> workers;
    std::vector<std::thread> threads;
    int port = 0;

    Impl(HttpServerOptions o, Router r, ErrorReply e, JsonLog& l)
        : options(std::move(o)), router(std::move(r)), errorReply(std::move(e)), log(l) {}

    void accept();
    void onAccept(beast::error_code ec, tcp::socket socket);
    void noteRefusal(const std::string& client, const char* why);
    void forget(Session* s, const std::string& client);
};

// One client connection, on its own strand: handshake, then requests one after another.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket&& socket, HttpServer::Impl& srv, std::string client)
        : m_stream(std::move(socket), *srv.tls), m_srv(srv), m_client(std::move(client)),
          m_buffer(srv.options.limits.maxHead + 16 * 1024) {}
    ~Session() { m_srv.forget(this, m_client); }

    void start() {
        net::dispatch(m_stream.get_executor(), [self = shared_from_this()] {
            beast::get_lowest_layer(self->m_stream).expires_after(self->limits().handshakeTimeout);
            self->m_stream.async_handshake(ssl::stream_base::server, [self](beast::error_code ec) {
                if (ec)
                    return self->closeSocket();
                self->readHead();
            });
        });
    }

    // From stop(): a connection with no request under way goes now; one with a request
    // finishes it and then closes. Bytes that arrived and wait to be read count as a request.
    void stopIdle() {
        net::dispatch(m_stream.get_executor(), [self = shared_from_this()] {
            beast::error_code ec;
            auto& tcpStream = beast::get_lowest_layer(self->m_stream);
            if (!self->m_inRequest && !(self->m_parser && self->m_parser->got_some()) &&
                tcpStream.socket().available(ec) == 0)
                tcpStream.cancel();
        });
    }

    // After the drain time: whatever is left is closed.
    void abort() {
        net::dispatch(m_stream.get_executor(), [self = shared_from_this()] { self->closeSocket(); });
    }

private:
    const HttpLimits& limits() const { return m_srv.options.limits; }

    void readHead() {
        if (m_srv.stopping)
            return shutdownTls();
        m_inRequest = false;
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(limits().maxHead));
        m_parser->body_limit(limits().maxBody);
        beast::get_lowest_layer(m_stream).expires_after(limits().headTimeout);
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onHead(ec); });
    }

    void onHead(beast::error_code ec) {
        if (ec == http::error::header_limit)
            return refuse(431, "request head over " + std::to_string(limits().maxHead) + " bytes");
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == net::error::operation_aborted ||
            ec == net::error::eof || ec == net::ssl::error::stream_truncated || ec == net::error::connection_reset)
            return closeSocket();
        if (ec == http::error::body_limit)
            return refuse(413, "body over " + std::to_string(limits().maxBody) + " bytes");
        if (ec)
            return refuse(400, "malformed request: " + ec.message());
        m_inRequest = true;
        const HttpRequest& req = m_parser->get();
        const size_t lines = static_cast<size_t>(std::distance(req.begin(), req.end()));
        if (lines > limits().maxHeaderLines)
            return refuse(431, std::to_string(lines) + " header lines, at most " + std::to_string(limits().maxHeaderLines));
        if (const auto length = m_parser->content_length(); length && *length > limits().maxBody)
            return refuse(413, "Content-Length " + std::to_string(*length) + " over " + std::to_string(limits().maxBody));
        m_bodyStart = Clock::now();
        m_bodyBytes = 0;
        const auto expect = req[http::field::expect];
        if (!m_parser->is_done() && beast::iequals(expect, "100-continue")) {
            // Without it a client that asks waits a second before it sends the body.
            m_continue.emplace(http::status::continue_, req.version());
            beast::get_lowest_layer(m_stream).expires_after(limits().headTimeout);
            return http::async_write(m_stream, *m_continue, [self = shared_from_this()](beast::error_code e, std::size_t) {
                if (e)
                    return self->closeSocket();
                self->readBody();
            });
        }
        readBody();
    }

    // The deadline of the next read is when the body would fall below the minimum rate: by
    // bodyGrace + n / minBodyRate seconds the client must have sent more than n bytes.
    void readBody() {
        if (m_parser->is_done())
            return dispatchRequest();
        const auto rate = std::max<size_t>(limits().minBodyRate, 1);
        const auto owed = std::chrono::milliseconds((m_bodyBytes + 1) * 1000 / rate);
        const auto deadline = m_bodyStart + std::min(limits().bodyGrace + owed, limits().bodyCap);
        beast::get_lowest_layer(m_stream).expires_at(deadline);
        http::async_read_some(m_stream, m_buffer, *m_parser,
                              [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                  if (ec == http::error::body_limit)
                                      return self->refuse(413, "body over " + std::to_string(self->limits().maxBody) + " bytes");
                                  if (ec == beast::error::timeout)
                                      return self->giveUp("body slower than the minimum rate or the cap");
                                  if (ec == http::error::partial_message || ec == net::error::eof ||
                                      ec == net::ssl::error::stream_truncated || ec == net::error::operation_aborted ||
                                      ec == net::error::connection_reset)
                                      return self->closeSocket();
                                  if (ec)
                                      return self->refuse(400, "malformed body: " + ec.message());
                                  self->m_bodyBytes += n;
                                  self->readBody();
                              });
    }

    void dispatchRequest() {
        auto request = std::make_shared<HttpRequest>(m_parser->release());
        m_parser.reset();
        Router::eMatch why = Router::eMatch::NoPath;
        const RouteHandler* handler = m_srv.router.find(std::string(request->method_string()),
                                                        std::string(request->target()), why);
        m_keepAlive = request->keep_alive();
        if (!handler)
            return respond(m_srv.errorReply(why == Router::eMatch::NoMethod ? 405 : 404,
                                            why == Router::eMatch::NoMethod ? "method not allowed here" : "no such path"),
                           false);
        net::post(*m_srv.workers, [self = shared_from_this(), request, handler] {
            HttpResponse res;
            try {
                res = (*handler)(*request, self->m_client);
            } catch (const std::exception& e) {
                self->m_srv.log.write("error", "handler", {JsonLog::text("client", self->m_client),
                                                          JsonLog::text("target", std::string(request->target())),
                                                          JsonLog::text("msg", e.what())});
                res = self->m_srv.errorReply(500, "internal error");
            }
            net::post(self->m_stream.get_executor(), [self, res = std::move(res)]() mutable {
                self->respond(std::move(res), false);
            });
        });
    }

    void respond(HttpResponse res, bool lingerAfter) {
        m_response.emplace();
        m_response->result(res.status);
        m_response->version(11);
        for (const auto& h : res.headers)
            m_response->insert(h.first, h.second);
        m_response->body() = std::move(res.body);
        m_response->keep_alive(m_keepAlive && !lingerAfter && !m_srv.stopping);
        m_response->prepare_payload();
        beast::get_lowest_layer(m_stream).expires_after(limits().headTimeout);
        http::async_write(m_stream, *m_response, [self = shared_from_this(), lingerAfter](beast::error_code ec, std::size_t) {
            if (ec)
                return self->closeSocket();
            if (lingerAfter)
                return self->linger();
            if (!self->m_response->keep_alive())
                return self->shutdownTls();
            self->readHead();
        });
    }

    // A request refused before its end: answer, then close.
    void refuse(unsigned status, const std::string& reason) {
        m_srv.log.write("warning", "refused", {JsonLog::number("status", status), JsonLog::text("client", m_client),
                                               JsonLog::text("msg", reason)});
        m_keepAlive = false;
        respond(m_srv.errorReply(status, reason), true);
    }

    void giveUp(const std::string& reason) {
        m_srv.log.write("warning", "timeout", {JsonLog::text("client", m_client), JsonLog::text("msg", reason)});
        closeSocket();
    }

    // The client may still be sending what was refused; closing with unread data would reset
    // the connection and could destroy the reply before the client reads it. So the sending
    // side is closed and what still comes is read and dropped for a short while.
    void linger() {
        auto& tcpStream = beast::get_lowest_layer(m_stream);
        beast::error_code ignored;
        tcpStream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        tcpStream.expires_after(std::chrono::seconds(2));
        m_drain.resize(16 * 1024);
        drainSome();
    }

    void drainSome() {
        beast::get_lowest_layer(m_stream).async_read_some(net::buffer(m_drain),
                                                          [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                                              if (ec)
                                                                  return self->closeSocket();
                                                              self->drainSome();
                                                          });
    }

    void shutdownTls() {
        beast::get_lowest_layer(m_stream).expires_after(std::chrono::seconds(2));
        m_stream.async_shutdown([self = shared_from_this()](beast::error_code) { self->closeSocket(); });
    }

    void closeSocket() {
        beast::error_code ignored;
        beast::get_lowest_layer(m_stream).socket().close(ignored);
    }

    beast::ssl_stream<beast::tcp_stream> m_stream;
    HttpServer::Impl& m_srv;
    std::string m_client;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::optional<http::response<http::empty_body>> m_continue;
    std::optional<http::response<http::string_body>> m_response;
    std::vector<char> m_drain;
    Clock::time_point m_bodyStart{};
    size_t m_bodyBytes = 0;
    bool m_inRequest = false;
    bool m_keepAlive = false;
};

void HttpServer::Impl::accept() {
    acceptor->async_accept(net::make_strand(*ioc), [this](beast::error_code ec, tcp::socket socket) {
        onAccept(ec, std::move(socket));
    });
}

void HttpServer::Impl::onAccept(beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || stopping || !acceptor->is_open())
        return;
    if (ec) {
        // Out of descriptors, for one: the connection stays in the backlog and is tried again.
        log.write("error", "accept", {JsonLog::text("msg", ec.message())});
        return accept();
    }
    std::string client = socket.remote_endpoint(ec).address().to_string();
    if (ec) {
        socket.close(ec);
        return accept();
    }
    std::shared_ptr<Session> session;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const char* over = sessions.size() >= options.limits.maxConnections ? "connection limit"
                           : perClient[client] >= options.limits.maxPerClient ? "per-client limit"
                                                                               : nullptr;
        if (over) {
            if (perClient[client] == 0)
                perClient.erase(client);
            socket.close(ec);
            noteRefusal(client, over);
            return accept();
        }
        // Replies go out in more than one write; with Nagle's algorithm the later ones would
        // wait for the client's delayed acknowledgement (about 40 ms per request).
        socket.set_option(tcp::no_delay(true), ec);
        session = std::make_shared<Session>(std::move(socket), *this, client);
        sessions.emplace(session.get(), session);
        ++perClient[client];
    }
    session->start();
    accept();
}

// Refused connections are counted and logged at most once a second: a flood of them must not
// become a flood of log lines.
void HttpServer::Impl::noteRefusal(const std::string& client, const char* why) {
    ++refusedSinceLog;
    const auto now = Clock::now();
    if (now - lastRefusalLog < std::chrono::seconds(1))
        return;
    lastRefusalLog = now;
    log.write("warning", "connection_refused", {JsonLog::text("client", client), JsonLog::text("msg", why),
                                                JsonLog::number("count", static_cast<long long>(refusedSinceLog.exchange(0)))});
}

void HttpServer::Impl::forget(Session* s, const std::string& client) {
    std::lock_guard<std::mutex> lock(mutex);
    sessions.erase(s);
    auto it = perClient.find(client);
    if (it != perClient.end() && --it->second == 0)
        perClient.erase(it);
    if (sessions.empty())
        drained.notify_all();
}

HttpServer::HttpServer(HttpServerOptions options, Router router, ErrorReply errorReply, JsonLog& log)
    : m_impl(std::make_unique<Impl>(std::move(options), std::move(router), std::move(errorReply), log)) {
    auto& tls = m_impl->tls.emplace(ssl::context::tls_server);
    SSL_CTX* ctx = tls.native_handle();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    if (SSL_CTX_set_cipher_list(ctx, kTls12Ciphers) != 1)
        throw std::runtime_error("no AEAD cipher suite available");
    beast::error_code ec;
    tls.use_certificate_chain_file(m_impl->options.certFile, ec);
    if (!ec)
        tls.use_private_key_file(m_impl->options.keyFile, ssl::context::pem, ec);
    if (ec || SSL_CTX_check_private_key(ctx) != 1)
        throw std::runtime_error("certificate and key do not make a TLS server: " + m_impl->options.certFile + ", " +
                                 m_impl->options.keyFile + (ec ? " (" + ec.message() + ")" : ""));
}

HttpServer::~HttpServer() {
    stop();
}

int HttpServer::start() {
    Impl& s = *m_impl;
    if (s.ioc)
        throw std::runtime_error("server already started");
    const std::string host = s.options.host == "localhost" ? "127.0.0.1" : s.options.host;
    beast::error_code ec;
    const auto address = net::ip::make_address(host, ec);
    if (ec)
        throw std::runtime_error("bad listen address " + s.options.host);
    s.ioc.emplace(static_cast<int>(std::max(1u, s.options.limits.ioThreads)));
    auto& acc = s.acceptor.emplace(net::make_strand(*s.ioc));
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(s.options.port));
    acc.open(endpoint.protocol(), ec);
    if (!ec)
        acc.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec)
        acc.bind(endpoint, ec);
    if (!ec)
        acc.listen(systemBacklog(), ec);
    if (ec) {
        s.acceptor.reset();
        s.ioc.reset();
        throw std::runtime_error("cannot listen on " + s.options.host + ":" + std::to_string(s.options.port) + ": " +
                                 ec.message());
    }
    s.port = acc.local_endpoint().port();
    s.workers.emplace(std::max(1u, s.options.limits.workers));
    s.keepRunning.emplace(s.ioc->get_executor());
    s.accept();
    for (unsigned i = 0; i < std::max(1u, s.options.limits.ioThreads); ++i)
        s.threads.emplace_back([&s] { s.ioc->run(); });
    return s.port;
}

void HttpServer::stop() {
    Impl& s = *m_impl;
    if (!s.ioc || s.stopped)
        return;
    s.stopped = true;
    s.stopping = true;
    // The listener is closed before idle connections are: once a client sees its idle connection
    // end, a new one is refused. Closed on its own executor, waited for here (stop() never runs
    // on one of the server's threads).
    std::promise<void> acceptorClosed;
    net::post(s.acceptor->get_executor(), [&s, &acceptorClosed] {
        beast::error_code ignored;
        s.acceptor->close(ignored);
        acceptorClosed.set_value();
    });
    acceptorClosed.get_future().wait();
    std::vector<std::shared_ptr<Session>> live;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        for (auto& entry : s.sessions)
            if (auto p = entry.second.lock())
                live.push_back(std::move(p));
    }
    for (auto& p : live)
        p->stopIdle();
    live.clear();
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        if (!s.drained.wait_for(lock, s.options.limits.drainTimeout, [&s] { return s.sessions.empty(); }))
            for (auto& entry : s.sessions)
                if (auto p = entry.second.lock())
                    live.push_back(std::move(p));
    }
    if (!live.empty()) {
        s.log.write("warning", "stop", {JsonLog::text("msg", "requests still in flight after the drain time, closed"),
                                        JsonLog::number("connections", static_cast<long long>(live.size()))});
        for (auto& p : live)
            p->abort();
        live.clear();
        std::unique_lock<std::mutex> lock(s.mutex);
        s.drained.wait_for(lock, std::chrono::seconds(2), [&s] { return s.sessions.empty(); });
    }
    // A handler still running (a slow database) finishes and stores; only its reply is lost.
    s.workers->join();
    s.keepRunning.reset();
    s.ioc->stop();
    for (auto& t : s.threads)
        t.join();
    s.threads.clear();
    s.acceptor.reset();
    s.ioc.reset();  // destroys what is still queued, and with it the last sessions
    s.workers.reset();
}

int HttpServer::port() const {
    return m_impl->port;
}

size_t HttpServer::connections() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->sessions.size();
}

} // namespace collector
