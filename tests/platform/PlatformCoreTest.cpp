#include "TestSupport.h"
#include "tavplat/platform.h"
#include "tavplat/test_control.h"

#include <dlog.h>
#include <vector>
#include <cstdio>
#include <climits>
#include <system_info.h>
#include <system_settings.h>
#include <vconf.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>
#include <chrono>
#include <cstdlib>
#include <thread>

using tavplat::FaultMode;

namespace {

class PlatformCore : public ::testing::Test {
protected:
    void SetUp() override { tavplat::test::useRoot(m_dir.path()); }
    void TearDown() override { tavplat::test::clearFaults(); }
    std::string tool() const {
        return "env TAV_PLATFORM_ROOT='" + m_dir.path() + "' TAV_DLOG_STDERR=0 " + tavtest::selfDir() +
               "/../../platform/core/vconftool";
    }
    tavtest::TempDir m_dir;
};

std::string getStr(const char* key) {
    char* v = vconf_get_str(key);
    std::string out = v ? v : "<null>";
    std::free(v);
    return out;
}

// What a listener was told, by which thread; read by the test while notices still arrive.
struct Seen {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> notices;   // "key=value", "key removed"
    std::set<std::thread::id> threads;

    void add(const std::string& notice) {
        std::lock_guard<std::mutex> lock(mutex);
        notices.push_back(notice);
        threads.insert(std::this_thread::get_id());
        changed.notify_all();
    }
    // Waits (5 s at most) until `notice` has been delivered; all notices so far.
    std::vector<std::string> waitFor(const std::string& notice) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5),
                         [&] { return std::find(notices.begin(), notices.end(), notice) != notices.end(); });
        return notices;
    }
};

void onChange(keynode_t* node, void* data) {
    const std::string key = vconf_keynode_get_name(node);
    switch (vconf_keynode_get_type(node)) {
    case VCONF_TYPE_STRING: static_cast<Seen*>(data)->add(key + "=" + vconf_keynode_get_str(node)); break;
    case VCONF_TYPE_INT: static_cast<Seen*>(data)->add(key + "=" + std::to_string(vconf_keynode_get_int(node))); break;
    default: static_cast<Seen*>(data)->add(key + " removed"); break;
    }
}

// A command whose output is read line by line as it comes.
class Child {
public:
    explicit Child(const std::string& command) : m_pipe(popen(command.c_str(), "r")) {}
    ~Child() {
        if (m_pipe)
            pclose(m_pipe);
    }
    std::string line() {
        char buf[512];
        return m_pipe && std::fgets(buf, sizeof buf, m_pipe) ? buf : "";
    }

private:
    FILE* m_pipe;
};

} // namespace

TEST_F(PlatformCore, SettingsStoreTypesAndPersistence) {
    EXPECT_EQ(getStr("db/menu_widget/language"), "en_US.utf8");   // seeded
    EXPECT_EQ(vconf_set_str("db/a/b", "x y"), VCONF_OK);
    EXPECT_EQ(vconf_set_int("db/a/n", -5), VCONF_OK);
    int n = 0;
    EXPECT_EQ(vconf_get_int("db/a/n", &n), VCONF_OK);
    EXPECT_EQ(n, -5);
    EXPECT_EQ(getStr("db/a/n"), "<null>");              // an int is not a string
    EXPECT_EQ(vconf_get_int("db/a/b", &n), VCONF_ERROR);
    EXPECT_EQ(getStr("db/missing"), "<null>");
    EXPECT_EQ(vconf_set_str("../escape", "x"), VCONF_ERROR);
    EXPECT_EQ(vconf_set_str("/abs", "x"), VCONF_ERROR);
    // The value is a file of its own, with no temporary left behind.
    EXPECT_EQ(tavtest::readFile(m_dir.path() + "/vconf/db/a/b"), "string\nx y");
    std::string listing;
    tavtest::run("ls -A '" + m_dir.path() + "/vconf/db/a'", &listing);
    EXPECT_EQ(listing, "b\nn\n");
}

