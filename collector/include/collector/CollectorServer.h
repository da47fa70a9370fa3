// The HTTPS endpoint the televisions post their survey uploads to.
//
// POST <path> (default "/survey"), multipart/form-data with the gzip envelope in the part
// "file" and the headers "pincode", "duid", "crc32", "category", "sessionid", "source", "Date",
// "Year". The reply is always <rsp stat="..."> (with <crc value="..."/> once the file arrived):
// "ok" with 200 when the upload is stored (or was stored before), any other word with a 4xx
// status when it is refused, and nothing is stored then. Other pages (the dashboard) add their
// routes to router() before start().
#pragma once

#include "collector/Http.h"
#include "collector/HttpServer.h"
#include "collector/Log.h"
#include "collector/Store.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

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
    HttpLimits limits;             // maxBody: the whole request body
    size_t maxInflated = 1 << 20;  // the envelope after gunzip
    GroupCommitLimits groupCommit;  // uploads arriving together share one commit
    int delayMs = 0;               // hold every upload this long before answering
    eForcedReply forcedReply = eForcedReply::None;
    // Receives each JSON log line; null writes to stderr.
    std::function<void(const std::string&)> log;
};

class CollectorServer {
public:
    // Opens the database; throws std::runtime_error when an option is unusable.
    explicit CollectorServer(ServerOptions options);
    ~CollectorServer();
    CollectorServer(const CollectorServer&) = delete;
    CollectorServer& operator=(const CollectorServer&) = delete;

    // Where more routes go; the upload route is in it already. Read when start() runs.
    Router& router() { return m_router; }

    // Binds, starts serving and returns the port once connections are taken. Throws
    // std::runtime_error when the certificate or the address cannot be used.
    int start();
    // Ends a running delay at once, stops accepting, lets requests in flight finish (stored
    // uploads are answered) and joins the server's threads.
    void stop();

    // The upload route on its own: what the server calls for every request on the upload
    // path, reachable without a socket (the fuzz harness uses it).
    HttpResponse handleUpload(const HttpRequest& request, const std::string& client);
    // The <rsp> reply of a refusal the server makes itself (404, 405, 413, 431, ...).
    HttpResponse errorReply(unsigned status, const std::string& reason) const;

    int port() const { return m_port; }
    std::string url() const;
    size_t accepted() const { return m_accepted; }
    size_t rejected() const { return m_rejected; }
    // Uploads being held by delayMs right now.
    size_t held() const { return m_held; }
    JsonLog& log() { return *m_log; }

private:
    struct Reply;
    Reply process(const HttpRequest& req, const std::string& client);
    bool waitDelay();

    ServerOptions m_options;
    std::unique_ptr<JsonLog> m_log;
    std::unique_ptr<Store> m_store;
    Router m_router;
    std::unique_ptr<HttpServer> m_server;
    int m_port = 0;
    std::atomic<size_t> m_accepted{0};
    std::atomic<size_t> m_rejected{0};
    std::atomic<size_t> m_held{0};
    std::mutex m_stopMutex;
    std::condition_variable m_stopCv;
    bool m_stopping = false;
};

// True for 127.0.0.0/8, ::1 and "localhost".
bool isLoopbackHost(const std::string& host);

} // namespace collector
