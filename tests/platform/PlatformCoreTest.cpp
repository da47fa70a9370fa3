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

#include <atomic>
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

struct Seen {
    std::atomic<int> calls{0};
    std::string last;
};

void onChange(keynode_t* node, void* data) {
    auto* seen = static_cast<Seen*>(data);
    if (vconf_keynode_get_type(node) == VCONF_TYPE_STRING)
        seen->last = vconf_keynode_get_str(node);
    else if (vconf_keynode_get_type(node) == VCONF_TYPE_INT)
        seen->last = std::to_string(vconf_keynode_get_int(node));
    seen->calls++;
}

bool waitFor(const std::function<bool()>& cond, int ms = 5000) {
    for (int i = 0; i < ms / 10; ++i) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

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
    EXPECT_NE(tavtest::run(tool() + " set -t int db/x/count abc 2>/dev/null"), 0);
}

TEST_F(PlatformCore, ChangesReachListenersInThisAndOtherProcesses) {
    Seen seen;
    ASSERT_EQ(vconf_notify_key_changed("db/menu_widget/language", onChange, &seen), VCONF_OK);
    // In-process: synchronous, exactly once (the watcher must not repeat our own write).
    vconf_set_str("db/menu_widget/language", "fr_FR.utf8");
    EXPECT_EQ(seen.calls.load(), 1);
    EXPECT_EQ(seen.last, "fr_FR.utf8");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(seen.calls.load(), 1);

    // Another process writes: delivered by the watcher thread.
    ASSERT_EQ(tavtest::run(tool() + " set -t string db/menu_widget/language de_DE.utf8"), 0);
    EXPECT_TRUE(waitFor([&] { return seen.calls.load() == 2; }));
    EXPECT_EQ(seen.last, "de_DE.utf8");

    // A watcher in another process is told of our write.
    std::string out;
    std::thread watcher([&] { tavtest::run("timeout 10 " + tool() + " watch db/menu_widget/language", &out); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    vconf_set_str("db/menu_widget/language", "ko_KR.utf8");
    watcher.join();
    EXPECT_EQ(out, "watching db/menu_widget/language\ndb/menu_widget/language = ko_KR.utf8\n");
    EXPECT_EQ(seen.calls.load(), 3);

    EXPECT_EQ(vconf_ignore_key_changed("db/menu_widget/language", onChange), VCONF_OK);
    vconf_set_str("db/menu_widget/language", "es_ES.utf8");
    EXPECT_EQ(seen.calls.load(), 3);
    EXPECT_EQ(vconf_ignore_key_changed("db/menu_widget/language", onChange), VCONF_ERROR);
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
    const std::string text = tavtest::readFile(logFile);
    EXPECT_NE(text.find(" system W/TAVRIN("), std::string::npos);
    EXPECT_NE(text.find("): a: b(1) > trailing\n"), std::string::npos);
    EXPECT_NE(text.find(" apps   I/OTHER("), std::string::npos);
    ASSERT_EQ(cap.lines().size(), 2u);
    EXPECT_EQ(cap.lines()[0].body(), "trailing\n");
    EXPECT_EQ(cap.lines()[1].buffer, LOG_ID_APPS);
    unsetenv("TAV_DLOG_FILE");

    tavplat::journalAppend("keys", "15 press");
    tavplat::journalAppend("keys", "two\nlines");
    EXPECT_EQ(tavplat::journalRead("keys"), (std::vector<std::string>{"15 press", "two lines"}));
    tavplat::journalClear("keys");
    EXPECT_TRUE(tavplat::journalRead("keys").empty());
}
