#include "collector/CollectorServer.h"

#include "collector/Upload.h"

#include <libxml/parser.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <sys/stat.h>

namespace collector {

namespace {

// Session ids, PIN codes and device values are short; anything longer is not a television.
constexpr size_t kMaxHeaderValue = 256;

bool fileReadable(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The reply the television reads: "stat" of /rsp and "value" of /rsp/crc.
std::string rspBody(const std::string& stat, const std::string& crc, const std::string& message) {
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rsp stat=\"" + xmlEscape(stat) + "\"";
    if (!message.empty())
        body += " msg=\"" + xmlEscape(message) + "\"";
    body += ">";
    if (!crc.empty())
        body += "<crc value=\"" + crc + "\"/>";
    return body + "</rsp>\n";
}

// Refusals that the server decides before the upload route runs.
const char* statForStatus(unsigned status) {
    switch (status) {
    case 400: return "badrequest";
    case 404: return "notfound";
    case 405: return "badmethod";
    case 413: return "toolarge";
    case 431: return "badheader";
    default: return status < 500 ? "badrequest" : "error";
    }
}

std::string header(const HttpRequest& req, const char* name) {
    return std::string(req[name]);
}

} // namespace

bool isLoopbackHost(const std::string& host) {
    if (host == "localhost" || host == "::1")
        return true;
    in_addr addr{};
    return inet_pton(AF_INET, host.c_str(), &addr) == 1 && (ntohl(addr.s_addr) >> 24) == 127;
}

struct CollectorServer::Reply {
    int status = 500;
    std::string stat = "error";
    std::string crc;  // of the received file, once there is one
    std::string message;
};

CollectorServer::CollectorServer(ServerOptions options) : m_options(std::move(options)) {
    if (!isLoopbackHost(m_options.host))
        throw std::runtime_error("the collector listens on loopback only, not on " + m_options.host);
    if (m_options.port < 0 || m_options.port > 65535)
        throw std::runtime_error("bad port " + std::to_string(m_options.port));
    if (m_options.path.empty() || m_options.path[0] != '/')
        throw std::runtime_error("the upload path must start with '/'");
    if (m_options.dbPath.empty())
        throw std::runtime_error("no database path");
    m_log = std::make_unique<JsonLog>(m_options.log);
    // Parsers run on several request threads at once.
    xmlInitParser();
    m_store = openStore(m_options.dbPath);
    m_store->setGroupCommit(m_options.groupCommit);
    const std::string path = m_options.path;
    m_router.add("", path, [this, path](const HttpRequest& req, const std::string& client) {
        // The route takes the path's subpaths too; only the path itself is the upload.
        if (std::string(req.target()).substr(0, req.target().find('?')) != path)
            return errorReply(404, "no such path");
        if (req.method() != boost::beast::http::verb::post)
            return errorReply(405, "uploads are posted");
        return handleUpload(req, client);
    });
}

CollectorServer::~CollectorServer() {
    stop();
}

std::string CollectorServer::url() const {
    const std::string host = m_options.host == "::1" ? "[::1]" : m_options.host;
    return "https://" + host + ":" + std::to_string(m_port) + m_options.path;
}

int CollectorServer::start() {
    if (m_server)
        throw std::runtime_error("collector already started");
    if (!fileReadable(m_options.certFile) || !fileReadable(m_options.keyFile))
        throw std::runtime_error("certificate or key file missing: " + m_options.certFile + ", " +
                                 m_options.keyFile);
    HttpServerOptions http;
    http.host = m_options.host;
    http.port = m_options.port;
    http.certFile = m_options.certFile;
    http.keyFile = m_options.keyFile;
    http.limits = m_options.limits;
    m_server = std::make_unique<HttpServer>(
        http, m_router, [this](unsigned status, const std::string& reason) { return errorReply(status, reason); },
        *m_log);
    m_port = m_server->start();
    m_log->write("info", "listening", {JsonLog::text("url", url())});
    return m_port;
}

void CollectorServer::stop() {
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopCv.notify_all();
    if (m_server)
        m_server->stop();
    m_log->flush();
}

bool CollectorServer::waitDelay() {
    if (m_options.delayMs <= 0)
        return true;
    std::unique_lock<std::mutex> lock(m_stopMutex);
    ++m_held;
    const bool stopped = m_stopCv.wait_for(lock, std::chrono::milliseconds(m_options.delayMs), [this] { return m_stopping; });
    --m_held;
    return !stopped;
}

HttpResponse CollectorServer::errorReply(unsigned status, const std::string& reason) const {
    HttpResponse res;
    res.status = status;
    res.set("Content-Type", "application/xml");
    res.body = rspBody(statForStatus(status), "", reason);
    return res;
}

HttpResponse CollectorServer::handleUpload(const HttpRequest& req, const std::string& client) {
    Reply reply{503, "error", "", "collector is stopping"};
    if (waitDelay())
        reply = process(req, client);
    HttpResponse res;
    res.status = static_cast<unsigned>(reply.status);
    res.set("Content-Type", "application/xml");
    res.body = rspBody(reply.stat, reply.crc, reply.stat == "ok" ? "" : reply.message);
    if (reply.stat == "ok")
        ++m_accepted;
    else
        ++m_rejected;
    m_log->write(reply.stat == "ok" ? "info" : "warning", "upload",
                 {JsonLog::text("client", client), JsonLog::number("status", reply.status), JsonLog::text("stat", reply.stat),
                  JsonLog::text("session", header(req, "sessionid")), JsonLog::text("pincode", header(req, "pincode")),
                  JsonLog::text("duid", header(req, "duid")), JsonLog::text("msg", reply.message)});
    return res;
}

CollectorServer::Reply CollectorServer::process(const HttpRequest& req, const std::string& client) {
    Reply reply;
    try {
        // The television never compresses the request itself (its file is gzip already), and
        // inflating what a client sends would hand it a compression bomb.
        const std::string encoding = header(req, "Content-Encoding");
        if (!encoding.empty() && encoding != "identity")
            throw UploadError("badrequest", 400, "compressed request bodies are not taken");
        const FormFile file = formFile(header(req, "Content-Type"), req.body(), "file");
        const uint32_t actual = crc32Of(file.content);
        if (file.found)
            reply.crc = std::to_string(actual);

        if (m_options.forcedReply == eForcedReply::Fail)
            throw UploadError("fail", 200, "forced reply");
        if (m_options.forcedReply == eForcedReply::Http500)
            throw UploadError("error", 500, "forced reply");
        if (!file.found)
            throw UploadError("nofile", 400, "no form part named \"file\"");

        for (const char* name : kRequiredHeaders)
            if (header(req, name).empty())
                throw UploadError("noheader", 400, std::string("missing header \"") + name + "\"");
        auto tooLong = [&req](const char* name) {
            if (header(req, name).size() > kMaxHeaderValue)
                throw UploadError("badheader", 400, std::string("header \"") + name + "\" too long");
        };
        std::for_each(kRequiredHeaders.begin(), kRequiredHeaders.end(), tooLong);
        std::for_each(kOptionalHeaders.begin(), kOptionalHeaders.end(), tooLong);
        if (header(req, "category") != kCategory)
            throw UploadError("badheader", 400, "category is not " + std::string(kCategory));
        if (header(req, "source") != kSource)
            throw UploadError("badheader", 400, "source is not " + std::string(kSource));
        const uint32_t claimed = parseCrcHeader(header(req, "crc32"));
        if (claimed != actual)
            throw UploadError("badcrc", 400, "crc32 header " + std::to_string(claimed) +
                                                 " does not match the file's " + reply.crc);

        UploadRecord record;
        record.envelopeXml = gunzip(file.content, m_options.maxInflated);
        record.envelope = parseEnvelope(record.envelopeXml);
        record.duid = header(req, "duid");
        if (record.envelope.device.duid != record.duid)
            throw UploadError("baddata", 400, "duid header differs from the envelope's DUID");
        record.receivedAt = utcNow();
        record.remoteAddr = client;
        record.sessionId = header(req, "sessionid");
        record.pinCode = header(req, "pincode");
        record.category = header(req, "category");
        record.source = header(req, "source");
        record.purchaseDate = header(req, "Date");
        record.productYear = header(req, "Year");
        record.fileName = file.fileName;
        record.fileSize = file.content.size();
        record.crc32 = actual;

        const Store::InsertResult stored = m_store->insert(record);
        reply.status = 200;
        reply.stat = "ok";
        reply.message = (stored.duplicate ? "repeated upload of survey " : "survey ") + std::to_string(stored.id);
    } catch (const UploadError& e) {
        reply.status = e.status();
        reply.stat = e.stat();
        reply.message = e.what();
    } catch (const std::exception& e) {
        reply.status = 500;
        reply.stat = "error";
        reply.message = e.what();
    }
    return reply;
}

} // namespace collector
