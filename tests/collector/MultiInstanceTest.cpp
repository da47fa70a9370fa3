// Several collector processes on one PostgreSQL database, as an operator runs them behind a
// balancer: load through both, one killed without warning, and the television's retries sent
// to the survivor. Every upload answered "ok" must be stored exactly once.
#include "CollectorTestSupport.h"
#include "TestDatabase.h"

#include "collector/Certs.h"
#include "collector/Store.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

using namespace coltest;

namespace {

// `tavcollector serve` in a child process on a free port; killed when the test ends early.
class CollectorProcess {
public:
    CollectorProcess(const std::string& db, const tavtest::TempDir& dir, const std::string& name) {
        const std::string bin = TAVCOLLECTOR_BIN;
        const std::string portFile = dir.file(name + ".port");
        m_log = dir.file(name + ".log");
        std::vector<std::string> args = {bin, "serve", "--cert-dir", dir.file("certs"), "--db", db,
                                         "--port", "0", "--port-file", portFile};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int rc = posix_spawn(&m_pid, bin.c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0)
            throw std::runtime_error("cannot start " + bin);
        // The port file appears once connections are taken; a dead child ends the wait.
        for (int i = 0; i < 3000 && !tavtest::fileExists(portFile); ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = 0;
                throw std::runtime_error(name + " ended at start: " + tavtest::readFile(m_log));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!tavtest::fileExists(portFile))
            throw std::runtime_error(name + " did not start: " + tavtest::readFile(m_log));
        url = "https://127.0.0.1:" + std::to_string(std::stoi(tavtest::readFile(portFile))) + "/survey";
    }
    ~CollectorProcess() { kill(SIGKILL); }
    CollectorProcess(const CollectorProcess&) = delete;
    CollectorProcess& operator=(const CollectorProcess&) = delete;

    void kill(int sig) {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, sig);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }

    std::string url;

private:
    pid_t m_pid = 0;
    std::string m_log;
};

} // namespace

TEST(CollectorInstances, TwoOnOneDatabaseStoreEveryAnsweredUploadOnceThoughOneIsKilled) {
    TestDatabase db("postgresql");
    TAV_REQUIRE_DATABASE(db);
    tavtest::TempDir dir;
    collector::ensureCertificates(dir.file("certs"));
    const std::string ca = collector::certPathsIn(dir.file("certs")).caCert;
    CollectorProcess a(db.spec(), dir, "a");
    CollectorProcess b(db.spec(), dir, "b");

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
                twin = std::async(std::launch::async, [&, up, toB] { return post(toB ? a.url : b.url, ca, up); });
            const Reply r = post(toB ? b.url : a.url, ca, up);
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
    b.kill(SIGKILL);
    for (auto& t : clients)
        t.join();
    EXPECT_TRUE(killedUnderLoad) << "the load ended before b was killed";
    EXPECT_FALSE(unanswered.empty()) << "uploads sent to b after the kill must have failed";

    // The television tries again later; the balancer sends it to the instance still running.
    for (const auto& [session, up] : unanswered) {
        const Reply r = post(a.url, ca, up);
        EXPECT_EQ(r.stat(), "ok") << session << ": " << r.body;
        ++answeredOk[session];
    }
    ASSERT_EQ(answeredOk.size(), static_cast<size_t>(kClients * kPerClient));

    const auto store = collector::openStore(db.spec(), collector::Store::eOpenMode::Existing);
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
    ASSERT_EQ(tavtest::run(std::string(TAVCOLLECTOR_BIN) + " report --db '" + db.spec() + "'", &out), 0);
    EXPECT_NE(out.find("Stored surveys: " + std::to_string(kClients * kPerClient) + "\n"), std::string::npos);
}
