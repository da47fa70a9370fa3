// Builds uploads the way a television does (envelope, gzip, CRC-32 header, multipart part "file")
// and posts them over verified TLS to a collector running in this process.
#pragma once

#include "TestSupport.h"
#include "collector/CollectorServer.h"

#include <curl/curl.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace coltest {

struct Answer {
    int index;
    int selected;
    std::string question;
    std::string answer;
};

// All five questions with the given selected values; question 3 carries the composed
// "...<br>..." text and an '&', as a translated survey may.
std::vector<Answer> survey(const std::array<int, 5>& selected);
// The upload document byte for byte as the television builds it.
std::string envelope(const std::vector<Answer>& items, const std::string& duid = "T-DUID-0001");
std::string gzip(const std::string& data);

struct Upload {
    std::string file;  // the bytes of the form part
    std::string partName = "file";
    std::string fileName = "Survey_20261204_145431_UE55.zip";
    std::vector<std::string> headers;  // "name: value" lines
    bool multipart = true;

    void set(const std::string& name, const std::string& value);
    void erase(const std::string& name);
};
// The file with the eight headers of the television, the "crc32" one matching the file.
Upload tvUpload(const std::string& file, const std::string& session = "SESSION-1",
                const std::string& duid = "T-DUID-0001");

struct Reply {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::string stat() const;  // "stat" of <rsp>
    std::string crc() const;   // "value" of <rsp><crc>
};
Reply post(const std::string& url, const std::string& caFile, const Upload& upload, long timeoutMs = 10000);

// A single number from the database file, read with SQLite directly.
long long queryInt(const std::string& db, const std::string& sql);
std::string queryText(const std::string& db, const std::string& sql);

// A collector on a free loopback port with fresh certificates and database.
struct RunningCollector {
    explicit RunningCollector(const std::function<void(collector::ServerOptions&)>& tweak = {});
    tavtest::TempDir dir;
    std::string ca;
    std::string db;
    std::string url;
    std::unique_ptr<collector::CollectorServer> server;
    Reply post(const Upload& upload) const { return coltest::post(url, ca, upload); }
    long long uploads() const { return queryInt(db, "SELECT COUNT(*) FROM uploads"); }
    long long answers() const { return queryInt(db, "SELECT COUNT(*) FROM answers"); }
};

// `tavcollector serve` with `args` (from the program's path on, without --port/--port-file) in a
// child process on a free port, stdout and stderr in NAME.out and NAME.log in `dir`. Ready once
// the constructor returns; killed with SIGKILL if still running at the end.
class CollectorProcess {
public:
    CollectorProcess(const tavtest::TempDir& dir, const std::string& name, std::vector<std::string> args);
    ~CollectorProcess();
    CollectorProcess(const CollectorProcess&) = delete;
    CollectorProcess& operator=(const CollectorProcess&) = delete;

    // Sends `sig` and gives the wait status (-1 when it had ended already).
    int stop(int sig);
    std::string out() const { return tavtest::readFile(m_out); }
    std::string log() const { return tavtest::readFile(m_log); }

    std::string url;

private:
    pid_t m_pid = 0;
    std::string m_out;
    std::string m_log;
};

} // namespace coltest
