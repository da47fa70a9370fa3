#include <VirtualKey.h>

#include "tavplat/platform.h"

#include <dlog.h>

#include <mutex>
#include <string>

namespace {

const char* const kTag = "VIRTUALKEY";
const char* const kJournal = "virtualkey";

std::mutex g_mutex;
int g_initCount = 0;

} // namespace

extern "C" {

int VirtualKey_Initialize(int mode) {
    if (tavplat::callFails("VirtualKey_Initialize", kTag))
        return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_initCount;
    tavplat::journalAppend(kJournal, "initialize " + std::to_string(mode));
    dlog_print(DLOG_DEBUG, kTag, "initialized, mode %d", mode);
    return 0;
}

int VirtualKey_Send_KeyCode(int keycode, int action) {
    if (tavplat::callFails("VirtualKey_Send_KeyCode", kTag))
        return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_initCount == 0) {
        dlog_print(DLOG_WARN, kTag, "key %d sent before initialize", keycode);
        return -1;
    }
    if (action < VIRTUALKEY_ACTION_RELEASE || action > VIRTUALKEY_ACTION_PRESSRELEASE) {
        dlog_print(DLOG_WARN, kTag, "unknown action %d for key %d", action, keycode);
        return -1;
    }
    tavplat::journalAppend(kJournal, "send " + std::to_string(keycode) + " " + std::to_string(action));
    dlog_print(DLOG_INFO, kTag, "key %d action %d", keycode, action);
    return 0;
}

int VirtualKey_Finalize(void) {
    if (tavplat::callFails("VirtualKey_Finalize", kTag))
        return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_initCount == 0)
        return -1;
    --g_initCount;
    tavplat::journalAppend(kJournal, "finalize");
    dlog_print(DLOG_DEBUG, kTag, "finalized");
    return 0;
}

} // extern "C"