TEST_F(PlatformCore, ToolAndApiSeeEachOther) {
    ASSERT_EQ(tavtest::run(tool() + " set -t string db/menu_widget/language de_DE.utf8"), 0);
    EXPECT_EQ(getStr("db/menu_widget/language"), "de_DE.utf8");
    vconf_set_int("db/x/count", 12);
    std::string out;
    ASSERT_EQ(tavtest::run(tool() + " get db/x/count", &out), 0);
    EXPECT_EQ(out, "db/x/count, value = 12 (int)\n");
    EXPECT_NE(tavtest::run(tool() + " get db/x/none 2>/dev/null"), 0);
    // Bad input is refused with a message and a failing status, and nothing is stored.
    const std::string tavplatform = "env TAV_PLATFORM_ROOT='" + m_dir.path() + "' " + tavtest::selfDir() +
                                    "/../../platform/core/tavplatform";
    for (const std::string& command :
         {tool() + " set -t int db/x/count abc", tool() + " set -t int db/x/count 4294967297",
          tool() + " set -t int db/x/count 12x", tool() + " set -t bool db/x/count 2", tool() + " set -t float db/x/count 1",
          tool() + " watch db/x/count abc", tool() + " unset db/x/none", tavplatform + " set K weird v",
          tavplatform + " set K int 1.5", tavplatform + " set K bytes 4", tavplatform + " set '#K' string v"}) {
        std::string err;
        EXPECT_NE(tavtest::run(command + " 2>&1", &err), 0) << command;
        EXPECT_FALSE(err.empty()) << command;
    }
    EXPECT_EQ(getStr("db/x/count"), "<null>");
    int n = 0;
    EXPECT_EQ(vconf_get_int("db/x/count", &n), VCONF_OK);
    EXPECT_EQ(n, 12);
    EXPECT_FALSE(tavplat::profileGet("K"));
    EXPECT_FALSE(tavplat::profileGet("#K"));
}

TEST_F(PlatformCore, SeedingKeepsWhatAnotherProcessWroteFirst) {
    // A fresh root that another process has already written a setting and a profile value to
    // before this one seeds it.
    tavtest::TempDir fresh;
    tavtest::writeFile(fresh.path() + "/device.profile", "info/292  string  QE99\n");
    tavplat::makeDirs(fresh.path() + "/vconf/db/menu_widget");
    tavtest::writeFile(fresh.path() + "/vconf/db/menu_widget/language", "string\nde_DE.utf8");
    tavplat::test::useRoot(fresh.path());
    EXPECT_EQ(getStr("db/menu_widget/language"), "de_DE.utf8");
    EXPECT_EQ(tavplat::profileString("info/292"), "QE99");
    EXPECT_NE(getStr("db/comss/hwduid"), "<null>");   // the rest is seeded

    // Processes starting together on fresh roots while one of them writes: the write survives.
    for (int i = 0; i < 10; ++i) {
        tavtest::TempDir root;
        const std::string env = "env TAV_PLATFORM_ROOT='" + root.path() + "' TAV_DLOG_STDERR=0 " + tavtest::selfDir() +
                                "/../../platform/core/vconftool";
        std::string out;
        tavtest::run("(" + env + " get db/comss/hwduid >/dev/null & " + env + " set -t string db/menu_widget/language ko_KR.utf8 & " +
                         env + " get db/comss/hwduid >/dev/null & wait); " + env + " get db/menu_widget/language",
                     &out);
        EXPECT_EQ(out, "db/menu_widget/language, value = ko_KR.utf8 (string)\n") << i;
    }
}

