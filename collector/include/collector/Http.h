// The collector's routes: how a page or an endpoint plugs into the HTTPS server.
//
//   collector::Router router;
//   router.add("GET", "/dashboard", [](const collector::HttpRequest& req, const std::string& client) {
//       collector::HttpResponse res;            // 200, no headers, empty body
//       res.set("Content-Type", "text/html; charset=utf-8");
//       res.add("Set-Cookie", "sid=...; HttpOnly; Secure; SameSite=Strict");  // add() repeats a name
//       res.body = "<h1>...</h1>";
//       return res;
//   });
//
// - A route is a method ("GET", "POST", ...; empty for every method) and a path prefix. The
//   prefix matches the path (the target without its query) when they are equal or the path
//   continues with '/' after it; "/" matches every path. The longest matching prefix wins, and
//   among routes of the same prefix the one of the request's method before a method-less one.
//   A path whose prefix is registered for other methods only gets 405; no prefix at all, 404
//   (both through the server's error reply).
// - The request arrives parsed and complete: head and body (Content-Length or chunked, at most
//   the server's body limit), already checked against the head, header-line and body limits.
//   `client` is the peer's IP address as text.
// - Handlers run on the server's worker threads, never on the threads that carry the
//   connections, so a handler may block on a database for a while; several run at once.
//   Content-Length is set by the server; "Connection: close" too when the server stops or the
//   client asked for it. An exception from a handler becomes a 500 through the error reply.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace collector {

using HttpRequest = boost::beast::http::request<boost::beast::http::string_body>;

struct HttpResponse {
    unsigned status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // Replaces every header of that name (case-insensitive).
    void set(const std::string& name, const std::string& value);
    // Adds one more header line, e.g. a second Set-Cookie.
    void add(const std::string& name, const std::string& value) { headers.emplace_back(name, value); }
};

using RouteHandler = std::function<HttpResponse(const HttpRequest& request, const std::string& client)>;

// Replies the server makes itself (404, 405, 413, 431, 400, 500, 503): status and a short reason.
using ErrorReply = std::function<HttpResponse(unsigned status, const std::string& reason)>;

class Router {
public:
    void add(std::string method, std::string prefix, RouteHandler handler);

    enum class eMatch { Found, NoPath, NoMethod };
    // The handler for a request line; null with NoPath or NoMethod when there is none.
    const RouteHandler* find(const std::string& method, const std::string& target, eMatch& why) const;

private:
    struct Route {
        std::string method;
        std::string prefix;
        RouteHandler handler;
    };
    std::vector<Route> m_routes;
};

} // namespace collector
