#include <dlog.h>

#include "tavplat/platform.h"
#include "tavplat/test_control.h"
#include "internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/time.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::vector<tavplat::test::LogCapture*> g_captures;
int g_fd = -1;
std::string g_fdPath;

const char* bufferName(log_id_t id) {
    switch (id) {
    case LOG_ID_MAIN: return "main";
    case LOG_ID_RADIO: return "radio";
    case LOG_ID_SYSTEM: return "system";
    case LOG_ID_APPS: return "apps";
    default: return "invalid";
    }
}

char priorityLetter(int prio) {
    static const char letters[] = "??VDIWEFS";
    return (prio >= 0 && prio < DLOG_PRIO_MAX) ? letters[prio] : '?';
}

std::string logFilePath() {
    if (const char* env = std::getenv("TAV_DLOG_FILE"); env && *env)
        return env;
    return tavplat::rootPath("dlog.log");
}

bool stderrEnabled() {
    const char* env = std::getenv("TAV_DLOG_STDERR");
    return !(env && std::strcmp(env, "0") == 0);
}

// Called with g_mutex held.
void writeLine(const std::string& line) {
    const std::string path = logFilePath();
    if (g_fd < 0 || path != g_fdPath) {
        if (g_fd >= 0)
            ::close(g_fd);
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            tavplat::makeDirs(path.substr(0, slash));
        g_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        g_fdPath = path;
    }
    // One write per line: O_APPEND keeps lines of several processes whole.
    if (g_fd >= 0 && ::write(g_fd, line.data(), line.size()) < 0) {
        // The log has nowhere else to report to.
    }
    if (stderrEnabled() && ::write(STDERR_FILENO, line.data(), line.size()) < 0) {
    }
}

} // namespace

extern "C" int __dlog_vprint(log_id_t log_id, int prio, const char* tag, const char* fmt, va_list ap) {
    if (!tag || !fmt || log_id <= LOG_ID_INVALID || log_id >= LOG_ID_MAX)
        return DLOG_ERROR_INVALID_PARAMETER;
    // One formatting pass for the usual short line; a second one only for long lines.
    char local[1024];
    va_list copy;
    va_copy(copy, ap);
    const int len = std::vsnprintf(local, sizeof local, fmt, ap);
    std::string msg;
    if (len > 0 && static_cast<size_t>(len) < sizeof local) {
        msg.assign(local, static_cast<size_t>(len));
    } else if (len > 0) {
        msg.assign(static_cast<size_t>(len), '\0');
        std::vsnprintf(msg.data(), msg.size() + 1, fmt, copy);
    }
    va_end(copy);

    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    localtime_r(&tv.tv_sec, &tm);
    char head[160];
    const int headLen = std::snprintf(head, sizeof head, "%02d-%02d %02d:%02d:%02d.%03ld %-6s %c/%s(%5d): ",
                                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                                      static_cast<long>(tv.tv_usec / 1000), bufferName(log_id),
                                      priorityLetter(prio), tag, static_cast<int>(getpid()));
    size_t bodyLen = msg.size();
    while (bodyLen > 0 && msg[bodyLen - 1] == '\n')
        --bodyLen;
    std::string line;
    line.reserve(sizeof head + bodyLen + 1);
    line.append(head, static_cast<size_t>(std::min<int>(std::max(headLen, 0), sizeof head - 1)));
    line.append(msg, 0, bodyLen);
    line.push_back('\n');

    std::lock_guard<std::mutex> lock(g_mutex);
    writeLine(line);
    for (auto* c : g_captures)
        c->add({log_id, prio, tag, msg});
    return static_cast<int>(line.size());
}

extern "C" int __dlog_print(log_id_t log_id, int prio, const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int r = __dlog_vprint(log_id, prio, tag, fmt, ap);
    va_end(ap);
    return r;
}

extern "C" int dlog_vprint(log_priority prio, const char* tag, const char* fmt, va_list ap) {
    return __dlog_vprint(LOG_ID_APPS, prio, tag, fmt, ap);
}

extern "C" int dlog_print(log_priority prio, const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int r = __dlog_vprint(LOG_ID_APPS, prio, tag, fmt, ap);
    va_end(ap);
    return r;
}

namespace tavplat {
namespace detail {
void dlogRootChanged() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd >= 0)
        ::close(g_fd);
    g_fd = -1;
    g_fdPath.clear();
}
} // namespace detail

namespace test {

static const char kPrefixSep[] = ") > ";

std::string LogLine::body() const {
    const size_t p = text.find(kPrefixSep);
    return p == std::string::npos ? text : text.substr(p + sizeof kPrefixSep - 1);
}

std::string LogLine::file() const {
    const size_t p = text.find(kPrefixSep);
    if (p == std::string::npos)
        return "";
    const size_t colon = text.find(": ");
    return colon == std::string::npos || colon > p ? "" : text.substr(0, colon);
}

LogCapture::LogCapture() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_captures.push_back(this);
}

LogCapture::~LogCapture() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_captures.erase(std::remove(g_captures.begin(), g_captures.end(), this), g_captures.end());
}

void LogCapture::add(LogLine line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(std::move(line));
}

std::vector<LogLine> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

int LogCapture::count(log_id_t buffer, int priority, const std::string& body) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(), [&](const LogLine& l) {
        return l.buffer == buffer && l.priority == priority && l.body() == body;
    }));
}

int LogCapture::countBody(const std::string& body) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(),
                                          [&](const LogLine& l) { return l.body() == body; }));
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}

} // namespace test
} // namespace tavplat
