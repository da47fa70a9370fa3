// The per-thread handle registry: reuse, replacement, stopping another thread's request, and
// removing everything while requests run. Run under ThreadSanitizer in CI.
#include "OpenApiTestEnv.h"

#include <chrono>
#include <future>
#include <thread>

using namespace openapitest;

namespace {

HttpReply answer(const HttpRequest& req) {
    HttpReply r = reply("at " + req.target);
    r.delayMs = req.target == "/stall" ? 60000 : 0;
    return r;
}

// Runs a stalled request on its own thread; its id text is known once the server has it.
struct StalledRequest {
    std::promise<std::string> id;
    std::thread thread;
    int code = 0;

    explicit StalledRequest(const tavtest::TestHttpsServer& server) {
        thread = std::thread([this, &server] {
            OpenApiConnection connection;
            id.set_value(connection.threadId());
            std::string out;
            code = thrownCode([&] { connection.GetString(server.url("/stall"), out, 30); });
        });
    }
};

// Waits (10 s at most) until the server has taken `n` requests.
void waitForRequests(const tavtest::TestHttpsServer& server, size_t n) {
    ASSERT_TRUE(tavtest::waitFor([&] { return server.requests().size() >= n; }, 10000))
        << "the server never got request " << n;
}

} // namespace

TEST_F(OpenApiTest, HandleIsReusedForTheSameUrlAndReplacedForANewOne) {
    auto first = serve(answer);
    auto second = serve(answer);
    tavplat::test::LogCapture log;
    std::string out;
    for (int i = 0; i < 3; ++i)
        OpenApiConnection().GetString(first->url("/a"), out, 5);
    EXPECT_EQ(out, "at /aat /aat /a");
    EXPECT_EQ(first->connections(), 1);
    EXPECT_EQ(logLinesWith(log, "Creating new travix handle"), 1);
    EXPECT_EQ(logLinesWith(log, "Reusing travix handle"), 2);

    OpenApiConnection().GetString(second->url("/b"), out, 5);
    EXPECT_EQ(logLinesWith(log, "Removing travix handle"), 1);
    EXPECT_EQ(logLinesWith(log, "Creating new travix handle"), 2);
    const auto sizes = OpenApiConnection::registrySizes();
    EXPECT_EQ(sizes.handles, 1u);
    EXPECT_EQ(sizes.threadInfos, 1u);
    EXPECT_EQ(sizes.traceInfos, 1u);
}

TEST_F(OpenApiTest, EveryThreadHasItsOwnHandle) {
    auto server = serve(answer);
    std::vector<std::thread> threads;
    std::vector<std::string> results(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i)
                OpenApiConnection().GetString(server->url("/t" + std::to_string(t)), results[t], 5);
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t) {
        std::string expected;
        for (int i = 0; i < 5; ++i)
            expected += "at /t" + std::to_string(t);
        EXPECT_EQ(results[t], expected);
    }
    EXPECT_EQ(OpenApiConnection::registrySizes().handles, 4u);
    EXPECT_EQ(server->connections(), 4);
}

TEST_F(OpenApiTest, TerminateTransactionAbortsARunningRequestFromAnotherThread) {
    auto server = serve(answer);
    tavplat::test::LogCapture log;
    StalledRequest stalled(*server);
    const std::string id = stalled.id.get_future().get();
    waitForRequests(*server, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(OpenApiConnection::terminateTransaction(id));
    stalled.thread.join();
    EXPECT_EQ(stalled.code, openapi::OPENAPI_ABORTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(log.countBody("[ABORT] performing request 24"), 1);
    EXPECT_EQ(server->requests().size(), 1u);   // no retry

    EXPECT_FALSE(OpenApiConnection::terminateTransaction("no such thread"));
    EXPECT_EQ(log.countBody("thread no such thread transaction not found"), 1);
    // Its record outlives the failed request; with nothing running the call returns at once.
    EXPECT_TRUE(OpenApiConnection::terminateTransaction(id));
}

TEST_F(OpenApiTest, RemoveAllHandlesStopsRunningRequestsAndEmptiesTheRegistry) {
    auto server = serve(answer);
    std::string out;
    OpenApiConnection().GetString(server->url("/idle"), out, 5);
    StalledRequest stalled(*server);
    stalled.id.get_future().get();
    waitForRequests(*server, 2);
    OpenApiConnection::removeAllHandles();
    stalled.thread.join();
    EXPECT_EQ(stalled.code, openapi::OPENAPI_ABORTED);
    auto sizes = OpenApiConnection::registrySizes();
    EXPECT_EQ(sizes.handles + sizes.threadInfos + sizes.traceInfos, 0u);

    out.clear();
    OpenApiConnection().GetString(server->url("/idle"), out, 5);
    EXPECT_EQ(out, "at /idle");
    sizes = OpenApiConnection::registrySizes();
    EXPECT_EQ(sizes.handles, 1u);
    EXPECT_EQ(sizes.threadInfos, 1u);
}
