// The network-debug watch as the service uses it, with the switch flipped by this process and by
// others; built under ThreadSanitizer in CI (label "threading"): the listener must only ever run
// on the settings store's one delivery thread.
#include "DeviceTestFixture.h"

#include "DevicePropertiesSystem.h"

#include <vconf.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using deviceinfo::DevicePropertiesSystem;

namespace {

constexpr char kNetDebug[] = "db/menu/support/tavrin/netdebug";

TEST_F(DeviceTest, NetworkDebugWatchCallsOnlyTheLastListenerOnOneThread) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<bool> first, second;
    std::set<std::thread::id> threads;
    auto recorder = [&](std::vector<bool>& into) {
        return [&](bool on) {
            std::lock_guard<std::mutex> lock(mutex);
            into.push_back(on);
            threads.insert(std::this_thread::get_id());
            changed.notify_all();
        };
    };
    const auto waitForSecond = [&](size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return second.size() >= n; });
    };
    DevicePropertiesSystem::onNetworkDebugPropertyChange(recorder(first));
    DevicePropertiesSystem::onNetworkDebugPropertyChange(recorder(second));

    ASSERT_EQ(vconf_set_int(kNetDebug, 1), 0);
    EXPECT_TRUE(DevicePropertiesSystem::networkDebugEnabled());
    ASSERT_EQ(vconf_set_str(kNetDebug, "1"), 0);   // not an integer: no listener call
    EXPECT_FALSE(DevicePropertiesSystem::networkDebugEnabled());
    // Another process sets 2 (not "on"), then this one switches it off.
    const std::string tool = "env TAV_PLATFORM_ROOT='" + m_dir.path() + "' TAV_DLOG_STDERR=0 " + tavtest::selfDir() +
                             "/../../platform/core/vconftool";
    ASSERT_EQ(tavtest::run(tool + " set -t int " + kNetDebug + " 2"), 0);
    ASSERT_TRUE(waitForSecond(2));
    EXPECT_FALSE(DevicePropertiesSystem::networkDebugEnabled());   // only 1 is "on"
    ASSERT_EQ(vconf_set_int(kNetDebug, 0), 0);
    EXPECT_TRUE(waitForSecond(3));

    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(second, (std::vector<bool>{true, false, false}));
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(m_log.countBody("Changed value: 2"), 1);
    DevicePropertiesSystem::onNetworkDebugPropertyChange(nullptr);   // the recorders go out of scope
}

} // namespace
