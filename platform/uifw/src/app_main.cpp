#include <app.h>

#include "tavplat/platform.h"
#include "tavplat/uifw.h"

#include <Ecore_Input.h>
#include <Elementary.h>
#include <dlog.h>

#include <cstdlib>
#include <cstring>
#include <string>

#define UIFW_TAG "APP_CORE"

namespace {

// The toolkit scale of the television's 1080p profile; layouts are designed for it.
constexpr double TV_TOOLKIT_SCALE = 2.0;

struct Run {
    ui_app_lifecycle_callback_s callbacks{};
    void* userData = nullptr;
    app_control_h request = nullptr;
    Ecore_Job* delivery = nullptr;   // pending until the loop has run it
};

Run* g_run = nullptr;   // the running application; one per process at a time

// On a desktop the keyboard stands in for the television's remote control: keys the keyboard
// lacks come from keys it has. Events fed straight to a canvas (tests) are not touched.
struct RemoteKey {
    const char* keyboard;
    const char* remote;
};
constexpr RemoteKey REMOTE_KEYS[] = {{"Escape", "XF86Back"}, {"F12", "XF86Exit"}, {"Pause", "XF86PowerOff"}};

Eina_Bool keyboardAsRemote(void*, void*, int type, void* event) {
    if (type != ECORE_EVENT_KEY_DOWN && type != ECORE_EVENT_KEY_UP)
        return EINA_TRUE;
    auto* key = static_cast<Ecore_Event_Key*>(event);
    for (const auto& mapping : REMOTE_KEYS) {
        if (key->keyname && !strcmp(key->keyname, mapping.keyboard)) {
            key->keyname = mapping.remote;
            key->key = mapping.remote;
            key->string = nullptr;
            key->compose = nullptr;
            break;
        }
    }
    return EINA_TRUE;
}

void deliverLaunchRequest(void*) {
    if (!g_run)
        return;
    g_run->delivery = nullptr;
    tavplat::journalAppend("ui_app", "app_control");
    if (g_run->callbacks.app_control)
        g_run->callbacks.app_control(g_run->request, g_run->userData);
}

std::string usage(const char* program) {
    return std::string("usage: ") + (program ? program : "app") +
           " [--url URL] [--pincode PIN] [--sessionid ID] [--<key> <value>]...";
}

} // namespace

namespace tavplat::uifw {

bool parseLaunchArguments(int argc, char** argv,
                          std::vector<std::pair<std::string, std::string>>& extras,
                          std::string& error) {
    extras.clear();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
        std::string key = arg.substr(2);
        std::string value;
        const auto eq = key.find('=');
        if (eq != std::string::npos) {
            value = key.substr(eq + 1);
            key.erase(eq);
        } else if (i + 1 < argc && argv[i + 1]) {
            value = argv[++i];
        } else {
            error = "no value for '" + arg + "'";
            return false;
        }
        if (key.empty()) {
            error = "empty key in '" + arg + "'";
            return false;
        }
        extras.emplace_back(key, value);
    }
    return true;
}

} // namespace tavplat::uifw

extern "C" {

int ui_app_main(int argc, char** argv, ui_app_lifecycle_callback_s* callback, void* user_data) {
    if (!callback || !callback->create)
        return APP_ERROR_INVALID_PARAMETER;
    if (g_run)
        return APP_ERROR_ALREADY_RUNNING;
    if (tavplat::callFails("ui_app_main", UIFW_TAG))
        return APP_ERROR_INVALID_CONTEXT;

    std::vector<std::pair<std::string, std::string>> extras;
    std::string error;
    if (!tavplat::uifw::parseLaunchArguments(argc, argv, extras, error)) {
        dlog_print(DLOG_ERROR, UIFW_TAG, "%s; %s", error.c_str(), usage(argc > 0 ? argv[0] : nullptr).c_str());
        return APP_ERROR_INVALID_PARAMETER;
    }

    Run run;
    run.callbacks = *callback;
    run.userData = user_data;
    if (app_control_create(&run.request) != APP_CONTROL_ERROR_NONE)
        return APP_ERROR_OUT_OF_MEMORY;
    app_control_set_operation(run.request, APP_CONTROL_OPERATION_DEFAULT);
    for (const auto& [key, value] : extras)
        app_control_add_extra_data(run.request, key.c_str(), value.c_str());

    tavplat::journalAppend("ui_app", "main");
    elm_init(argc, argv);
    if (!getenv("ELM_SCALE"))
        elm_config_scale_set(TV_TOOLKIT_SCALE);
    // The framework ends the application when its last window goes, as on the television; the
    // previous policy comes back afterwards for processes that run several applications (tests).
    const int quitPolicy = elm_policy_get(ELM_POLICY_QUIT);
    elm_policy_set(ELM_POLICY_QUIT, ELM_POLICY_QUIT_LAST_WINDOW_CLOSED);
    g_run = &run;

    const bool created = run.callbacks.create(user_data);
    tavplat::journalAppend("ui_app", created ? "create 1" : "create 0");
    int result = APP_ERROR_NONE;
    if (created) {
        run.delivery = ecore_job_add(deliverLaunchRequest, nullptr);
        Ecore_Event_Filter* remote = ecore_event_filter_add(nullptr, keyboardAsRemote, nullptr, nullptr);
        elm_run();
        ecore_event_filter_del(remote);
        if (run.delivery)   // the loop ended before it could deliver the request
            ecore_job_del(run.delivery);
        if (run.callbacks.terminate)
            run.callbacks.terminate(user_data);
        tavplat::journalAppend("ui_app", "terminate");
    } else {
        dlog_print(DLOG_WARN, UIFW_TAG, "create callback refused to start the application");
        result = APP_ERROR_INVALID_CONTEXT;
    }

    g_run = nullptr;
    elm_policy_set(ELM_POLICY_QUIT, quitPolicy);
    elm_shutdown();
    app_control_destroy(run.request);
    return result;
}

void ui_app_exit(void) {
    tavplat::journalAppend("ui_app", "exit");
    elm_exit();
}

} // extern "C"
