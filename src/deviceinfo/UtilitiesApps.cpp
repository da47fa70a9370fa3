// Launching, terminating and watching other applications of the television, the service's
// on-screen icon, messages of the service's own application, and multiview mode.
#include "Utilities.h"

#include <TavConstants.h>
#include <TavLog.h>
#include <Utils.h>
#include <app_control.h>
#include <app_manager.h>
#include <vconf.h>

#include <cstdlib>
#include <cstring>

namespace deviceinfo {

namespace {

const char* const kIconOnOffKey = "db/menu/support/tavrin/serviceicon_onoff";
const char* const kMultiviewKey = "memory/multiscreen/ui_mode";
const char* const kMessageIdExtra = "__TAV_ARG_ID__";

// An application-control handle released on every path.
class AppControl {
public:
    AppControl() {
        if (app_control_create(&m_handle) != APP_CONTROL_ERROR_NONE)
            m_handle = nullptr;
    }
    ~AppControl() {
        if (m_handle)
            app_control_destroy(m_handle);
    }
    AppControl(const AppControl&) = delete;
    AppControl& operator=(const AppControl&) = delete;
    app_control_h get() const { return m_handle; }

private:
    app_control_h m_handle = nullptr;
};

// Default operation, extras in the order given (duplicates included), no reply wanted.
// The send result; a handle that cannot be created fails like a refused launch.
int sendLaunchRequest(const std::string& appId,
                      const std::vector<std::pair<std::string, std::string>>& extras) {
    AppControl request;
    if (!request.get())
        return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    app_control_set_operation(request.get(), APP_CONTROL_OPERATION_DEFAULT);
    for (const auto& [key, value] : extras)
        app_control_add_extra_data(request.get(), key.c_str(), value.c_str());
    app_control_set_app_id(request.get(), appId.c_str());
    return app_control_send_launch_request(request.get(), nullptr, nullptr);
}

// Whether the manager says the application runs; a failing query reads as not running.
bool running(const std::string& appId) {
    bool isRunning = false;
    app_manager_is_running(appId.c_str(), &isRunning);
    return isRunning;
}

} // namespace

bool Utilities::isAppRunning(const std::string& appId) { return running(appId); }

int Utilities::appTerminate(std::string appId) {
    app_context_h context = nullptr;
    if (app_manager_get_app_context(appId.c_str(), &context) != APP_MANAGER_ERROR_NONE) {
        LOGD("Can not get app context");
        return 1;
    }
    const int result = app_manager_terminate_app(context);
    app_context_destroy(context);
    if (result != APP_MANAGER_ERROR_NONE) {
        LOGW("[WRN] Cannot terminate app %s", appId.c_str());
        return 1;
    }
    return 0;
}

int Utilities::appLaunch(std::string appId) {
    const int result = sendLaunchRequest(appId, {});
    if (result != APP_CONTROL_ERROR_NONE) {
        SLOGW("[WRN] Cannot launch app %s. return status %d", appId.c_str(), result);
        return 1;
    }
    return 0;
}

int Utilities::appLaunch(std::string appId, std::vector<std::pair<std::string, std::string>> extras) {
    if (sendLaunchRequest(appId, extras) != APP_CONTROL_ERROR_NONE) {
        LOGI("Fail to execute %s app", appId.c_str());
        return 1;
    }
    return 0;
}

bool Utilities::IvMultiviewModeON() {
    char* mode = vconf_get_str(kMultiviewKey);
    if (!mode) {
        SLOGW("Failed getting VCONF_MULTIVIEW");
        return false;
    }
    LOGI("VCONF_MULTIVIEW: %s", mode);
    const bool on = std::strcmp(mode, "on") == 0;
    std::free(mode);
    LOGI("MV mode is [%d]", on ? 1 : 0);
    return on;
}

void Utilities::showTavIcon() {
    LOGI("DISPLAYING TAV ICON");
    // The icon would cover part of another view in multiview mode.
    if (IvMultiviewModeON()) {
        LOGI("Multiview mode is ON. Icon will not be displayed");
        return;
    }
    LOGI("DISPLAYING TAV ICON");
    if (!running(SERVICE_ICON_APP_ID)) {
        const int result = sendLaunchRequest(SERVICE_ICON_APP_ID, {});
        if (result != APP_CONTROL_ERROR_NONE)
            LOGW("Cannot launch app %s. return status %d", SERVICE_ICON_APP_ID.c_str(), result);
        return;
    }
    // A running icon application shows or hides its icon by this setting.
    LOGI("Service icon application is already running");
    int shown = 0;
    if (vconf_get_int(kIconOnOffKey, &shown) != 0) {
        LOGI("Failed to get ICON On/Off status");
        shown = 0;
    }
    LOGI("Service icon application is state is showing [%d]", shown);
    if (shown == 0) {
        LOGI("Showing icon");
        vconf_set_int(kIconOnOffKey, 1);
    }
}

void Utilities::hideTavIcon() {
    LOGI("HIDING TAV ICON");
    if (!running(SERVICE_ICON_APP_ID)) {
        LOGI("Service icon application is not running");
        return;
    }
    LOGI("Terminating service icon application");
    app_context_h context = nullptr;
    if (app_manager_get_app_context(SERVICE_ICON_APP_ID.c_str(), &context) != APP_MANAGER_ERROR_NONE) {
        LOGD("Can not get app context");
        return;
    }
    const int result = app_manager_terminate_app(context);
    app_context_destroy(context);
    if (result != APP_MANAGER_ERROR_NONE)
        LOGW("Terminating service icon application error");
}

void Utilities::displayMessage(int messageId) {
    const std::string id = IntegerToString::Convert(messageId);
    if (sendLaunchRequest(APP_ID, {{kMessageIdExtra, id}}) != APP_CONTROL_ERROR_NONE) {
        SLOGW("Error while executing TAV service icon");
        return;
    }
    LOGI("Success to execute %s app", APP_ID.c_str());
}

} // namespace deviceinfo
