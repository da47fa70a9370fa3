// Several collector processes on one database, as an operator runs them behind a balancer (on
// PostgreSQL; on SQLite, on one machine): load through both, one killed without warning while
// uploads are being committed together, and the television's retries sent to the survivor.
// Every upload answered "ok" must be stored exactly once.
#include "CollectorTestSupport.h"
#include "TestDatabase.h"

#include "collector/Certs.h"
#include "collector/Store.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <future>
#include <map>
#include <mutex>
#include <thread>

using namespace coltest;

namespace {

class CollectorInstances : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { TAV_REQUIRE_DATABASE(db); }
    TestDatabase db{GetParam()};
};

} // namespace

TEST_P(CollectorInstances, TwoOnOneDatabaseStoreEveryAnsweredUploadOnceThoughOneIsKilled) {
    tavtest::TempDir dir;
    collector::ensureCertificates(dir.file("certs"));
    const std::string ca = collector::certPathsIn(dir.file("certs")).caCert;
    auto serve = [&](const std::string& name) {
        return std::make_unique<CollectorProcess>(
            dir, name, std::vector<std::string>{TAVCOLLECTOR_BIN, "serve", "--cert-dir", dir.file("certs"), "--db", db.dbText()});
    };
    const auto a = serve("a");
    const auto b = serve("b");

    constexpr int kClients = 4;
    constexpr int kPerClient = 40;
    constexpr int kKillAfter = 30;  // answers from b before it is killed
    std::mutex mutex;
    std::condition_variable progress;
    int okFromB = 0;
    int clientsDone = 0;
    std::map<std::string, Upload> unanswered;  // by session id
    std::map<std::string, int> answeredOk;
    auto client = [&](int c) {
        for (int i = 0; i < kPerClient; ++i) {
            const std::string session = "C" + std::to_string(c) + "-" + std::to_string(i);
            const Upload up = tvUpload(gzip(envelope(survey({1 + i % 2, 1 + i % 7, 1 + i % 10, 1, 7}))), session);
            const bool toB = (i + c) % 2 == 1;
            // Now and then the same upload goes to both at once, as a retry after a lost reply may.
            std::future<Reply> twin;
            if (i % 8 == 0)
                twin = std::async(std::launch::async, [&, up, toB] { return post(toB ? a->url : b->url, ca, up); });
            const Reply r = post(toB ? b->url : a->url, ca, up);
            const bool ok = r.stat() == "ok";
            const bool twinOk = twin.valid() && twin.get().stat() == "ok";
            std::lock_guard<std::mutex> lock(mutex);
            if (ok || twinOk)
                ++answeredOk[session];
            else
                unanswered[session] = up;
            if (ok && toB && ++okFromB == kKillAfter)
                progress.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++clientsDone;
        progress.notify_all();
    };
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back(client, c);
    bool killedUnderLoad = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        progress.wait_for(lock, std::chrono::seconds(120),
                          [&] { return okFromB >= kKillAfter || clientsDone == kClients; });
        killedUnderLoad = clientsDone < kClients;
    }
    b->stop(SIGKILL);
    for (auto& t : clients)
        t.join();
    EXPECT_TRUE(killedUnderLoad) << "the load ended before b was killed";
    EXPECT_FALSE(unanswered.empty()) << "uploads sent to b after the kill must have failed";

    // The television tries again later; the balancer sends it to the instance still running.
    for (const auto& [session, up] : unanswered) {
        const Reply r = post(a->url, ca, up);
        EXPECT_EQ(r.stat(), "ok") << session << ": " << r.body;
        ++answeredOk[session];
    }
    ASSERT_EQ(answeredOk.size(), static_cast<size_t>(kClients * kPerClient));
    ASSERT_FALSE(HasFailure()) << "a's log:\n" << a->log() << "\nb's log:\n" << b->log();

    const auto store = collector::openStore(db.dbText(), collector::Store::eOpenMode::Existing);
    const auto stored = store->query("SELECT session_id, COUNT(*) FROM uploads GROUP BY session_id");
    std::map<std::string, int64_t> rows;
    for (size_t i = 0; i < stored.rows.size(); ++i)
        rows[stored.text(i, 0)] = stored.integer(i, 1);
    for (const auto& [session, n] : answeredOk)
        EXPECT_EQ(rows[session], 1) << session;
    EXPECT_EQ(rows.size(), answeredOk.size()) << "nothing stored that was not sent";
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM answers").integer(0, 0), 5 * kClients * kPerClient);

    // The report reads the same database through the command line.
    std::string out;
    ASSERT_EQ(tavtest::run(std::string(TAVCOLLECTOR_BIN) + " report --db '" + db.dbText() + "'", &out), 0);
    EXPECT_NE(out.find("Stored surveys: " + std::to_string(kClients * kPerClient) + "\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Backends, CollectorInstances, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });
