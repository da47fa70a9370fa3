// The UI application framework stand-in (launch request from the command line, lifecycle under
// Elementary's loop) and the toolkit extensions the survey calls.
#include "UiTestSupport.h"

#include "tavplat/test_control.h"
#include "tavplat/uifw.h"

#include <Ecore_Input.h>
#include <app.h>
#include <efl_assist.h>
#include <gtest/gtest.h>
#include <ui_orientation.h>
#include <vconf.h>
#include <voice_control_elm.h>

#include <cstdlib>

using Extras = std::vector<std::pair<std::string, std::string>>;

TEST(UiFramework, CommandLineBecomesTheLaunchRequestsExtras) {
    Extras extras;
    std::string error;
    const char* good[] = {"app", "--url", "https://x/y?a=b", "--pincode=12 34", "--sessionid", ""};
    ASSERT_TRUE(tavplat::uifw::parseLaunchArguments(6, const_cast<char**>(good), extras, error));
    EXPECT_EQ((Extras{{"url", "https://x/y?a=b"}, {"pincode", "12 34"}, {"sessionid", ""}}), extras);
    for (std::vector<const char*> bad : {std::vector<const char*>{"app", "url"}, {"app", "--url"}, {"app", "--=x"}}) {
        EXPECT_FALSE(tavplat::uifw::parseLaunchArguments((int)bad.size(), const_cast<char**>(bad.data()), extras, error));
        EXPECT_FALSE(error.empty());
    }
}

namespace {
struct Seen {
    bool create = true;
    std::vector<std::string> calls;
    Extras extras;
};
Seen* g_seen = nullptr;
} // namespace

TEST(UiFramework, RunsCreateLaunchRequestAndTerminateAroundTheLoop) {
    Seen seen;
    g_seen = &seen;
    ui_app_lifecycle_callback_s callbacks{};
    callbacks.create = [](void* data) { g_seen->calls.push_back(data == g_seen ? "create" : "create?"); return g_seen->create; };
    callbacks.terminate = [](void*) { g_seen->calls.push_back("terminate"); };
    callbacks.app_control = [](app_control_h request, void*) {
        g_seen->calls.push_back("app_control");
        char* operation = nullptr;
        app_control_get_operation(request, &operation);
        EXPECT_STREQ(APP_CONTROL_OPERATION_DEFAULT, operation);
        free(operation);
        app_control_foreach_extra_data(request, [](app_control_h r, const char* key, void*) {
            char* value = nullptr;
            app_control_get_extra_data(r, key, &value);
            g_seen->extras.emplace_back(key, value ? value : "");
            free(value);
            return true;
        }, nullptr);
        ui_app_exit();
    };
    const char* argv[] = {"app", "--url", "u", "--pincode", "p"};
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(5, const_cast<char**>(argv), &callbacks, &seen));
    EXPECT_EQ((std::vector<std::string>{"create", "app_control", "terminate"}), seen.calls);
    EXPECT_EQ((Extras{{"url", "u"}, {"pincode", "p"}}), seen.extras);
    EXPECT_EQ((std::vector<std::string>{"main", "create 1", "app_control", "exit", "terminate"}), tavplat::journalRead("ui_app"));

    // A refusing create ends the application: no loop, no request, no terminate.
    seen = Seen{false};
    EXPECT_EQ(APP_ERROR_INVALID_CONTEXT, ui_app_main(5, const_cast<char**>(argv), &callbacks, &seen));
    EXPECT_EQ((std::vector<std::string>{"create"}), seen.calls);
    // A command line that is no launch request is refused before create.
    seen = Seen{};
    const char* wrong[] = {"app", "extra"};
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER, ui_app_main(2, const_cast<char**>(wrong), &callbacks, &seen));
    EXPECT_TRUE(seen.calls.empty());
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER, ui_app_main(1, const_cast<char**>(wrong), nullptr, nullptr));
}

TEST(UiFramework, ToolkitExtensionsRecordTheirCallsAndOrientationComesFromTheSettings) {
    EXPECT_EQ(0, ua_UI_orientation_get());   // unset
    vconf_set_int(UA_UI_ORIENTATION_KEY, 1);
    EXPECT_EQ(1, ua_UI_orientation_get());
    vconf_set_int(UA_UI_ORIENTATION_KEY, 7);
    EXPECT_EQ(0, ua_UI_orientation_get());

    EXPECT_EQ(VC_ELM_ERROR_INVALID_STATE, vc_elm_set_auto_register_mode(1, 1));
    EXPECT_EQ(VC_ELM_ERROR_NONE, vc_elm_initialize());
    EXPECT_EQ(VC_ELM_ERROR_INVALID_STATE, vc_elm_initialize());
    EXPECT_EQ(VC_ELM_ERROR_NONE, vc_elm_set_auto_register_mode(1, 1));
    EXPECT_EQ(VC_ELM_ERROR_NONE, vc_elm_deinitialize());
    tavplat::test::setFault("vc_elm_initialize", tavplat::FaultMode::Fail);
    EXPECT_EQ(VC_ELM_ERROR_OPERATION_FAILED, vc_elm_initialize());
    tavplat::test::clearFaults();
    EXPECT_EQ((std::vector<std::string>{"vc_elm_initialize", "vc_elm_set_auto_register_mode 1 1", "vc_elm_deinitialize"}),
              tavplat::journalRead("voice_control"));

    ea_init(0, nullptr);
    ea_config_text_scale_set(1);
    ea_apply_color_pick(nullptr);
    ea_shutdown();
    EXPECT_EQ((std::vector<std::string>{"ea_init", "ea_config_text_scale_set 1", "ea_apply_color_pick null", "ea_shutdown"}),
              tavplat::journalRead("efl_assist"));
}

TEST(UiFramework, DesktopKeysStandInForTheRemotesBackExitAndPower) {
    static std::vector<std::string> keys;
    static Ecore_Event_Handler* handler = nullptr;
    ui_app_lifecycle_callback_s callbacks{};
    callbacks.create = [](void*) { return true; };
    callbacks.app_control = [](app_control_h, void*) {
        handler = ecore_event_handler_add(ECORE_EVENT_KEY_DOWN, [](void*, int, void* event) {
            keys.push_back(static_cast<Ecore_Event_Key*>(event)->keyname);
            if (keys.size() == 4)
                ui_app_exit();
            return ECORE_CALLBACK_PASS_ON;
        }, nullptr);
        for (const char* name : {"Escape", "F12", "Pause", "Down"}) {
            auto* key = static_cast<Ecore_Event_Key*>(calloc(1, sizeof(Ecore_Event_Key)));
            key->keyname = key->key = name;
            ecore_event_add(ECORE_EVENT_KEY_DOWN, key, nullptr, nullptr);
        }
    };
    const char* argv[] = {"app"};
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(1, const_cast<char**>(argv), &callbacks, nullptr));
    ecore_event_handler_del(handler);
    EXPECT_EQ((std::vector<std::string>{"XF86Back", "XF86Exit", "XF86PowerOff", "Down"}), keys);
}
