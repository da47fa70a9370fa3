// The UI application framework stand-in: the command line as launch request, the lifecycle
// around Elementary's loop, desktop keys as the remote's, and the UI orientation setting.
#include "UiTestSupport.h"

#include "tavplat/uifw.h"

#include <Ecore_Input.h>
#include <app.h>
#include <gtest/gtest.h>
#include <tuple>
#include <ui_orientation.h>
#include <vconf.h>

using Strings = std::vector<std::string>;
using Extras = std::vector<std::pair<std::string, std::string>>;

TEST(UiFramework, CommandLineBecomesTheLaunchRequestsExtras) {
    Extras extras;
    std::string error;
    const char* good[] = {"app", "--url", "https://x/y?a=b", "--pincode=12 34", "--sessionid", ""};
    ASSERT_TRUE(tavplat::uifw::parseLaunchArguments(6, const_cast<char**>(good), extras, error));
    EXPECT_EQ((Extras{{"url", "https://x/y?a=b"}, {"pincode", "12 34"}, {"sessionid", ""}}), extras);
    const char* bad[] = {"app", "--url", "u", "stray"};
    EXPECT_FALSE(tavplat::uifw::parseLaunchArguments(4, const_cast<char**>(bad), extras, error));
    EXPECT_FALSE(tavplat::uifw::parseLaunchArguments(2, const_cast<char**>(bad), extras, error));   // no value
}

static Strings g_seen;

TEST(UiFramework, RunsCreateTheLaunchRequestAndTerminateAroundTheLoop) {
    ui_app_lifecycle_callback_s callbacks{};
    static bool createResult = true;
    callbacks.create = [](void*) { g_seen.push_back("create"); return createResult; };
    callbacks.terminate = [](void*) { g_seen.push_back("terminate"); };
    callbacks.app_control = [](app_control_h, void* data) {
        g_seen.push_back(std::string("app_control ") + static_cast<const char*>(data));
        // Keys the desktop keyboard lacks arrive as the remote's.
        ecore_event_handler_add(ECORE_EVENT_KEY_DOWN, [](void*, int, void* event) {
            g_seen.push_back(static_cast<Ecore_Event_Key*>(event)->keyname);
            if (g_seen.size() == 5)
                ui_app_exit();
            return ECORE_CALLBACK_DONE;
        }, nullptr);
        for (const char* name : {"Escape", "F12", "Pause"}) {
            auto* key = static_cast<Ecore_Event_Key*>(calloc(1, sizeof(Ecore_Event_Key)));
            key->keyname = key->key = name;
            ecore_event_add(ECORE_EVENT_KEY_DOWN, key, nullptr, nullptr);
        }
    };
    const char* argv[] = {"app", "--url", "u", "--pincode", "p"};
    char data[] = "data";
    ecore_event_init();   // input events (a window would have done it)
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(5, const_cast<char**>(argv), &callbacks, data));
    ecore_event_shutdown();
    EXPECT_EQ((Strings{"create", "app_control data", "XF86Back", "XF86Exit", "XF86PowerOff", "terminate"}), g_seen);

    g_seen.clear();   // a refusing create ends the application: no loop, no request, no terminate
    createResult = false;
    EXPECT_EQ(APP_ERROR_INVALID_CONTEXT, ui_app_main(5, const_cast<char**>(argv), &callbacks, data));
    EXPECT_EQ((Strings{"create"}), g_seen);
    const char* wrong[] = {"app", "extra"};   // no launch request: refused before create
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER, ui_app_main(2, const_cast<char**>(wrong), &callbacks, data));
    EXPECT_EQ(1u, g_seen.size());
}

TEST(UiFramework, OrientationComesFromTheSettingsStoreOrTheMenuLanguage) {
    EXPECT_EQ(0, ua_UI_orientation_get());   // unset
    // (setting or -1 for none, menu language, orientation); the setting wins.
    const std::tuple<int, const char*, int> cases[] = {
        {-1, "ar_AE.utf8", 1}, {-1, "arn_CL.utf8", 0}, {1, "arn_CL.utf8", 1}, {7, "ar_AE.utf8", 0}, {0, "he_IL.utf8", 0}};
    for (const auto& [setting, language, expected] : cases) {
        if (setting < 0)
            vconf_unset(UA_UI_ORIENTATION_KEY);
        else
            vconf_set_int(UA_UI_ORIENTATION_KEY, setting);
        vconf_set_str("db/menu_widget/language", language);   // arn: Mapudungun, left to right
        EXPECT_EQ(expected, ua_UI_orientation_get()) << setting << " " << language;
    }
}
