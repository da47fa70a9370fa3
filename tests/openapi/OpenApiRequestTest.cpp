// Request operations against a real local HTTPS server: what reaches the wire, error mapping,
// retries, broken servers and bad input.
#include "OpenApiStream.h"
#include "OpenApiTestEnv.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

using namespace openapitest;

namespace {

// The names of the request's headers that are among `wanted`, in the order sent.
std::vector<std::string> sentOf(const HttpRequest& req, const std::vector<std::string>& wanted) {
    std::vector<std::string> names;
    for (const auto& header : req.headers)
        if (std::find(wanted.begin(), wanted.end(), header.first) != wanted.end())
            names.push_back(header.first);
    return names;
}

} // namespace

TEST_F(OpenApiTest, PostsKeepEveryByteAndTheCallersHeadersWithoutExpect) {
    auto server = serve([](const HttpRequest& req) { return reply("got " + std::to_string(req.body.size())); });
    tavtest::TempDir dir;
    std::string bytes("\x1f\x8b\x08\0gz\0\r\n--", 11);
    bytes += std::string(1536 * 1024, 'z');   // big enough for the library to want "Expect: 100-continue"
    tavtest::writeFile(dir.file("upload.gz"), bytes);
    const std::vector<std::string> own{"pincode", "duid", "crc32", "Year", "Content-Type"};
    std::vector<HTTPHeader> headers{{"pincode", "1234"}, {"duid", "DUID-1"}, {"crc32", "0badf00d"}, {"Year", "2024"}};

    std::string response = "before:";
    OpenApiConnection().PostFile(server->url("/upload"), headers, dir.file("upload.gz"), &response, 40);
    headers.emplace_back("Content-Type", "multipart/related");
    OpenApiConnection().PostFile(server->url("/upload"), headers, dir.file("upload.gz"), &response, 40);
    unsigned char buffer[] = {0, 1, 2, 255};
    OpenApiConnection().PostFile(server->url("/upload"), {}, buffer, sizeof buffer, nullptr, 40);
    // Plain bodies and sinks keep every byte, and sinks are appended to.
    OpenApiConnection().PostBinary(server->url(), {{"X-Kind", "bin"}}, {'a', '\0', 'b', '\0'}, &response, 5);
    OpenApiConnection().PostString(server->url(), "text body", &response, 5);
    std::vector<char> out{'x'};
    OpenApiConnection().GetBinary(server->url(), out, 5);
    EXPECT_EQ(std::string(out.begin(), out.end()), "xgot 0");

    const auto reqs = server->requests();
    ASSERT_EQ(reqs.size(), 6u);
    EXPECT_EQ(response, "before:got " + std::to_string(reqs[0].body.size()) + "got " +
                            std::to_string(reqs[1].body.size()) + "got 4got 9");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(reqs[i].method, "POST");
        EXPECT_FALSE(reqs[i].hasHeader("Expect"));
        EXPECT_EQ(reqs[i].header("pincode"), "1234");
        const tavtest::FormPart part = reqs[i].formPart("file");
        EXPECT_NE(part.head.find("filename=\"upload.gz\""), std::string::npos);
        EXPECT_EQ(part.content, bytes);
    }
    EXPECT_EQ(sentOf(reqs[0], own), (std::vector<std::string>{"pincode", "duid", "crc32", "Year", "Content-Type"}));
    EXPECT_EQ(sentOf(reqs[1], own), sentOf(reqs[0], own));   // the caller's type replaces the library's
    EXPECT_EQ(reqs[0].header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
    EXPECT_EQ(reqs[1].header("Content-Type").rfind("multipart/related; boundary=", 0), 0u);
    EXPECT_NE(reqs[2].formPart("file").head.find("filename=\"data\""), std::string::npos);
    EXPECT_EQ(reqs[2].formPart("file").content, std::string("\0\1\2\xff", 4));
    EXPECT_EQ(reqs[3].body, std::string("a\0b\0", 4));
    EXPECT_EQ(reqs[3].header("X-Kind"), "bin");
    EXPECT_EQ(reqs[4].body, "text body");
    EXPECT_EQ(reqs[5].method, "GET");

    // A file that cannot be read is an error before anything is sent.
    EXPECT_EQ(thrownCode([&] { OpenApiConnection().PostFile(server->url(), {}, dir.file("gone"), &response, 40); }),
              openapi::OPENAPI_FILE_ERROR);
    EXPECT_EQ(server->requests().size(), 6u);
}

TEST_F(OpenApiTest, HttpErrorStatusesThrowWithTheBodyInTheSinkAndKeepTheHandle) {
    std::atomic<int> count{0};
    auto server = serve([&](const HttpRequest&) {
        const int n = count++;
        return reply("body" + std::to_string(n), n == 0 ? 404 : n == 1 ? 503 : 200);
    });
    std::string out;
    for (int expected : {int(openapi::OPENAPI_HTTP_CLIENT_ERROR), int(openapi::OPENAPI_HTTP_SERVER_ERROR), -1}) {
        const int n = count;
        out.clear();
        EXPECT_EQ(thrownCode([&] { OpenApiConnection().GetString(server->url(), out, 5); }), expected);
        EXPECT_EQ(out, "body" + std::to_string(n));
    }
    // No retry, and the same handle (and so the same connection) served all three.
    EXPECT_EQ(server->requests().size(), 3u);
    EXPECT_EQ(server->connections(), 1);
}

