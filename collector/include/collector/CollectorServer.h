// The HTTPS endpoint the televisions post their survey uploads to.
//
// POST <path> (default "/survey"), multipart/form-data with the gzip envelope in the part
// "file" and the headers "pincode", "duid", "crc32", "category", "sessionid", "source", "Date",
// "Year". The reply is always <rsp stat="..."> (with <crc value="..."/> once the file arrived):
// "ok" with 200 when the upload is stored (or was stored before), any other word with a 4xx
// status when it is refused, and nothing is stored then.
#pragma once

#include "collector/Store.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace collector {

// Replies a test can force instead of the normal handling; none of them stores anything.
enum class eForcedReply {
    None,
    Fail,     // 200 with stat "fail"
    Http500,  // 500 with stat "error"
};

struct ServerOptions {
    std::string host = "127.0.0.1";  // loopback only: 127.0.0.0/8, ::1 or localhost
    int port = 0;                    // 0 picks a free port
    std::string path = "/survey";
    std::string certFile;
    std::string keyFile;
    std::string dbPath;
    size_t maxBody = 1 << 20;      // whole request body
    size_t maxInflated = 1 << 20;  // the envelope after gunzip
    int delayMs = 0;               // hold every upload this long before answering
    eForcedReply forcedReply = eForcedReply::None;
    // One line per request; null writes to stderr.
    std::function<void(const std::string&)> log;
};

class CollectorServer {
public:
    // Opens the database; throws std::runtime_error when an option is unusable.
    explicit CollectorServer(ServerOptions options);
    ~CollectorServer();
    CollectorServer(const CollectorServer&) = delete;
    CollectorServer& operator=(const CollectorServer&) = delete;

    // Binds, starts serving on a thread of its own and returns the port once connections are
    // taken. Throws std::runtime_error when the certificate or the address cannot be used.
    int start();
    // Ends a running delay at once, stops accepting and waits for the server thread.
    void stop();

    // Puts the collector's body limit, time-outs, routes and error replies on `server`. start()
    // does it on its TLS server; an in-process caller can do it on a plain one and feed it
    // requests without a socket (the fuzz harness does).
    void installHandlers(httplib::Server& server);

    int port() const { return m_port; }
    std::string url() const;
    size_t accepted() const { return m_accepted; }
    size_t rejected() const { return m_rejected; }

private:
    struct Reply;
    void handleUpload(const httplib::Request& req, httplib::Response& res);
    Reply process(const httplib::Request& req);
    void answer(httplib::Response& res, const Reply& reply);
    bool waitDelay();
    void log(const std::string& line) const;

    ServerOptions m_options;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<size_t> m_accepted{0};
    std::atomic<size_t> m_rejected{0};
    std::mutex m_stopMutex;
    std::condition_variable m_stopCv;
    bool m_stopping = false;
};

// True for 127.0.0.0/8, ::1 and "localhost".
bool isLoopbackHost(const std::string& host);

} // namespace collector
