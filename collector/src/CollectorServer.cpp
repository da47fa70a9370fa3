#include "collector/CollectorServer.h"

#include "collector/Upload.h"

#include <httplib.h>
#include <libxml/parser.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
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

// Refusals that httplib itself decides before a handler runs.
const char* statForStatus(int status) {
    switch (status) {
    case 400: return "badrequest";
    case 404: return "notfound";
    case 405: return "badmethod";
    case 413: return "toolarge";
    default: return status < 500 ? "badrequest" : "error";
    }
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
    // Parsers run on several request threads at once.
    xmlInitParser();
    m_store = openStore(m_options.dbPath);
}

CollectorServer::~CollectorServer() {
    stop();
}

std::string CollectorServer::url() const {
    const std::string host = m_options.host == "::1" ? "[::1]" : m_options.host;
    return "https://" + host + ":" + std::to_string(m_port) + m_options.path;
}

void CollectorServer::log(const std::string& line) const {
    if (m_options.log)
        m_options.log(line);
    else
        std::cerr << "tavcollector: " << line << std::endl;
}

int CollectorServer::start() {
    if (m_server)
        throw std::runtime_error("collector already started");
    if (!fileReadable(m_options.certFile) || !fileReadable(m_options.keyFile))
        throw std::runtime_error("certificate or key file missing: " + m_options.certFile + ", " +
                                 m_options.keyFile);
    auto server = std::make_unique<httplib::SSLServer>(m_options.certFile.c_str(), m_options.keyFile.c_str());
    if (!server->is_valid())
        throw std::runtime_error("certificate and key do not make a TLS server: " + m_options.certFile);

    installHandlers(*server);

    int port = m_options.port;
    if (port == 0)
        port = server->bind_to_any_port(m_options.host);
    else if (!server->bind_to_port(m_options.host, port))
        port = -1;
    if (port <= 0)
        throw std::runtime_error("cannot listen on " + m_options.host + ":" + std::to_string(m_options.port));
    m_port = port;
    m_server = std::move(server);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() before the accept loop runs would be lost; wait until it does.
    for (int i = 0; i < 5000 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!m_server->is_running()) {
        stop();
        throw std::runtime_error("collector did not start");
    }
    log("listening on " + url());
    return m_port;
}

void CollectorServer::installHandlers(httplib::Server& server) {
    server.set_payload_max_length(m_options.maxBody);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
    // A reply goes out in more than one write; with Nagle's algorithm the later writes wait for
    // the client's delayed acknowledgement, about 40 ms on every upload.
    server.set_tcp_nodelay(true);
    server.Post(m_options.path, [this](const httplib::Request& req, httplib::Response& res) {
        handleUpload(req, res);
    });
    server.Get(m_options.path, [this](const httplib::Request&, httplib::Response& res) {
        answer(res, Reply{405, "badmethod", "", "uploads are posted"});
    });
    httplib::Server::HandlerWithResponse onError = [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(rspBody(statForStatus(res.status), "", "refused with HTTP " + std::to_string(res.status)),
                        "application/xml");
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(onError);
}

void CollectorServer::stop() {
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopCv.notify_all();
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

bool CollectorServer::waitDelay() {
    if (m_options.delayMs <= 0)
        return true;
    std::unique_lock<std::mutex> lock(m_stopMutex);
    return !m_stopCv.wait_for(lock, std::chrono::milliseconds(m_options.delayMs), [this] { return m_stopping; });
}

void CollectorServer::answer(httplib::Response& res, const Reply& reply) {
    res.status = reply.status;
    res.set_content(rspBody(reply.stat, reply.crc, reply.stat == "ok" ? "" : reply.message), "application/xml");
}

void CollectorServer::handleUpload(const httplib::Request& req, httplib::Response& res) {
    if (!waitDelay()) {
        answer(res, Reply{503, "error", "", "collector is stopping"});
        return;
    }
    const Reply reply = process(req);
    answer(res, reply);
    if (reply.stat == "ok")
        ++m_accepted;
    else
        ++m_rejected;
    log((reply.stat == "ok" ? "accepted: " : "refused (" + reply.stat + ", HTTP " + std::to_string(reply.status) + "): ") +
        reply.message);
}

CollectorServer::Reply CollectorServer::process(const httplib::Request& req) {
    Reply reply;
    try {
        const bool multipart = req.is_multipart_form_data();
        const bool hasFile = multipart && req.has_file("file");
        const httplib::MultipartFormData file = hasFile ? req.get_file_value("file") : httplib::MultipartFormData{};
        const uint32_t actual = crc32Of(file.content);
        if (hasFile)
            reply.crc = std::to_string(actual);

        if (m_options.forcedReply == eForcedReply::Fail)
            throw UploadError("fail", 200, "forced reply");
        if (m_options.forcedReply == eForcedReply::Http500)
            throw UploadError("error", 500, "forced reply");
        if (!multipart)
            throw UploadError("badrequest", 400, "expected multipart/form-data");
        if (!hasFile)
            throw UploadError("nofile", 400, "no form part named \"file\"");

        for (const char* name : kRequiredHeaders)
            if (req.get_header_value(name).empty())
                throw UploadError("noheader", 400, std::string("missing header \"") + name + "\"");
        auto tooLong = [&req](const char* name) {
            if (req.get_header_value(name).size() > kMaxHeaderValue)
                throw UploadError("badheader", 400, std::string("header \"") + name + "\" too long");
        };
        std::for_each(kRequiredHeaders.begin(), kRequiredHeaders.end(), tooLong);
        std::for_each(kOptionalHeaders.begin(), kOptionalHeaders.end(), tooLong);
        if (req.get_header_value("category") != kCategory)
            throw UploadError("badheader", 400, "category is not " + std::string(kCategory));
        if (req.get_header_value("source") != kSource)
            throw UploadError("badheader", 400, "source is not " + std::string(kSource));
        const uint32_t claimed = parseCrcHeader(req.get_header_value("crc32"));
        if (claimed != actual)
            throw UploadError("badcrc", 400, "crc32 header " + std::to_string(claimed) +
                                                 " does not match the file's " + reply.crc);

        UploadRecord record;
        record.envelopeXml = gunzip(file.content, m_options.maxInflated);
        record.envelope = parseEnvelope(record.envelopeXml);
        record.duid = req.get_header_value("duid");
        if (record.envelope.device.duid != record.duid)
            throw UploadError("baddata", 400, "duid header differs from the envelope's DUID");
        record.receivedAt = utcNow();
        record.remoteAddr = req.remote_addr;
        record.sessionId = req.get_header_value("sessionid");
        record.pinCode = req.get_header_value("pincode");
        record.category = req.get_header_value("category");
        record.source = req.get_header_value("source");
        record.purchaseDate = req.get_header_value("Date");
        record.productYear = req.get_header_value("Year");
        record.fileName = file.filename;
        record.fileSize = file.content.size();
        record.crc32 = actual;

        const Store::InsertResult stored = m_store->insert(record);
        reply.status = 200;
        reply.stat = "ok";
        reply.message = (stored.duplicate ? "repeated upload of survey " : "survey ") + std::to_string(stored.id) +
                        " session " + record.sessionId + " duid " + record.duid;
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
