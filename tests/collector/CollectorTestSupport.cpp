#include "CollectorTestSupport.h"

#include "collector/Certs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstring>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace coltest {

std::vector<Answer> survey(const std::array<int, 5>& selected) {
    std::vector<Answer> items;
    for (int q = 1; q <= 5; ++q)
        items.push_back({q, selected[static_cast<size_t>(q - 1)], "Question " + std::to_string(q),
                         "Answer " + std::to_string(selected[static_cast<size_t>(q - 1)])});
    items[2].question = "Based on today's service & more<br>On a scale of 0 to 9";
    return items;
}

std::string envelope(const std::vector<Answer>& items, const std::string& duid) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<survey>\n<deviceinfo>\n<DUID>" + duid +
                      "</DUID>\n<LocalSet>EU</LocalSet>\n<Country>GB</Country>\n<Model_Name>UE55</Model_Name>\n"
                      "<Firmware_Version>T-KTM2-1001.5</Firmware_Version>\n</deviceinfo>\n<result>";
    for (const Answer& a : items)
        doc += "<item index=\"" + std::to_string(a.index) + "\" selected=\"" + std::to_string(a.selected) +
               "\">\n<question><![CDATA[" + a.question + "]]></question>\n<answer><![CDATA[" + a.answer +
               "]]></answer>\n</item>\n";
    return doc + "</result>\n</survey>\n";
}

std::string gzip(const std::string& data) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

void Upload::set(const std::string& name, const std::string& value) {
    erase(name);
    headers.push_back(name + ": " + value);
}

void Upload::erase(const std::string& name) {
    for (auto it = headers.begin(); it != headers.end();)
        it = it->compare(0, name.size() + 1, name + ":") == 0 ? headers.erase(it) : it + 1;
}

Upload tvUpload(const std::string& file, const std::string& session, const std::string& duid) {
    Upload u;
    u.file = file;
    u.headers = {"pincode: 4711", "duid: " + duid, "crc32: " + std::to_string(crc32(0, reinterpret_cast<const Bytef*>(file.data()), static_cast<uInt>(file.size()))),
                 "category: TAVAS", "sessionid: " + session, "source: survey", "Date: 2019-05-01", "Year: 2019"};
    return u;
}

namespace {

// The value of the attribute that follows `lead` in the reply, or `none`.
std::string attributeAfter(const std::string& body, const std::string& lead, const std::string& none) {
    const size_t at = body.find(lead);
    if (at == std::string::npos)
        return none;
    const size_t from = at + lead.size();
    return body.substr(from, body.find('"', from) - from);
}

} // namespace

std::string Reply::stat() const {
    return attributeAfter(body, "<rsp stat=\"", "<no rsp>");
}

std::string Reply::crc() const {
    return attributeAfter(body, "<crc value=\"", "");
}

namespace {

size_t collect(char* data, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}

struct CurlInit {
    CurlInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

} // namespace

Reply post(const std::string& url, const std::string& caFile, const Upload& upload, long timeoutMs) {
    static CurlInit init;
    Reply reply;
    CURL* h = curl_easy_init();
    curl_slist* list = nullptr;
    curl_mime* mime = nullptr;
    for (const std::string& line : upload.headers)
        list = curl_slist_append(list, line.c_str());
    // The television's client suppresses Expect and names the form type without a boundary;
    // libcurl completes it.
    list = curl_slist_append(list, "Expect:");
    list = curl_slist_append(list, upload.multipart ? "Content-Type: multipart/form-data"
                                                    : "Content-Type: application/octet-stream");
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply.body);
    if (upload.multipart) {
        mime = curl_mime_init(h);
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, upload.partName.c_str());
        curl_mime_data(part, upload.file.data(), upload.file.size());
        curl_mime_filename(part, upload.fileName.c_str());
        curl_easy_setopt(h, CURLOPT_MIMEPOST, mime);
    } else {
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, upload.file.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(upload.file.size()));
    }
    reply.code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_mime_free(mime);
    curl_slist_free_all(list);
    curl_easy_cleanup(h);
    return reply;
}

std::string queryText(const std::string& db, const std::string& sql) {
    sqlite3* conn = nullptr;
    if (sqlite3_open_v2(db.c_str(), &conn, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(conn);
        throw std::runtime_error("cannot open " + db);
    }
    sqlite3_stmt* stmt = nullptr;
    std::string out = "<no row>";
    if (sqlite3_prepare_v2(conn, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        const std::string err = sqlite3_errmsg(conn);
        sqlite3_close(conn);
        throw std::runtime_error(err);
    }
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
        out = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(conn);
    return out;
}

long long queryInt(const std::string& db, const std::string& sql) {
    return std::stoll(queryText(db, sql));
}

RunningCollector::RunningCollector(const std::function<void(collector::ServerOptions&)>& tweak) {
    collector::ensureCertificates(dir.file("certs"));
    const collector::CertPaths certs = collector::certPathsIn(dir.file("certs"));
    ca = certs.caCert;
    db = dir.file("surveys.sqlite");
    collector::ServerOptions o;
    o.certFile = certs.serverCert;
    o.keyFile = certs.serverKey;
    o.dbPath = db;
    o.log = [](const std::string&) {};
    if (tweak)
        tweak(o);
    server = std::make_unique<collector::CollectorServer>(o);
    server->start();
    url = server->url();
}

CollectorProcess::CollectorProcess(const tavtest::TempDir& dir, const std::string& name, std::vector<std::string> args)
    : m_out(dir.file(name + ".out")), m_log(dir.file(name + ".log")) {
    const std::string portFile = dir.file(name + ".port");
    args.insert(args.end(), {"--port", "0", "--port-file", portFile});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&m_pid, args[0].c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        throw std::runtime_error("cannot start " + args[0]);
    // The port file appears once connections are taken; a child that ends stops the wait.
    bool ended = false;
    tavtest::waitFor([&] { return tavtest::fileExists(portFile) || (ended = waitpid(m_pid, nullptr, WNOHANG) == m_pid); },
                     30000);
    if (ended) {
        m_pid = 0;
        throw std::runtime_error(name + " ended at start: " + log());
    }
    if (!tavtest::fileExists(portFile))
        throw std::runtime_error(name + " did not start: " + log());
    url = "https://127.0.0.1:" + std::to_string(std::stoi(tavtest::readFile(portFile))) + "/survey";
}

CollectorProcess::~CollectorProcess() {
    stop(SIGKILL);
}

int CollectorProcess::stop(int sig) {
    if (m_pid <= 0)
        return -1;
    int status = -1;
    ::kill(m_pid, sig);
    waitpid(m_pid, &status, 0);
    m_pid = 0;
    return status;
}

} // namespace coltest
