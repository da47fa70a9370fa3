#include <app_manager.h>

#include "registry.h"
#include "tavplat/appfw.h"
#include "tavplat/platform.h"

#include <dlog.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>

struct app_context_s {
    std::string appId;
    pid_t pid = 0;
};

namespace {
// Contexts handed out and not destroyed yet: a caller must destroy every one it gets.
std::atomic<int> g_liveContexts{0};
} // namespace

int tavplat::appfw::liveAppContexts() { return g_liveContexts.load(); }

namespace {

using tavplat::FaultMode;

// The emulated applications have no process; a stable number stands in for their pid.
pid_t fakePid(const std::string& appId) {
    return static_cast<pid_t>(1000 + std::hash<std::string>()(appId) % 30000);
}

} // namespace

extern "C" {

int app_manager_is_running(const char* app_id, bool* running) {
    if (!app_id || !running)
        return APP_MANAGER_ERROR_INVALID_PARAMETER;
    const tavplat::Fault f = tavplat::checkFault("app_manager_is_running");
    if (f.mode == FaultMode::Fail)
        return APP_MANAGER_ERROR_IO_ERROR;
    if (f.mode == FaultMode::Null)
        return APP_MANAGER_ERROR_NONE;   // "succeeds" without filling in the flag
    *running = tavplat::appfw::isRunning(app_id);
    return APP_MANAGER_ERROR_NONE;
}

int app_manager_get_app_context(const char* app_id, app_context_h* app_context) {
    if (!app_id || !app_context)
        return APP_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_manager_get_app_context"))
        return APP_MANAGER_ERROR_IO_ERROR;
    if (!tavplat::appfw::isRunning(app_id))
        return APP_MANAGER_ERROR_NO_SUCH_APP;
    *app_context = new (std::nothrow) app_context_s{app_id, fakePid(app_id)};
    if (!*app_context)
        return APP_MANAGER_ERROR_OUT_OF_MEMORY;
    ++g_liveContexts;
    return APP_MANAGER_ERROR_NONE;
}

int app_manager_terminate_app(app_context_h app_context) {
    if (!app_context)
        return APP_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("app_manager_terminate_app"))
        return APP_MANAGER_ERROR_REQUEST_FAILED;
    if (!tavplat::appfw::isRunning(app_context->appId))
        return APP_MANAGER_ERROR_APP_NO_RUNNING;
    tavplat::appfw::setRunning(app_context->appId, false);
    tavplat::journalAppend(tavplat::appfw::kTerminateJournal, app_context->appId);
    dlog_print(DLOG_INFO, tavplat::appfw::kLogTag, "terminated %s", app_context->appId.c_str());
    return APP_MANAGER_ERROR_NONE;
}

int app_context_destroy(app_context_h app_context) {
    if (!app_context)
        return APP_MANAGER_ERROR_INVALID_PARAMETER;
    --g_liveContexts;
    delete app_context;
    return APP_MANAGER_ERROR_NONE;
}

int app_context_get_app_id(app_context_h app_context, char** app_id) {
    if (!app_context || !app_id)
        return APP_MANAGER_ERROR_INVALID_PARAMETER;
    *app_id = strdup(app_context->appId.c_str());
    return *app_id ? APP_MANAGER_ERROR_NONE : APP_MANAGER_ERROR_OUT_OF_MEMORY;
}

int app_context_get_pid(app_context_h app_context, pid_t* pid) {
    if (!app_context || !pid)
        return APP_MANAGER_ERROR_INVALID_PARAMETER;
    *pid = app_context->pid;
    return APP_MANAGER_ERROR_NONE;
}

} // extern "C"
