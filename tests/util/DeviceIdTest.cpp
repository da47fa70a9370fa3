#include "Utils.h"

#include "TestSupport.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>
#include <vconf.h>

#include <cstdio>
#include <thread>
#include <unistd.h>

using tavplat::FaultMode;
using tavplat::test::LogCapture;

class DeviceIds : public ::testing::Test {
protected:
    void SetUp() override { tavplat::test::useRoot(m_dir.path()); }
    void TearDown() override { tavplat::test::clearFaults(); }
    tavtest::TempDir m_dir;
};

TEST_F(DeviceIds, ReadersReturnValuesOrFallbacks) {
    vconf_set_str("db/comss/hwduid", "DUID-1");
    EXPECT_EQ(Utils::getOpenApiDUID(), "DUID-1");
    tavplat::profileSet("info/128", "string", "T-ABCDEF-1234.5");
    vconf_set_str("db/comss/datavenversion", "T-INFOLINK2021-1002");
    EXPECT_EQ(Utils::getSmartTVClient(), "OTN-FW/T-ABCDEF-1234.5+T-DATAVEN/T-INFOLINK2021-1002+Vintre/1.1");

    LogCapture cap;
    vconf_unset("db/comss/hwduid");
    EXPECT_EQ(Utils::getOpenApiDUID(), "");
    EXPECT_EQ(cap.count(LOG_ID_SYSTEM, DLOG_WARN, "Failed getting DUID returning empty"), 1);

    tavplat::test::setFault("db/adagent/psid", FaultMode::Null);
    EXPECT_EQ(Utils::getPSID(), "");
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Failed getting PSID returning empty"));
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_INFO, "[### ID :  ###]"));

    tavplat::test::setFault("info/128", FaultMode::Fail);
    tavplat::test::setFault("db/comss/datavenversion", FaultMode::Null);
    EXPECT_EQ(Utils::getSmartTVClient(), "OTN-FW/ERROR-VIRMWARE-VERSION+T-DATAVEN/+Vintre/1.1");
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Failed to get firmware version\n"));
    EXPECT_TRUE(cap.has(LOG_ID_SYSTEM, DLOG_WARN, "Failed getting datavenVersion returning empty"));

    tavplat::test::setFault("info/90", FaultMode::Null);
    EXPECT_EQ(Utils::getDeviceLocalSet(), "");
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "FAILURE while getting local set\n"));
}

TEST_F(DeviceIds, ModelTypeDecidesJoinraSupport) {
    const char* key = "custom/com.kestova/featureconf/tv_model_type";
    for (auto [type, expected] : {std::pair{0, false}, {1, true}, {2, true}, {3, true}, {4, false}}) {
        tavplat::profileSet(key, "int", std::to_string(type));
        EXPECT_EQ(Utils::IsJoinraSuppported(), expected) << type;
    }
    LogCapture cap;
    tavplat::profileErase(key);
    EXPECT_TRUE(Utils::IsJoinraSuppported());
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Get TV Model Type failed"));
}

TEST_F(DeviceIds, ThreadNames) {
    std::thread([] {
        Utils::setThreadName("exactly15chars_");
        EXPECT_EQ(Utils::getThreadName(), "exactly15chars_");
        Utils::setThreadName("short");
        EXPECT_EQ(Utils::getThreadName(), "short");
    }).join();
}

TEST_F(DeviceIds, DebugMarkerFiles) {
    if (tavtest::fileExists("/etc/debug") || tavtest::fileExists("/etc/perf") || access("/etc", W_OK) != 0)
        GTEST_SKIP() << "needs a writable /etc without debug markers";
    EXPECT_FALSE(isDebug());
    tavtest::writeFile("/etc/perf", "");
    const bool withPerf = isDebug();   // read afresh, not cached
    std::remove("/etc/perf");
    EXPECT_TRUE(withPerf);
    EXPECT_FALSE(isDebug());
}