TEST_F(PlatformCore, ChangesReachListenersInThisAndOtherProcesses) {
    const std::string lang = "db/menu_widget/language", hidden = "db/menu_widget/.hidden", mark = "db/menu_widget/mark";
    Seen seen;
    for (const std::string& key : {lang, hidden, mark})
        ASSERT_EQ(vconf_notify_key_changed(key.c_str(), onChange, &seen), VCONF_OK);
    // Changes by this process and by others, removals included, in the order they were made.
    // (Another process's change is read when the watcher sees it: the test waits for each
    // before changing the key again.)
    vconf_set_str(lang.c_str(), "fr_FR.utf8");
    ASSERT_EQ(tavtest::run(tool() + " set -t string " + lang + " de_DE.utf8"), 0);
    seen.waitFor(lang + "=de_DE.utf8");
    ASSERT_EQ(tavtest::run(tool() + " set -t int " + hidden + " 7"), 0);
    seen.waitFor(hidden + "=7");
    ASSERT_EQ(vconf_unset(hidden.c_str()), VCONF_OK);
    ASSERT_EQ(tavtest::run(tool() + " unset " + lang), 0);
    // The watcher sees the changes in order: once the last one is delivered, a repeat of our own
    // would have been too.
    ASSERT_EQ(tavtest::run(tool() + " set -t int " + mark + " 1"), 0);
    EXPECT_EQ(seen.waitFor(mark + "=1"),
              (std::vector<std::string>{lang + "=fr_FR.utf8", lang + "=de_DE.utf8", hidden + "=7", hidden + " removed",
                                        lang + " removed", mark + "=1"}));
    {
        // All on one thread, never the setter's.
        std::lock_guard<std::mutex> lock(seen.mutex);
        EXPECT_EQ(seen.threads.size(), 1u);
        EXPECT_EQ(seen.threads.count(std::this_thread::get_id()), 0u);
    }

    // A watcher in another process is told of our writes and removals.
    Child watcher("timeout 10 " + tool() + " watch " + lang + " 2");
    EXPECT_EQ(watcher.line(), "watching " + lang + "\n");
    vconf_set_str(lang.c_str(), "ko_KR.utf8");
    EXPECT_EQ(watcher.line(), lang + " = ko_KR.utf8\n");   // read by the other process when it sees it
    vconf_unset(lang.c_str());
    EXPECT_EQ(watcher.line(), lang + " (removed)\n");
    vconf_set_int(mark.c_str(), 2);   // our own notices come in order too: then none is pending
    EXPECT_EQ(seen.waitFor(mark + "=2").size(), 9u);

    for (const std::string& key : {lang, hidden, mark})
        EXPECT_EQ(vconf_ignore_key_changed(key.c_str(), onChange), VCONF_OK);
    EXPECT_EQ(vconf_ignore_key_changed(lang.c_str(), onChange), VCONF_ERROR);
}

