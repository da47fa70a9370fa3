// The collector against clients that try to hold it or fill it: slow connections, oversized
// heads and bodies, compression bombs, hostile bytes for the log, a stop during an upload, and
// a certificate folder someone else could write to.
#include "CollectorTestSupport.h"
#include "TlsClient.h"

#include "collector/Certs.h"
#include "collector/Log.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

using namespace coltest;
using namespace std::chrono_literals;
using tavclient::TlsClient;
using tavclient::TlsContext;
using Clock = std::chrono::steady_clock;

namespace {

// The upload as the bytes on the wire, framed as libcurl frames it.
std::string rawUpload(const Upload& u, const std::string& extraHeaders = "") {
    const std::string boundary = "------------------------tavtest5f1c2a";
    const std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + u.partName +
                             "\"; filename=\"" + u.fileName + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                             u.file + "\r\n--" + boundary + "--\r\n";
    std::string head = "POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" +
                       boundary + "\r\n";
    for (const std::string& h : u.headers)
        head += h + "\r\n";
    return head + extraHeaders + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, std::strlen(field), field) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

std::string stat(const std::string& response) {
    Reply r;
    r.body = tavclient::bodyOf(response);
    return r.stat();
}

} // namespace

TEST(CollectorLimits, TricklingClientsNeitherHoldUploadsNorOutstayTheirDeadline) {
    RunningCollector c([](collector::ServerOptions& o) {
        o.limits.handshakeTimeout = 1500ms;
        o.limits.headTimeout = 1500ms;
        o.limits.maxPerClient = 16;
    });
    TlsContext tls;
    // Twice the old server's worker count from each of two addresses: some that never start
    // TLS, some that send a request head one byte at a time, far below any deadline per read.
    std::vector<std::unique_ptr<TlsClient>> silent, trickling;
    const auto start = Clock::now();
    for (int i = 0; i < 16; ++i) {
        silent.push_back(std::make_unique<TlsClient>(tls));
        ASSERT_TRUE(silent.back()->connect("127.0.0.1", c.server->port(), "127.0.0.2"));
        trickling.push_back(std::make_unique<TlsClient>(tls));
        ASSERT_TRUE(trickling.back()->connect("127.0.0.1", c.server->port(), "127.0.0.3"));
        ASSERT_TRUE(trickling.back()->handshake());
    }
    // One more from a full address is closed at once.
    TlsClient extra(tls);
    ASSERT_TRUE(extra.connect("127.0.0.1", c.server->port(), "127.0.0.3"));
    EXPECT_TRUE(extra.waitClosed(1000));

    std::vector<Reply> replies(6);
    std::thread uploads([&] {
        for (size_t i = 0; i < replies.size(); ++i)
            replies[i] = c.post(tvUpload(gzip(envelope(survey({1, 2, 3, 4, 5}))), "S" + std::to_string(i)));
    });
    const std::string head = "POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    std::vector<bool> open(trickling.size(), true);
    size_t stillOpen = trickling.size();
    for (size_t sent = 0; stillOpen > 0 && Clock::now() - start < 6s; ++sent) {
        for (size_t i = 0; i < trickling.size(); ++i)
            if (open[i] && !trickling[i]->send(std::string(1, sent < head.size() ? head[sent] : 'x'))) {
                open[i] = false;
                --stillOpen;
            }
        std::this_thread::sleep_for(100ms);
    }
    uploads.join();
    EXPECT_EQ(stillOpen, 0u) << "trickling heads outlived their deadline";
    for (auto& s : silent)
        EXPECT_TRUE(s->waitClosed(1000)) << "a connection without TLS outlived the handshake deadline";
    EXPECT_LT(Clock::now() - start, 7s);
    for (const Reply& r : replies)
        EXPECT_EQ(r.stat(), "ok") << r.code << " " << r.body;
    EXPECT_EQ(c.uploads(), 6);
}

