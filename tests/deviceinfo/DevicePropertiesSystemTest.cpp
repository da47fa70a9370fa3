#include "DeviceTestFixture.h"

#include "DevicePropertiesSystem.h"
#include "Utilities.h"

#include <vconf.h>

#include <chrono>
#include <cstdlib>

using deviceinfo::DevicePropertiesSystem;
using deviceinfo::MENU_VALUE_CURRENT;
using deviceinfo::MENU_VALUE_DEFAULT;

namespace {

class DeviceSystem : public DeviceTest {
protected:
    DevicePropertiesSystem m_sys;
};

TEST_F(DeviceSystem, MenuLanguageUseModeAndCec) {
    m_sys.setSystemMenuLanguage("ko_KR.utf8");
    EXPECT_EQ(m_sys.getSystemMenuLanguage(""), "ko_KR.utf8");
    vconf_unset("db/menu_widget/language");
    EXPECT_EQ(m_sys.getSystemMenuLanguage(""), "1");

    m_sys.setSystemUseMode("1");   // the seeded mode is 1
    EXPECT_TRUE(mainLog(DLOG_INFO, "Value same as previous value Usage Mode"));
    m_sys.setSystemUseMode("0");
    EXPECT_EQ(tavplat::profileInt("settings/10008"), 0);
    m_sys.setSystemUseMode("abc");
    EXPECT_TRUE(mainLog(DLOG_INFO, "Value same as previous value Retail Mode"));
    // Only the one change was written.
    int writes = 0;
    for (const auto& line : m_log.lines())
        writes += line.body().rfind("Support/UseMode set successful", 0) == 0;
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(m_log.countBody("Support/UseMode set successful: 0"), 1);

    m_sys.setLinkoraHdmiCec("x");   // not a number: CEC goes off
    EXPECT_EQ(m_sys.getLinkoraHdmiCec(MENU_VALUE_DEFAULT, ""), "0");
    EXPECT_EQ(journal("cec"), (Lines{"cec_init_proxy", "cec_set_enable 0", "cec_close_proxy", "cec_init_proxy",
                                     "cec_is_enable", "cec_close_proxy"}));
    fault("cec_set_enable");
    m_sys.setLinkoraHdmiCec("1");
    EXPECT_TRUE(warned("Operation failed."));
    EXPECT_EQ(journal("cec").back(), "cec_close_proxy");
}

TEST_F(DeviceSystem, HomeScreenMemoryUsage) {
    EXPECT_EQ(m_sys.getSystemCordiaWidgetAppUsage(MENU_VALUE_CURRENT, ""), "212.4 MB");
    EXPECT_EQ(m_sys.getSystemCordiaWidgetAppUsage(MENU_VALUE_DEFAULT, ""), "");
    fault("lumo_get_used_memory", FaultMode::Null);
    EXPECT_EQ(m_sys.getSystemCordiaWidgetAppUsage(MENU_VALUE_CURRENT, ""), "");
    EXPECT_TRUE(warned("Invalid value"));

    // Slower than usual but within the wait: the text still arrives.
    fault("lumo_get_used_memory", FaultMode::None, 300);
    EXPECT_EQ(m_sys.getSystemCordiaWidgetAppUsage(MENU_VALUE_CURRENT, ""), "212.4 MB");

    // Slower than the wait: no text, and the call returns only once the reader has finished.
    DevicePropertiesSystem::setMemoryUsageWait(std::chrono::milliseconds(100));
    fault("lumo_get_used_memory", FaultMode::None, 500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_sys.getSystemCordiaWidgetAppUsage(MENU_VALUE_CURRENT, ""), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    DevicePropertiesSystem::setMemoryUsageWait(std::chrono::seconds(20));
}

std::time_t fixedClock() { return 1796392471; }   // 2026-12-04 13:54:31 UTC

TEST_F(DeviceSystem, UploadFileNames) {
    using deviceinfo::Utilities;
    setenv("TZ", "CET-1", 1);   // local time is UTC+1
    tzset();
    Utilities::setFileNameClock(fixedClock);
    set("info/292", "string", "M");
    set("info/128", "string", "T-X-1.0");
    EXPECT_EQ(Utilities::getFileName(deviceinfo::FILE_SURVEY), "/opt/usr/apps/org.tizen.tavrin/survey/Survey_20261204_145431_M.zip");
    EXPECT_EQ(Utilities::getFileName(deviceinfo::FILE_TAVAS), "/opt/usr/apps/org.tizen.tavrin/tmp/tavas.xml_20261204_145431_M_T-X-1.0.zip");
    EXPECT_EQ(Utilities::getFileName(deviceinfo::FILE_TAVAS_BACKUP),
              "/opt/usr/apps/org.tizen.tavrin/tmp/tavas_backup.xml_20261204_145431_M_T-X-1.0.zip");
    EXPECT_EQ(Utilities::getFileName(static_cast<deviceinfo::fileType>(3)), "");
    EXPECT_TRUE(warned("Unknown file type"));
    tavplat::profileErase("info/292");
    EXPECT_EQ(Utilities::getFileName(deviceinfo::FILE_SURVEY), "/opt/usr/apps/org.tizen.tavrin/survey/Survey_20261204_145431_.zip");
    Utilities::setFileNameClock(nullptr);
    unsetenv("TZ");
    tzset();
}

} // namespace
