#include "DeviceTestFixture.h"
#include "Utilities.h"

#include "tavplat/appfw.h"

#include <TavConstants.h>
#include <app_control.h>
#include <vconf.h>

using deviceinfo::Utilities;
namespace appfw = tavplat::appfw;
using Extras = std::vector<std::pair<std::string, std::string>>;

namespace {

const char* const kHome = "org.vintre.firstscreen";
const char* const kIconKey = "db/menu/support/tavrin/serviceicon_onoff";

class UtilitiesTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        vconf_set_str("memory/multiscreen/ui_mode", "off");
    }
    static int iconSetting() {
        int v = -1;
        return vconf_get_int(kIconKey, &v) == 0 ? v : -1;
    }
};

} // namespace

TEST_F(UtilitiesTest, LaunchWithAndWithoutExtrasAndMessagesToTheServiceApplication) {
    EXPECT_EQ(0, Utilities::appLaunch(kHome));
    EXPECT_EQ(0, Utilities::appLaunch(APP_ID, {{"a", "1"}, {"b", "2"}, {"a", "3"}}));
    EXPECT_EQ(0, Utilities::appLaunch(kHome, Extras{}));
    Utilities::displayMessage(-3);
    const auto launches = appfw::launches();
    ASSERT_EQ(4u, launches.size());
    EXPECT_EQ(kHome, launches[0].appId);
    EXPECT_EQ(APP_CONTROL_OPERATION_DEFAULT, launches[0].operation);
    EXPECT_TRUE(launches[0].extras.empty());
    EXPECT_EQ((Extras{{"a", "1"}, {"b", "2"}, {"a", "3"}}), launches[1].extras);
    EXPECT_TRUE(launches[2].extras.empty());
    EXPECT_EQ(APP_ID, launches[3].appId);
    EXPECT_EQ((Extras{{"__TAV_ARG_ID__", "-3"}}), launches[3].extras);
    EXPECT_TRUE(Utilities::isAppRunning(kHome));

    EXPECT_EQ(1, Utilities::appLaunch("org.example.absent"));
    EXPECT_TRUE(warned("[WRN] Cannot launch app org.example.absent. return status " +
                       std::to_string(APP_CONTROL_ERROR_APP_NOT_FOUND)));
    EXPECT_EQ(1, Utilities::appLaunch("org.example.absent", Extras{}));
    EXPECT_TRUE(mainLog(DLOG_INFO, "Fail to execute org.example.absent app"));
    fault("app_control_send_launch_request");
    Utilities::displayMessage(7);
    EXPECT_TRUE(warned("Error while executing TAV service icon"));
    EXPECT_EQ(4u, appfw::launches().size());
}

TEST_F(UtilitiesTest, TerminateRunningAndMissingApplications) {
    ASSERT_TRUE(appfw::setRunning(kHome, true));
    EXPECT_EQ(0, Utilities::appTerminate(kHome));
    EXPECT_FALSE(Utilities::isAppRunning(kHome));
    EXPECT_EQ(std::vector<std::string>{kHome}, appfw::terminations());

    EXPECT_EQ(1, Utilities::appTerminate(kHome));
    EXPECT_TRUE(mainLog(DLOG_DEBUG, "Can not get app context"));

    appfw::setRunning(kHome, true);
    fault("app_manager_terminate_app");
    EXPECT_EQ(1, Utilities::appTerminate(kHome));
    EXPECT_TRUE(mainLog(DLOG_WARN, std::string("[WRN] Cannot terminate app ") + kHome));
    fault("app_manager_is_running");
    EXPECT_FALSE(Utilities::isAppRunning(kHome));
    EXPECT_EQ(0, appfw::liveAppContexts()) << "every context is destroyed, the terminate failing or not";
}

TEST_F(UtilitiesTest, ServiceIconFollowsMultiviewAndRunningState) {
    vconf_set_str("memory/multiscreen/ui_mode", "on");
    Utilities::showTavIcon();
    EXPECT_TRUE(mainLog(DLOG_INFO, "Multiview mode is ON. Icon will not be displayed"));
    EXPECT_TRUE(appfw::launches().empty());

    vconf_set_str("memory/multiscreen/ui_mode", "ON");   // only "on" is multiview
    Utilities::showTavIcon();
    ASSERT_EQ(1u, appfw::launches().size());
    EXPECT_EQ(SERVICE_ICON_APP_ID, appfw::launches()[0].appId);
    EXPECT_EQ(-1, iconSetting());

    // Running icon application: the setting shows the icon; an unreadable one counts as hidden.
    Utilities::showTavIcon();
    EXPECT_EQ(1, iconSetting());
    m_log.clear();
    Utilities::showTavIcon();
    EXPECT_EQ(0, m_log.countBody("Showing icon"));
    EXPECT_EQ(1u, appfw::launches().size());

    Utilities::hideTavIcon();
    EXPECT_FALSE(appfw::isRunning(SERVICE_ICON_APP_ID));
    EXPECT_EQ(1, iconSetting());   // hiding does not touch the setting
    Utilities::hideTavIcon();
    EXPECT_EQ(1u, appfw::terminations().size());
    EXPECT_TRUE(mainLog(DLOG_INFO, "Service icon application is not running"));
    EXPECT_EQ(0, appfw::liveAppContexts());

    vconf_unset("memory/multiscreen/ui_mode");
    EXPECT_FALSE(Utilities::IvMultiviewModeON());
    EXPECT_TRUE(warned("Failed getting VCONF_MULTIVIEW"));
}
