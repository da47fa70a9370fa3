#include <app_control.h>

#include "registry.h"
#include "tavplat/appfw.h"
#include "tavplat/platform.h"

#include <dlog.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

struct app_control_s {
    std::string operation;
    bool hasOperation = false;
    std::string appId;
    bool hasAppId = false;
    std::vector<std::pair<std::string, std::string>> extras;
};

namespace {

using tavplat::FaultMode;

int copyOut(const std::string& text, char** out) {
    *out = strdup(text.c_str());
    return *out ? APP_CONTROL_ERROR_NONE : APP_CONTROL_ERROR_OUT_OF_MEMORY;
}

} // namespace

extern "C" {

int app_control_create(app_control_h* app_control) {
    if (!app_control)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_control_create"))
        return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    *app_control = new (std::nothrow) app_control_s;
    return *app_control ? APP_CONTROL_ERROR_NONE : APP_CONTROL_ERROR_OUT_OF_MEMORY;
}

int app_control_destroy(app_control_h app_control) {
    if (!app_control)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    delete app_control;
    return APP_CONTROL_ERROR_NONE;
}

int app_control_clone(app_control_h* clone, app_control_h app_control) {
    if (!clone || !app_control)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_control_clone"))
        return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    *clone = new (std::nothrow) app_control_s(*app_control);
    return *clone ? APP_CONTROL_ERROR_NONE : APP_CONTROL_ERROR_OUT_OF_MEMORY;
}

int app_control_set_operation(app_control_h app_control, const char* operation) {
    if (!app_control)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_control_set_operation"))
        return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    app_control->hasOperation = operation != nullptr;
    app_control->operation = operation ? operation : "";
    return APP_CONTROL_ERROR_NONE;
}

int app_control_get_operation(app_control_h app_control, char** operation) {
    if (!app_control || !operation)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (!app_control->hasOperation) {
        *operation = nullptr;
        return APP_CONTROL_ERROR_NONE;
    }
    return copyOut(app_control->operation, operation);
}

int app_control_set_app_id(app_control_h app_control, const char* app_id) {
    if (!app_control)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_control_set_app_id"))
        return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    app_control->hasAppId = app_id != nullptr;
    app_control->appId = app_id ? app_id : "";
    return APP_CONTROL_ERROR_NONE;
}

int app_control_get_app_id(app_control_h app_control, char** app_id) {
    if (!app_control || !app_id)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (!app_control->hasAppId) {
        *app_id = nullptr;
        return APP_CONTROL_ERROR_NONE;
    }
    return copyOut(app_control->appId, app_id);
}

int app_control_add_extra_data(app_control_h app_control, const char* key, const char* value) {
    if (!app_control || !key || !*key || !value)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_control_add_extra_data"))
        return APP_CONTROL_ERROR_KEY_REJECTED;
    app_control->extras.emplace_back(key, value);
    return APP_CONTROL_ERROR_NONE;
}

int app_control_remove_extra_data(app_control_h app_control, const char* key) {
    if (!app_control || !key || !*key)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    auto& extras = app_control->extras;
    const auto before = extras.size();
    for (auto it = extras.begin(); it != extras.end();)
        it = it->first == key ? extras.erase(it) : it + 1;
    return extras.size() == before ? APP_CONTROL_ERROR_KEY_NOT_FOUND : APP_CONTROL_ERROR_NONE;
}

int app_control_get_extra_data(app_control_h app_control, const char* key, char** value) {
    if (!app_control || !key || !*key || !value)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    const tavplat::Fault f = tavplat::checkFault("app_control_get_extra_data");
    if (f.mode == FaultMode::Fail)
        return APP_CONTROL_ERROR_KEY_NOT_FOUND;
    if (f.mode == FaultMode::Null) {
        *value = nullptr;
        return APP_CONTROL_ERROR_NONE;
    }
    const auto& extras = app_control->extras;
    for (auto it = extras.rbegin(); it != extras.rend(); ++it)
        if (it->first == key)
            return copyOut(it->second, value);
    return APP_CONTROL_ERROR_KEY_NOT_FOUND;
}

int app_control_foreach_extra_data(app_control_h app_control, app_control_extra_data_cb callback,
                                   void* user_data) {
    if (!app_control || !callback)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    // A copy, so a callback that changes the handle does not pull the list from under us.
    const auto extras = app_control->extras;
    for (const auto& extra : extras)
        if (!callback(app_control, extra.first.c_str(), user_data))
            break;
    return APP_CONTROL_ERROR_NONE;
}

int app_control_send_launch_request(app_control_h app_control, app_control_reply_cb callback,
                                    void* user_data) {
    (void)callback;
    (void)user_data;
    if (!app_control)
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_control_send_launch_request")) {
        dlog_print(DLOG_WARN, tavplat::appfw::kLogTag, "launch of %s failed (fault)",
                   app_control->appId.c_str());
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    }
    if (!app_control->hasAppId || !tavplat::appfw::isInstalled(app_control->appId)) {
        dlog_print(DLOG_WARN, tavplat::appfw::kLogTag, "no installed application \"%s\"",
                   app_control->appId.c_str());
        return APP_CONTROL_ERROR_APP_NOT_FOUND;
    }
    tavplat::appfw::LaunchRecord record;
    record.appId = app_control->appId;
    record.operation = app_control->hasOperation ? app_control->operation : "";
    record.extras = app_control->extras;
    tavplat::journalAppend(tavplat::appfw::kLaunchJournal, tavplat::appfw::encodeLaunch(record));
    tavplat::appfw::setRunning(record.appId, true);
    dlog_print(DLOG_INFO, tavplat::appfw::kLogTag, "launched %s (%s, %zu extras)",
               record.appId.c_str(), record.operation.c_str(), record.extras.size());
    return APP_CONTROL_ERROR_NONE;
}

} // extern "C"
