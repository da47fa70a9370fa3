#include <feedback.h>

#include "tavplat/platform.h"

#include <dlog.h>

#include <mutex>
#include <string>

namespace {

const char* const kTag = "FEEDBACK";
const char* const kJournal = "feedback";

std::mutex g_mutex;
int g_initCount = 0;

} // namespace

extern "C" {

int feedback_initialize(void) {
    if (tavplat::callFails("feedback_initialize", kTag))
        return FEEDBACK_ERROR_OPERATION_FAILED;
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_initCount;
    tavplat::journalAppend(kJournal, "initialize");
    dlog_print(DLOG_DEBUG, kTag, "initialized (%d users)", g_initCount);
    return FEEDBACK_ERROR_NONE;
}

int feedback_play(feedback_pattern_e pattern) {
    if (tavplat::callFails("feedback_play", kTag))
        return FEEDBACK_ERROR_OPERATION_FAILED;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_initCount == 0) {
        dlog_print(DLOG_WARN, kTag, "play of pattern %d before initialize", static_cast<int>(pattern));
        return FEEDBACK_ERROR_NOT_INITIALIZED;
    }
    if (pattern < 0 || pattern >= FEEDBACK_PATTERN_END) {
        dlog_print(DLOG_WARN, kTag, "no pattern %d", static_cast<int>(pattern));
        return FEEDBACK_ERROR_INVALID_PARAMETER;
    }
    tavplat::journalAppend(kJournal, "play " + std::to_string(static_cast<int>(pattern)));
    dlog_print(DLOG_INFO, kTag, "play pattern %d", static_cast<int>(pattern));
    return FEEDBACK_ERROR_NONE;
}

int feedback_deinitialize(void) {
    if (tavplat::callFails("feedback_deinitialize", kTag))
        return FEEDBACK_ERROR_OPERATION_FAILED;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_initCount == 0)
        return FEEDBACK_ERROR_NOT_INITIALIZED;
    --g_initCount;
    tavplat::journalAppend(kJournal, "deinitialize");
    dlog_print(DLOG_DEBUG, kTag, "deinitialized (%d users)", g_initCount);
    return FEEDBACK_ERROR_NONE;
}

} // extern "C"