TEST(CollectorLimits, OversizedHeadsAndBodiesAreRefusedEarlyWithBoundedMemory) {
    RunningCollector c;
    TlsContext tls;
    auto client = [&](TlsClient& cl) { return cl.connect("127.0.0.1", c.server->port()) && cl.handshake(); };
    auto exchange = [&](const std::string& bytes) {
        TlsClient cl(tls);
        return client(cl) && cl.send(bytes) ? cl.readResponse(10000) : std::string();
    };

    std::string head = "GET /survey HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (int i = 0; i < 63; ++i)
        head += "X-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(tavclient::statusOf(exchange(head + "\r\n")), 405) << "64 header lines are allowed";
    const std::string r431 = exchange(head + "X-64: 1\r\n\r\n");
    EXPECT_EQ(tavclient::statusOf(r431), 431);
    EXPECT_EQ(stat(r431), "badheader");

    // The body is refused on its length alone: none of it is sent.
    const std::string r413 = exchange("POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 500000000\r\n\r\n");
    EXPECT_EQ(tavclient::statusOf(r413), 413);
    EXPECT_EQ(stat(r413), "toolarge");
    std::string chunked = "POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 24; ++i)
        chunked += "10000\r\n" + std::string(0x10000, 'c') + "\r\n";
    EXPECT_EQ(tavclient::statusOf(exchange(chunked + "0\r\n\r\n")), 413);

    // "Expect: 100-continue" gets its interim answer before the body is sent.
    {
        const std::string up = rawUpload(tvUpload(gzip(envelope(survey({1, 1, 1, 1, 1}))), "EXPECT"),
                                         "Expect: 100-continue\r\n");
        const size_t bodyAt = up.find("\r\n\r\n") + 4;
        TlsClient cl(tls);
        ASSERT_TRUE(client(cl) && cl.send(up.substr(0, bodyAt)));
        EXPECT_EQ(tavclient::statusOf(cl.readResponse(5000)), 100);
        ASSERT_TRUE(cl.send(up.substr(bodyAt)));
        EXPECT_EQ(stat(cl.readResponse(5000)), "ok");
    }

    // Ten header floods and two compression bombs at once: the peak of memory hardly moves.
    std::string lines;
    while (lines.size() < 16 * 1024)
        lines += "X-Flood-" + std::to_string(lines.size()) + ": aaaaaaaaaaaaaaaa\r\n";
    std::string fileBomb, transportBomb;
    {
        const std::string zeros(20 << 20, '\0');
        fileBomb = gzip(zeros);  // 1:1000, the envelope limit is 1 MiB
        const std::string up = rawUpload(tvUpload(gzip(envelope(survey({1, 1, 1, 1, 1}))), "BOMB2"),
                                         "Content-Encoding: gzip\r\n");
        const std::string packed = gzip(up.substr(up.find("\r\n\r\n") + 4) + zeros);
        transportBomb = up.substr(0, up.find("Content-Length:")) + "Content-Length: " + std::to_string(packed.size()) +
                        "\r\n\r\n" + packed;
    }
    std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak count
    const long rssBefore = statusKb("VmRSS:");
    std::vector<std::string> floodReplies(10);
    std::vector<std::thread> floods;
    for (auto& reply : floodReplies)
        floods.emplace_back([&] {
            TlsClient cl(tls);
            if (!client(cl) || !cl.send("POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\n"))
                return;
            for (int i = 0; i < 512 && cl.send(lines); ++i) {  // 8 MiB of header lines
            }
            reply = cl.readResponse(10000);
        });
    const Reply inFile = c.post(tvUpload(fileBomb, "BOMB"));
    const std::string inTransport = exchange(transportBomb);
    for (auto& t : floods)
        t.join();
    const long peakGrowthKb = statusKb("VmHWM:") - rssBefore;
    for (const std::string& r : floodReplies)
        EXPECT_EQ(tavclient::statusOf(r), 431);
    EXPECT_EQ(inFile.status, 413);
    EXPECT_EQ(inFile.stat(), "toolarge");
    EXPECT_EQ(tavclient::statusOf(inTransport), 400);
    EXPECT_NE(inTransport.find("compressed request bodies"), std::string::npos) << inTransport;
    EXPECT_LT(peakGrowthKb, 48 * 1024) << "peak grew by " << peakGrowthKb << " kB";
    EXPECT_EQ(c.uploads(), 1);
}