TEST_F(OpenApiTest, ConnectionProblemsAreTriedThreeTimes) {
    tavplat::test::LogCapture log;
    std::string out = "stale";
    EXPECT_EQ(thrownCode([&] { OpenApiConnection().GetString("https://tavrin-test.invalid/", out, 5); }),
              openapi::OPENAPI_HOST_NOT_RESOLVED);
    for (const char* line : {"Connection problem: # 1", "Connection problem: # 2", "Connection problem: # 3"})
        EXPECT_EQ(log.countBody(line), 1) << line;
    EXPECT_EQ(out, "");   // emptied after every problem

    int port = 0;
    close(tavtest::listenOnLoopback(port));   // nobody listens there any more
    EXPECT_EQ(getCode("https://127.0.0.1:" + std::to_string(port) + "/"), openapi::OPENAPI_COULD_NOT_CONNECT);
    EXPECT_EQ(logLinesWith(log, "Connection problem"), 6);
}

TEST_F(OpenApiTest, StalledServerTimesOutAndARetryStartsWithAnEmptySink) {
    HttpReply stall;
    stall.delayMs = 60000;
    auto stalled = serve([&](const HttpRequest&) { return stall; });
    std::string out;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(thrownCode([&] { OpenApiConnection().GetString(stalled->url(), out, 1); }), openapi::OPENAPI_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(stalled->requests().size(), 3u);

    // First attempt: part of a body, then silence; second attempt: the whole body.
    std::atomic<int> count{0};
    auto flaky = serve([&](const HttpRequest&) {
        HttpReply r = reply("second");
        if (count++ == 0)
            r.raw = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst";
        return r;
    });
    std::vector<char> body;
    OpenApiConnection().GetBinary(flaky->url(), body, 1);
    EXPECT_EQ(std::string(body.begin(), body.end()), "second");
    EXPECT_EQ(flaky->connections(), 2);
}

TEST_F(OpenApiTest, BrokenRepliesAndBadInputGiveMappedCodes) {
    const std::string big(24 * 1024 * 1024, 'b');
    auto server = serve([&](const HttpRequest& req) {
        HttpReply r = reply(big);
        r.close = true;
        if (req.target == "/cut")
            r.raw = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly a little";
        else if (req.target == "/garbage")
            r.raw = "\x16\x03garbage, not a status line\r\n\r\n";
        return r;
    });
    EXPECT_EQ(getCode(server->url("/cut")), openapi::OPENAPI_FILE_ERROR);   // partial file
    EXPECT_EQ(getCode(server->url("/garbage")), openapi::OPENAPI_CONNECTION_FAILED);
    std::vector<char> all;
    OpenApiConnection().GetBinary(server->url("/big"), all, 30);
    EXPECT_EQ(all.size(), big.size());
    for (const char* url : {"", "not a url", "https://", "ftp://127.0.0.1/file", "file:///etc/passwd"})
        EXPECT_EQ(getCode(url), openapi::OPENAPI_CONNECTION_FAILED) << url;
}

TEST_F(OpenApiTest, StreamPostsRepeatedlyOverOneConnectionAndReturnsErrorBodies) {
    std::atomic<int> count{0};
    auto server = serve([&](const HttpRequest&) {
        const int n = count++;
        return n < 2 ? reply("ack" + std::to_string(n)) : reply("oops", 500);
    });
    std::unique_ptr<openapi::OpenApiStream> stream(
        OpenApiConnection().CreateStream(server->url("/stream"), {{"session", "s1"}}));
    EXPECT_EQ(stream->write({1, 2, 3}, {{"seq", "1"}}), "ack0");
    EXPECT_EQ(stream->write({0, 9}, {{"seq", "2"}}), "ack1");
    tavplat::test::LogCapture log;
    EXPECT_EQ(stream->write({7}, {}), "oops");
    for (const auto& line : log.lines())
        EXPECT_NE(line.file(), "OpenApiOperations.cpp") << line.text;

    const auto reqs = server->requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(server->connections(), 1);
    EXPECT_EQ(reqs[0].formPart("file").content, std::string("\1\2\3", 3));
    EXPECT_EQ(reqs[1].formPart("file").content, std::string("\0\x09", 2));
    EXPECT_NE(reqs[1].formPart("file").head.find("filename=\"data\""), std::string::npos);
    EXPECT_EQ(sentOf(reqs[1], {"session", "seq"}), (std::vector<std::string>{"session", "seq"}));
    EXPECT_EQ(reqs[1].header("seq"), "2");
    EXPECT_FALSE(reqs[2].hasHeader("seq"));   // the previous write's headers are gone
}
