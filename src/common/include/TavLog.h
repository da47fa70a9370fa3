// The service's log lines: tag "TAVRIN", prefix "<file>: <function>(<line)> > ".
// LOGx write to the main buffer, SLOGx to the system buffer.
#pragma once

#include <dlog.h>

#define TAV_LOG_TAG "TAVRIN"

namespace tavlog {
// The file name with its extension, without folders, computed at compile time.
constexpr const char* baseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/')
            base = p + 1;
    return base;
}
} // namespace tavlog

#define TAV_FILE_NAME (::tavlog::baseName(__FILE__))

#define TAV_LOG(buffer, prio, fmt, ...) \
    __dlog_print((buffer), (prio), TAV_LOG_TAG, "%s: %s(%d) > " fmt, TAV_FILE_NAME, __func__, __LINE__, ##__VA_ARGS__)

#define LOGD(fmt, ...) TAV_LOG(LOG_ID_MAIN, DLOG_DEBUG, fmt, ##__VA_ARGS__)
#define LOGI(fmt, ...) TAV_LOG(LOG_ID_MAIN, DLOG_INFO, fmt, ##__VA_ARGS__)
#define LOGW(fmt, ...) TAV_LOG(LOG_ID_MAIN, DLOG_WARN, fmt, ##__VA_ARGS__)
#define LOGE(fmt, ...) TAV_LOG(LOG_ID_MAIN, DLOG_ERROR, fmt, ##__VA_ARGS__)

#define SLOGD(fmt, ...) TAV_LOG(LOG_ID_SYSTEM, DLOG_DEBUG, fmt, ##__VA_ARGS__)
#define SLOGI(fmt, ...) TAV_LOG(LOG_ID_SYSTEM, DLOG_INFO, fmt, ##__VA_ARGS__)
#define SLOGW(fmt, ...) TAV_LOG(LOG_ID_SYSTEM, DLOG_WARN, fmt, ##__VA_ARGS__)
#define SLOGE(fmt, ...) TAV_LOG(LOG_ID_SYSTEM, DLOG_ERROR, fmt, ##__VA_ARGS__)