TEST(CollectorLimits, StopLetsTheUploadInFlightFinishAndClosesIdleConnections) {
    tavtest::TempDir dir;
    collector::ensureCertificates(dir.file("certs"));
    const std::string db = dir.file("db.sqlite");
    CollectorProcess p(dir, "c", {TAVCOLLECTOR_BIN, "serve", "--cert-dir", dir.file("certs"), "--db", db});
    const int port = std::stoi(p.url.substr(p.url.rfind(':') + 1));
    TlsContext tls(collector::certPathsIn(dir.file("certs")).caCert);
    TlsClient idle(tls), inFlight(tls);
    ASSERT_TRUE(idle.connect("127.0.0.1", port) && idle.handshake());
    ASSERT_TRUE(inFlight.connect("127.0.0.1", port) && inFlight.handshake());
    // The interim answer tells that the server has the head: from then on the request is in flight.
    const std::string up = rawUpload(tvUpload(gzip(envelope(survey({2, 2, 2, 2, 2}))), "IN-FLIGHT"),
                                     "Expect: 100-continue\r\n");
    const size_t bodyAt = up.find("\r\n\r\n") + 4;
    ASSERT_TRUE(inFlight.send(up.substr(0, bodyAt)));
    ASSERT_EQ(tavclient::statusOf(inFlight.readResponse(5000)), 100);

    auto exited = std::async(std::launch::async, [&p] { return p.stop(SIGTERM); });
    EXPECT_TRUE(idle.waitClosed(3000));
    TlsClient late(tls);
    EXPECT_FALSE(late.connect("127.0.0.1", port)) << "still accepting after SIGTERM";
    ASSERT_TRUE(inFlight.send(up.substr(bodyAt)));
    const std::string reply = inFlight.readResponse(5000);
    EXPECT_EQ(tavclient::statusOf(reply), 200) << reply << p.log();
    EXPECT_EQ(stat(reply), "ok");
    EXPECT_NE(reply.find("Connection: close"), std::string::npos);
    inFlight.close();
    const int status = exited.get();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << p.log();
    EXPECT_EQ(queryInt(db, "SELECT COUNT(*) FROM uploads WHERE session_id = 'IN-FLIGHT'"), 1);
}

