#include "DeviceTestFixture.h"

#include "DevicePropertiesGeneral.h"
#include "DevicePropertiesSystem.h"
#include "Excpn.h"
#include "TavConfig.h"
#include "Utilities.h"

#include <vconf.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

using deviceinfo::DevicePropertiesGeneral;
using deviceinfo::DevicePropertiesSystem;
using deviceinfo::MENU_VALUE_CURRENT;
using deviceinfo::MENU_VALUE_DEFAULT;
using DeviceError = Excpn<deviceinfo::eTavCommandResultCode>;

namespace {

class DeviceProperties : public DeviceTest {
protected:
    std::string languageCode(const char* locale) {
        vconf_set_str("db/menu_widget/language", locale);
        return m_dev.getLanguageCode(MENU_VALUE_CURRENT, "");
    }
    // Runs `op`, which must throw DeviceError "Failed." with code 1.
    template <typename Op>
    void expectFailed(Op op) {
        try {
            op();
            ADD_FAILURE() << "no exception";
        } catch (const DeviceError& e) {
            EXPECT_EQ(std::string(e.what()) + "/" + std::to_string(e.code()), "Failed./1");
        }
    }
    DevicePropertiesGeneral m_dev;
    DevicePropertiesSystem m_sys;
};

TEST_F(DeviceProperties, LanguageCodeFromMenuLanguage) {
    EXPECT_EQ(languageCode("ko_KR.utf8"), "KR");
    EXPECT_EQ(languageCode("en_GB.utf8"), "US");
    EXPECT_EQ(languageCode("hi_IN.utf8"), "DE");
    EXPECT_EQ(languageCode("de_DE.utf8"), "DU");
    EXPECT_EQ(languageCode("de_DE"), "US");
    EXPECT_EQ(m_dev.getLanguageCode(MENU_VALUE_DEFAULT, ""), "US");
    vconf_unset("db/menu_widget/language");   // read fails: the menu language is "1"
    EXPECT_EQ(m_dev.getLanguageCode(MENU_VALUE_CURRENT, ""), "US");
    EXPECT_TRUE(mainLog(DLOG_DEBUG, "Menu language: 1"));
}

TEST_F(DeviceProperties, ProductYearAndType) {
    const std::pair<const char*, const char*> years[] = {{"19", "2019"}, {"99", "2099"}, {"100", "100"}, {"2021", "2021"}};
    for (const auto& [stored, shown] : years) {
        set("custom/com.kestova/featureconf/product.tv_year", "int", stored);
        EXPECT_EQ(m_dev.getProductYear(""), shown) << stored;
    }
    fault("custom/com.kestova/featureconf/product.tv_year");
    EXPECT_EQ(m_dev.getProductYear(""), "");
    EXPECT_TRUE(warned("Fail to get product year"));
    set("custom/com.kestova/featureconf/product.product_type", "int", "3");
    EXPECT_EQ(m_dev.getProductType(MENU_VALUE_CURRENT, ""), "3");
    EXPECT_EQ(m_dev.getProductType(static_cast<deviceinfo::eMenuValueType>(2), ""), "");
}

TEST_F(DeviceProperties, IdentityFromFirmwareAndSettings) {
    set("info/128", "string", "T-ABCDEF-1234.5");
    EXPECT_EQ(m_dev.getModelId(MENU_VALUE_CURRENT, ""), "T-ABCDEF");
    EXPECT_EQ(m_dev.getModelId(MENU_VALUE_DEFAULT, ""), "");
    EXPECT_EQ(m_dev.getFirmCode(""), "T-ABCDEF-1234.5");
    set("info/128", "string", "NODASH");
    EXPECT_EQ(m_dev.getModelId(MENU_VALUE_CURRENT, ""), "NODASH");
    // Each getter reads its own key.
    set("info/187", "string", "SERIAL-187");
    set("info/7", "string", "RELEASE-7");
    EXPECT_EQ(m_dev.getSerialNumber(""), "SERIAL-187");
    EXPECT_EQ(m_dev.getSystemRelease(), "RELEASE-7");

    // A missing text warns; a failing call is silent.
    fault("info/292", FaultMode::Null);
    EXPECT_EQ(m_dev.getModelName(""), "");
    EXPECT_EQ(m_log.countBody("Invalid value"), 1);
    fault("info/292");
    EXPECT_EQ(m_dev.getModelName(""), "");
    EXPECT_EQ(m_log.countBody("Invalid value"), 1);

    // Value type 1 answers without asking the platform.
    fault("info/90");
    EXPECT_EQ(m_dev.getLocalSet(MENU_VALUE_DEFAULT, ""), "");
    EXPECT_FALSE(warned("FAILURE while getting local set\n"));
    EXPECT_EQ(m_dev.getLocalSet(MENU_VALUE_CURRENT, ""), "");
    EXPECT_TRUE(warned("FAILURE while getting local set\n"));

    fault("settings/10001", FaultMode::Null);
    EXPECT_EQ(m_dev.getDateOfPurchase(""), "");
    EXPECT_TRUE(warned("Do not get date of purchase"));
    EXPECT_FALSE(warned("FAILURE"));
    m_log.clear();
    fault("settings/10001");   // the call fails: the other message
    EXPECT_EQ(m_dev.getDateOfPurchase(""), "");
    EXPECT_TRUE(warned("FAILURE"));
    EXPECT_FALSE(warned("Do not get date of purchase"));
}

TEST_F(DeviceProperties, TunerTexts) {
    const std::pair<const char*, const char*> levels[] = {{"2345", "23.45 dB"}, {"2300", "23 dB"}, {"7", "0.07 dB"}};
    for (const auto& [stored, shown] : levels) {
        set("tv/snr", "int", stored);
        EXPECT_EQ(m_dev.getSNRLevel(""), shown);
    }
    tavplat::journalClear("velmora");
    EXPECT_EQ(m_dev.getSignalStrength(MENU_VALUE_CURRENT, ""), "57 dB");
    EXPECT_EQ(m_dev.getSignalStrength(MENU_VALUE_DEFAULT, ""), "");
    EXPECT_EQ(journal("velmora"), (Lines{"CreateTunerControl profile=1 flags=0", "GetSignalStrength tuner=1"}));

    fault("ITunerControl::GetSNR");
    EXPECT_EQ(m_dev.getSNRLevel(""), "0");
    EXPECT_TRUE(warned("FAILURE while getting SNR level 0"));
    fault("ITunerControl::GetSignalStrength");
    EXPECT_EQ(m_dev.getSignalStrength(MENU_VALUE_CURRENT, ""), "");
    fault("Velmora::CreateTunerControl");
    EXPECT_EQ(m_dev.getSNRLevel(""), "");
    EXPECT_EQ(m_dev.getSignalStrength(MENU_VALUE_CURRENT, ""), "");
    EXPECT_EQ(m_log.countBody("FAILURE while creating tuner control object"), 2);
}

TEST_F(DeviceProperties, PictureSizeAndAerialWritesAndFailures) {
    m_dev.setPictureSize("3");
    EXPECT_EQ(m_dev.getPictureSize(""), "3");
    m_dev.getPIPAerial("");
    EXPECT_EQ(journal("velmora"), (Lines{"CreateVideoControl profile=1 flags=0", "CreateVideoControl profile=1 flags=0",
                                        "CreateServiceNavigation profile=101 flags=0"}));
    m_dev.setPictureSize("abc");   // not a number: 0 is written
    EXPECT_EQ(tavplat::profileInt("tv/picture_size"), 0);
    m_dev.setPIPAerial("2");
    EXPECT_EQ(m_dev.getPIPAerial(""), "2");
    EXPECT_EQ(tavplat::profileInt("tv/pip_service_mode"), 1);   // the service mode is left alone

    fault("IVideoControl::SetPictureSize");
    expectFailed([&] { m_dev.setPictureSize("1"); });
    fault("IServiceNavigation::SetTvMode");
    expectFailed([&] { m_dev.setPIPAerial("1"); });
    fault("IVideoControl::GetPictureSize");
    fault("IServiceNavigation::GetTvMode");
    EXPECT_EQ(m_dev.getPictureSize(""), "0");
    EXPECT_EQ(m_dev.getPIPAerial(""), "0");

    fault("Velmora::CreateVideoControl");
    fault("Velmora::CreateServiceNavigation");
    expectFailed([&] { m_dev.setPictureSize("1"); });
    expectFailed([&] { m_dev.setPIPAerial("1"); });
    EXPECT_EQ(m_dev.getPictureSize(""), "0");
    EXPECT_EQ(m_dev.getPIPAerial(""), "0");
    EXPECT_TRUE(warned("VideoControl is NULL !!"));
    EXPECT_EQ(tavplat::profileInt("tv/picture_size"), 0);
    EXPECT_EQ(tavplat::profileInt("tv/pip_antenna_mode"), 2);
}

TEST_F(DeviceProperties, HdrPlusAndPictureModeWriteOnlyWhenNeeded) {
    auto writes = [] { return journal("qorv"); };
    m_dev.setQorvHDRPlusMode("0");   // already 0
    m_dev.setQorvHDRPlusMode("x1");
    EXPECT_TRUE(warned("[ERROR] stoi"));
    EXPECT_TRUE(writes().empty());
    m_dev.setQorvHDRPlusMode("1");
    m_dev.setQorvPictureMode("4");   // HDR+ is on: the picture mode stays
    EXPECT_EQ(writes(), std::vector<std::string>{"qorv_set_hdr_plus_mode 1 1"});
    EXPECT_TRUE(mainLog(DLOG_INFO, "HDR Mode is ON. No need to set Picture Mode"));

    set("custom/com.kestova/featureconf/hdr_plus_support", "bool", "0");
    m_dev.setQorvPictureMode("4");
    EXPECT_EQ(writes().back(), "qorv_set_picture_mode 0 4 1");
    fault("qorv_set_picture_mode");
    m_dev.setQorvPictureMode("5");
    EXPECT_TRUE(warned("Operation failed, error: -1"));

    m_dev.setGrayscaleValue("2");
    EXPECT_EQ(m_dev.getGrayscaleValue(""), "2");
    m_dev.setGrayscaleValue("99999999999");   // out of range: 0, as for any bad text
    EXPECT_EQ(m_dev.getGrayscaleValue(""), "0");
    m_dev.setGrayscaleValue("1");
    m_dev.setGrayscaleValue("x");
    EXPECT_EQ(m_dev.getGrayscaleValue(""), "0");
    EXPECT_EQ(m_log.countBody("Grayscale value is set to [0]"), 2);
}

TEST_F(DeviceProperties, FactoryServerPrecedence) {
    TavConfig::deinitialize();
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "TAV"), "");   // nothing loaded
    EXPECT_TRUE(warned("Error setting TAV server url!!"));

    TavConfig::set("TavsOperatingServer", "https://op");
    TavConfig::set("TavsDevelopmentServer", "https://dev");
    TavConfig::set("TavsDevelopingServer", "https://devl");
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "TAV"), "https://op");
    TavConfig::set("TavsOperatingServer", "https://op2");   // every call reads the store again
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "TAV"), "https://op2");
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "OTHER"), "");
    set("info/126", "int", "2");
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "TAV"), "https://devl");
    set("info/126", "int", "5");
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "TAV"), "");
    fault("info/126");
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "TAV"), "https://dev");

    vconf_set_str("rtc/db/comss/gpmurl/tav", "https://gpm");
    EXPECT_EQ(m_dev.getFactoryTavServer(MENU_VALUE_CURRENT, "OTHER"), "https://gpm");
    TavConfig::deinitialize();
}