TEST_F(PlatformCore, DeviceProfileBacksSystemInformation) {
    char* s = nullptr;
    ASSERT_EQ(system_info_get_value_string(128, &s), SYSTEM_INFO_ERROR_NONE);
    EXPECT_STRNE(s, "");
    std::free(s);
    int year = 0;
    EXPECT_EQ(system_info_get_custom_int("com.kestova/featureconf/product.tv_year", &year), 0);
    EXPECT_EQ(year, 21);
    s = nullptr;
    EXPECT_EQ(system_info_get_value_string(9999, &s), SYSTEM_INFO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(s, nullptr);

    // Edited values persist in the file and keep the rest of it (comments included).
    EXPECT_EQ(system_settings_set_value_int(10008, 0), SYSTEM_SETTINGS_ERROR_NONE);
    int mode = -1;
    EXPECT_EQ(system_settings_get_value_int(10008, &mode), 0);
    EXPECT_EQ(mode, 0);
    ASSERT_TRUE(tavplat::profileSet("tv/esn", "bytes", "41 00 42 00"));
    EXPECT_EQ(*tavplat::profileBytes("tv/esn"), (std::vector<unsigned char>{0x41, 0, 0x42, 0}));
    const std::string file = tavtest::readFile(m_dir.path() + "/device.profile");
    EXPECT_NE(file.find("# Device profile"), std::string::npos);
    EXPECT_NE(file.find("settings/10008  int  0\n"), std::string::npos);
    EXPECT_FALSE(tavplat::profileSet("bad key", "string", "x"));

    bool flag = false;
    tavplat::test::setFault("custom/com.kestova/featureconf/hdr_plus_support", FaultMode::Fail);
    EXPECT_NE(system_info_get_custom_bool("com.kestova/featureconf/hdr_plus_support", &flag), 0);
    tavplat::test::setFault("info/292", FaultMode::Null);
    s = nullptr;
    EXPECT_EQ(system_info_get_value_string(292, &s), 0);
    EXPECT_EQ(s, nullptr);
}

TEST_F(PlatformCore, FaultsCanMakeCallsSlow) {
    tavplat::test::setFault("db/slow", FaultMode::None, 150);
    vconf_set_str("db/slow", "v");   // a delay alone does not fail the call
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(getStr("db/slow"), "v");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    tavplat::test::setFault("db/slow", FaultMode::Fail);
    EXPECT_EQ(getStr("db/slow"), "<null>");
}

// A message comes out as printf writes it, whether the log's own writer or printf formats it.
template <class... Args>
std::string loggedAndPrinted(tavplat::test::LogCapture& cap, const char* fmt, Args... args) {
    std::vector<char> printed(4096);
    std::snprintf(printed.data(), printed.size(), fmt, args...);
    cap.clear();
    __dlog_print(LOG_ID_MAIN, DLOG_DEBUG, "T", fmt, args...);
    const auto lines = cap.lines();
    return (lines.size() == 1 ? lines[0].text : "<no line>") + "\x01" + printed.data();
}

TEST_F(PlatformCore, LogMessagesAreFormattedAsPrintfDoes) {
    tavplat::test::LogCapture cap;
    const auto same = [](const std::string& pair) {
        const size_t bar = pair.find('\x01');
        return pair.substr(0, bar) == pair.substr(bar + 1) ? std::string() : pair;
    };
    const char* none = nullptr;
    EXPECT_EQ(same(loggedAndPrinted(cap, "%s: %s(%d) > %zu %ld %u %lld %c %% %i", "f.cpp", "fn", 42, size_t{7},
                                    -123456789L, 4000000000u, LLONG_MIN, 'x', -1)), "");
    EXPECT_EQ(same(loggedAndPrinted(cap, "%lu %llu %zd [%s]", ULONG_MAX, ULLONG_MAX, ssize_t{-5}, none)), "");
    EXPECT_EQ(same(loggedAndPrinted(cap, "%5d|%-6s|%.2f|%x|%p", 42, "ab", 2.5, 255u, static_cast<void*>(nullptr))), "");
    EXPECT_EQ(same(loggedAndPrinted(cap, "%s and %d after a long text", std::string(1500, 'y').c_str(), 3)), "");
}

TEST_F(PlatformCore, LogFileLinesAndJournals) {
    const std::string logFile = m_dir.path() + "/log.txt";
    setenv("TAV_DLOG_FILE", logFile.c_str(), 1);
    tavplat::test::LogCapture cap;
    __dlog_print(LOG_ID_SYSTEM, DLOG_WARN, "TAVRIN", "a: b(1) > %s\n", "trailing");
    dlog_print(DLOG_INFO, "OTHER", "plain");
    tavplat::test::flushLog();
    std::string text = tavtest::readFile(logFile);
    EXPECT_NE(text.find(" system W/TAVRIN("), std::string::npos);
    EXPECT_NE(text.find("): a: b(1) > trailing\n"), std::string::npos);
    EXPECT_NE(text.find(" apps   I/OTHER("), std::string::npos);
    // A line break inside a message cannot forge a log line of its own.
    __dlog_print(LOG_ID_MAIN, DLOG_INFO, "TAVRIN", "a: b(2) > %s", "x\n01-01 00:00:00.000 main   E/TAVRIN(    1): forged\r");
    tavplat::test::flushLog();
    text = tavtest::readFile(logFile);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_NE(text.find("): a: b(2) > x\\n01-01 00:00:00.000 main   E/TAVRIN(    1): forged\\r\n"), std::string::npos) << text;
    ASSERT_EQ(cap.lines().size(), 3u);
    EXPECT_EQ(cap.lines()[0].body(), "trailing\n");
    EXPECT_EQ(cap.lines()[1].buffer, LOG_ID_APPS);
    unsetenv("TAV_DLOG_FILE");

    tavplat::journalAppend("keys", "15 press");
    tavplat::journalAppend("keys", "two\nlines");
    EXPECT_EQ(tavplat::journalRead("keys"), (std::vector<std::string>{"15 press", "two lines"}));
    tavplat::journalClear("keys");
    EXPECT_TRUE(tavplat::journalRead("keys").empty());
}