TEST(CollectorLog, ValuesFromRequestsAreEscapedAndLinesComeWholeFromOneWriter) {
    EXPECT_EQ(collector::JsonLog::escape("\x1b[2J\"\\\n\x7f"), "\\u001b[2J\\\"\\\\\\n\\u007f");
    EXPECT_EQ(collector::JsonLog::escape("\xc2\x9b" "1m\xe2\x80\xae\xff\xc3\xa9"), "\\u009b1m\\u202e\\ufffd\xc3\xa9");

    std::mutex mutex;
    std::vector<std::string> lines;
    RunningCollector c([&](collector::ServerOptions& o) {
        o.log = [&](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
    });
    // A raw C1 CSI byte and a UTF-8 one, a direction override, quote and backslash: header
    // bytes HTTP lets through, logged though the upload is refused for them.
    Upload u = tvUpload(gzip(envelope(survey({1, 1, 1, 1, 1}))), "S\xc2\x9b[2J\xe2\x80\xae\"\\");
    u.set("pincode", "\x9b" "31m");
    const Reply posted = c.post(u);
    EXPECT_EQ(posted.stat(), "badheader") << posted.body;
    c.server->stop();
    bool seen = false;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        for (unsigned char ch : line)
            EXPECT_TRUE(ch >= 0x20 && ch != 0x7f) << line;
        EXPECT_EQ(line.find("\xc2\x9b"), std::string::npos) << line;
        if (line.find("\"event\":\"upload\"") != std::string::npos) {
            seen = true;
            EXPECT_NE(line.find("\"session\":\"S\\u009b[2J\\u202e\\\"\\\\\""), std::string::npos) << line;
            EXPECT_NE(line.find("\"pincode\":\"\\ufffd31m\""), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(seen);

    // Many writers, one at a time at the sink, every line there.
    std::atomic<int> inSink{0};
    std::atomic<bool> overlapped{false};
    size_t received = 0;
    {
        collector::JsonLog log([&](const std::string&) {
            if (inSink.fetch_add(1) != 0)
                overlapped = true;
            ++received;
            inSink.fetch_sub(1);
        });
        std::vector<std::thread> writers;
        for (int t = 0; t < 8; ++t)
            writers.emplace_back([&log] {
                for (int i = 0; i < 500; ++i)
                    log.write("info", "test", {collector::JsonLog::number("i", i)});
            });
        for (auto& w : writers)
            w.join();
        log.flush();
        EXPECT_EQ(received, 4000u);
    }
    EXPECT_FALSE(overlapped);
}

TEST(CollectorCerts, AFolderOthersCanWriteOrOwnIsRefusedBeforeAnythingInItIsTrusted) {
    tavtest::TempDir dir;
    const std::string certs = dir.file("certs");
    collector::ensureCertificates(certs);
    struct stat st {};
    ASSERT_EQ(::stat(certs.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "a new folder is private";

    auto refusal = [&] {
        try {
            collector::ensureCertificates(certs);
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    ASSERT_EQ(::chmod(certs.c_str(), 0770), 0);
    EXPECT_NE(refusal().find("can be written by other users (mode 0770)"), std::string::npos) << refusal();
    std::string out;
    EXPECT_EQ(tavtest::run(std::string(TAVCOLLECTOR_BIN) + " serve --cert-dir " + certs + " --db " +
                               dir.file("x.sqlite") + " 2>&1",
                           &out),
              1);
    EXPECT_NE(out.find("chmod go-w " + certs), std::string::npos) << out;
    EXPECT_FALSE(tavtest::fileExists(dir.file("x.sqlite"))) << "nothing happens before the check";

    ASSERT_EQ(::chmod(certs.c_str(), 0700), 0);
    const std::string ca = collector::certPathsIn(certs).caCert;
    ASSERT_EQ(::chmod(ca.c_str(), 0666), 0);
    EXPECT_NE(refusal().find(ca), std::string::npos);
    ASSERT_EQ(::chmod(ca.c_str(), 0644), 0);
    EXPECT_EQ(refusal(), "");

    if (::geteuid() == 0) {  // only root can hand a folder to someone else
        ASSERT_EQ(::chown(certs.c_str(), 65534, 65534), 0);
        EXPECT_NE(refusal().find("belongs to uid 65534"), std::string::npos) << refusal();
        ASSERT_EQ(::chown(certs.c_str(), 0, 0), 0);
    }
}

TEST(CollectorLimits, OnlyTls12And13WithAeadCiphers) {
    RunningCollector c;
    const std::string connect =
        "openssl s_client -connect 127.0.0.1:" + std::to_string(c.server->port()) + " </dev/null >/dev/null 2>&1 ";
    EXPECT_EQ(tavtest::run(connect + "-tls1_3"), 0);
    EXPECT_EQ(tavtest::run(connect + "-tls1_2 -cipher ECDHE-ECDSA-CHACHA20-POLY1305"), 0);
    EXPECT_NE(tavtest::run(connect + "-tls1_2 -cipher ECDHE-ECDSA-AES128-SHA256"), 0) << "CBC";
    EXPECT_NE(tavtest::run(connect + "-tls1_1 -cipher DEFAULT@SECLEVEL=0"), 0);
}