TEST_F(DeviceProperties, SoftwareUpdateIdentity) {
    EXPECT_EQ(m_dev.getOTNSWUVersion(""), "000000.");
    set("info/128", "string", "T-ABCDEF-1234.5");
    set("info/8", "string", "2019-05-13");
    EXPECT_EQ(m_dev.getOTNSWUFirmCode(""), "SWU-OU_T-ABCDEF_001234_190513");
    EXPECT_EQ(m_dev.getOTNSWUVersion(""), "001234.190513");

    set("info/128", "string", "T-XY-99");
    set("info/8", "string", "2019-05-1");
    EXPECT_THROW(m_dev.getOTNSWUFirmCode(""), std::out_of_range);
    EXPECT_EQ(m_dev.getOTNSWUVersion(""), "000099.190513");   // the version was already taken
}

TEST_F(DeviceProperties, KeyMaterialKeepsZeroBytes) {
    set("dekk/esn", "bytes", "00 41 00 00 42 00");
    EXPECT_EQ(m_dev.getnESN(""), std::string("\0A\0\0B\0", 6));
    fault("dekk_get_esn");
    EXPECT_EQ(m_dev.getnESN(""), "");
    EXPECT_TRUE(warned("FAILURE while getting ESN"));
}

TEST_F(DeviceProperties, AdaptersAndServiceRecords) {
    EXPECT_EQ(m_dev.getBluetoothAddr(""), "A4:30:7A:1C:55:E2");
    EXPECT_EQ(m_dev.getWifiMACAddr(""), "A4:30:7A:1C:55:E3");
    tavplat::journalClear("bt");
    fault("bt_adapter_get_address", FaultMode::Null);
    EXPECT_EQ(m_dev.getBluetoothAddr(""), "");
    fault("bt_initialize");
    EXPECT_EQ(m_dev.getBluetoothAddr(""), "");
    EXPECT_EQ(journal("bt"), (Lines{"bt_initialize", "bt_adapter_get_address", "bt_deinitialize", "bt_initialize"}));

    set("lumo/hub_site", "string", "DE");
    EXPECT_EQ(m_dev.getHubSite(""), "DE");
    EXPECT_EQ(m_dev.getDatavenFirmcode(""), "T-INFOLINK2021-1002");
    fault("lumo_get_debug_info");
    EXPECT_THROW(m_dev.getHubSite(""), DeviceError);
    EXPECT_TRUE(warned("Failed, status: -1"));

    EXPECT_EQ(m_dev.getVccFailCount(), "2");
    fault("IPowerControl::GetWatchDogCount");
    EXPECT_EQ(m_dev.getWatchDogCount(), "");
}

TEST_F(DeviceProperties, MenuLanguageUseModeAndCec) {
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

TEST_F(DeviceProperties, HomeScreenMemoryUsage) {
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

TEST_F(DeviceProperties, UploadFileNames) {
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
