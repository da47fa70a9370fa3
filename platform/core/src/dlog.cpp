#include <dlog.h>

#include "tavplat/platform.h"
#include "tavplat/test_control.h"
#include "internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <utility>
#include <vector>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::vector<tavplat::test::LogCapture*> g_captures;

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

// The log's two settings, read afresh for every line (tests change them while running), in one
// pass over the environment; as with getenv, the first entry of a name counts.
struct LogSettings {
    const char* file = nullptr;       // TAV_DLOG_FILE, null when unset
    const char* toStderr = nullptr;   // TAV_DLOG_STDERR, null when unset
};

LogSettings logSettings() {
    static const char kFile[] = "TAV_DLOG_FILE=";
    static const char kStderr[] = "TAV_DLOG_STDERR=";
    LogSettings out;
    for (char** entry = environ; entry && *entry && !(out.file && out.toStderr); ++entry) {
        const char* e = *entry;
        if (e[0] != 'T' || e[1] != 'A' || e[2] != 'V' || e[3] != '_')
            continue;   // most entries end here, without a call
        if (!out.file && std::strncmp(*entry, kFile, sizeof kFile - 1) == 0)
            out.file = *entry + sizeof kFile - 1;
        else if (!out.toStderr && std::strncmp(*entry, kStderr, sizeof kStderr - 1) == 0)
            out.toStderr = *entry + sizeof kStderr - 1;
    }
    return out;
}

// The log file is written by a writer thread, as the platform's log daemon does: a caller only
// queues its line. Lines leave in batches of whole lines, one write(2) per batch on an O_APPEND
// descriptor, so lines of several processes stay whole. Queued lines are written at exit (and by
// flush); a process that crashes loses what it had queued.
struct FileSink {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    // (file, its lines): consecutive lines for one file share an entry, so that queueing a line
    // allocates nothing once the text has grown.
    std::vector<std::pair<std::string, std::string>> pending;
    size_t pendingLines = 0;
    bool threadRunning = false;
    bool writing = false;
    bool flushWanted = false;
    std::mutex fdMutex;   // guards fd and fdPath
    int fd = -1;
    std::string fdPath;
};

constexpr size_t kBatchLines = 256;

FileSink& sink() {
    static FileSink* s = new FileSink;   // used by the writer thread until the process ends
    return *s;
}

void writeBatch(const std::vector<std::pair<std::string, std::string>>& batch) {
    FileSink& s = sink();
    std::lock_guard<std::mutex> lock(s.fdMutex);
    for (size_t i = 0; i < batch.size();) {
        const std::string& path = batch[i].first;
        std::string text;
        for (; i < batch.size() && batch[i].first == path; ++i)
            text += batch[i].second;
        if (s.fd < 0 || path != s.fdPath) {
            if (s.fd >= 0)
                ::close(s.fd);
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos)
                tavplat::makeDirs(path.substr(0, slash));
            s.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            s.fdPath = path;
        }
        if (s.fd >= 0 && ::write(s.fd, text.data(), text.size()) < 0) {
            // The log has nowhere else to report to.
        }
    }
}

void writerLoop() {
    FileSink& s = sink();
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        // Wakes for a flush or a full queue, else every 20 ms: a caller never pays a wake-up.
        s.wake.wait_for(lock, std::chrono::milliseconds(20),
                        [&] { return s.flushWanted || s.pendingLines >= kBatchLines; });
        s.flushWanted = false;
        if (s.pending.empty())
            continue;
        std::vector<std::pair<std::string, std::string>> batch;
        batch.swap(s.pending);
        s.pendingLines = 0;
        s.writing = true;
        lock.unlock();
        writeBatch(batch);
        lock.lock();
        s.writing = false;
        s.idle.notify_all();
    }
}

// Waits until every queued line is in its file.
void flushFile() {
    FileSink& s = sink();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.threadRunning) {
        std::vector<std::pair<std::string, std::string>> batch;
        batch.swap(s.pending);
        s.pendingLines = 0;
        lock.unlock();
        writeBatch(batch);
        return;
    }
    s.flushWanted = true;
    s.wake.notify_one();
    s.idle.wait(lock, [&] { return s.pending.empty() && !s.writing; });
}

// The process id is read once per process, not once per line.
std::atomic<pid_t> g_pid{0};

void forkPrepare() { sink().mutex.lock(); }
void forkParent() { sink().mutex.unlock(); }
// The child has no writer thread: its lines are written at its exit or flush.
void forkChild() {
    FileSink& s = sink();
    s.threadRunning = false;
    s.writing = false;
    g_pid = 0;
    s.mutex.unlock();
}

void queueLine(const char* path, const std::string& line) {
    FileSink& s = sink();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.pending.empty() || s.pending.back().first != path)
        s.pending.emplace_back(path, std::string());
    s.pending.back().second += line;
    ++s.pendingLines;
    if (!s.threadRunning) {
        static std::once_flag once;
        std::call_once(once, [] {
            std::atexit(flushFile);
            pthread_atfork(forkPrepare, forkParent, forkChild);
        });
        s.threadRunning = true;
        std::thread(writerLoop).detach();
    }
    if (s.pendingLines == kBatchLines)
        s.wake.notify_one();
}

pid_t processId() {
    pid_t pid = g_pid.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = getpid();
        g_pid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// Called with g_mutex held, so lines keep their order.
void writeLine(const std::string& line) {
    // A line for /dev/null is dropped here instead of going through the writer thread: a caller
    // that logs heavily on purpose (a fuzz run) then pays no queueing, and allocates nothing that
    // outlives the call.
    const LogSettings settings = logSettings();
    if (settings.file && *settings.file) {
        if (std::strcmp(settings.file, "/dev/null") != 0)
            queueLine(settings.file, line);
    } else {
        queueLine(tavplat::rootPath("dlog.log").c_str(), line);
    }
    const bool toStderr = !(settings.toStderr && std::strcmp(settings.toStderr, "0") == 0);
    if (toStderr && ::write(STDERR_FILENO, line.data(), line.size()) < 0) {
    }
}

constexpr size_t kKeptLineCapacity = 64 * 1024;

// Writes `fmt` with its arguments into `out` when it uses only %s, %d, %i, %u, %c and %%, each
// with an optional l, ll or z and without flags, width or precision, and the text fits; returns
// its length, else -1 (the caller then formats with vsnprintf from a copy of the arguments). The
// HTTP client writes several such lines per request, and vsnprintf's set-up alone costs more
// than writing them.
int formatPlain(char* out, size_t size, const char* fmt, va_list ap) {
    size_t n = 0;
    auto put = [&](const char* text, size_t len) {
        if (n + len >= size)
            return false;
        std::memcpy(out + n, text, len);
        n += len;
        return true;
    };
    auto putNumber = [&](unsigned long long magnitude, bool negative) {
        char digits[24];
        size_t i = sizeof digits;
        do {
            digits[--i] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude > 0);
        if (negative)
            digits[--i] = '-';
        return put(digits + i, sizeof digits - i);
    };
    for (const char* p = fmt;;) {
        const char* percent = std::strchr(p, '%');
        if (!put(p, percent ? static_cast<size_t>(percent - p) : std::strlen(p)))
            return -1;
        if (!percent)
            break;
        p = percent + 1;
        int longs = 0;
        bool sizeT = false;
        if (*p == 'l') {
            longs = p[1] == 'l' ? 2 : 1;
            p += longs;
        } else if (*p == 'z') {
            sizeT = true;
            ++p;
        }
        const bool plainLength = longs == 0 && !sizeT;
        bool ok;
        switch (*p) {
        case '%':
            ok = plainLength && put("%", 1);
            break;
        case 's': {
            const char* text = plainLength ? va_arg(ap, const char*) : nullptr;
            ok = plainLength && (text ? put(text, std::strlen(text)) : put("(null)", 6));
            break;
        }
        case 'c': {
            const char c = plainLength ? static_cast<char>(va_arg(ap, int)) : '\0';
            ok = plainLength && put(&c, 1);
            break;
        }
        case 'd':
        case 'i': {
            const long long v = longs == 2 ? va_arg(ap, long long)
                                : longs == 1 ? va_arg(ap, long)
                                : sizeT     ? static_cast<long long>(va_arg(ap, ssize_t))
                                            : va_arg(ap, int);
            ok = putNumber(v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v), v < 0);
            break;
        }
        case 'u': {
            const unsigned long long v = longs == 2 ? va_arg(ap, unsigned long long)
                                         : longs == 1 ? va_arg(ap, unsigned long)
                                         : sizeT     ? va_arg(ap, size_t)
                                                     : va_arg(ap, unsigned);
            ok = putNumber(v, false);
            break;
        }
        default:
            ok = false;
        }
        if (!ok)
            return -1;
        ++p;
    }
    out[n] = '\0';
    return static_cast<int>(n);
}

void appendDigits(std::string& out, long value, int width, char pad) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && n < static_cast<int>(sizeof digits));
    for (int i = n; i < width; ++i)
        out.push_back(pad);
    while (n > 0)
        out.push_back(digits[--n]);
}

// "MM-DD hh:mm:ss.mmm <buffer> <P>/<TAG>(<pid>): ", built by hand: a client logs several lines
// for each request, and a general formatter with ten conversions cost more than the rest of the
// line. The date and time change once a second, so each thread converts the clock only then.
void appendHead(std::string& line, log_id_t id, int prio, const char* tag) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    thread_local time_t stampSecond = -1;
    thread_local char stamp[24];   // "MM-DD hh:mm:ss"
    if (tv.tv_sec != stampSecond) {
        struct tm tm;
        localtime_r(&tv.tv_sec, &tm);
        std::snprintf(stamp, sizeof stamp, "%02d-%02d %02d:%02d:%02d", (tm.tm_mon + 1) % 100, tm.tm_mday % 100,
                      tm.tm_hour % 100, tm.tm_min % 100, tm.tm_sec % 100);
        stampSecond = tv.tv_sec;
    }
    line.append(stamp);
    line.push_back('.');
    appendDigits(line, static_cast<long>(tv.tv_usec / 1000), 3, '0');
    line.push_back(' ');
    const size_t nameStart = line.size();
    line.append(bufferName(id));
    while (line.size() < nameStart + 6)
        line.push_back(' ');
    line.push_back(' ');
    line.push_back(priorityLetter(prio));
    line.push_back('/');
    line.append(tag);
    line.push_back('(');
    appendDigits(line, static_cast<long>(processId()), 5, ' ');
    line.append("): ");
}

} // namespace

extern "C" int __dlog_vprint(log_id_t log_id, int prio, const char* tag, const char* fmt, va_list ap) {
    if (!tag || !fmt || log_id <= LOG_ID_INVALID || log_id >= LOG_ID_MAX)
        return DLOG_ERROR_INVALID_PARAMETER;
    // One formatting pass for the usual short line; a second one only for long lines.
    char local[1024];
    va_list forPrintf, forLongLine;
    va_copy(forPrintf, ap);
    va_copy(forLongLine, ap);
    int len = formatPlain(local, sizeof local, fmt, ap);
    if (len < 0)
        len = std::vsnprintf(local, sizeof local, fmt, forPrintf);
    std::string longMessage;
    const char* message = local;
    size_t messageLen = 0;
    if (len > 0 && static_cast<size_t>(len) < sizeof local) {
        messageLen = static_cast<size_t>(len);
    } else if (len > 0) {
        longMessage.assign(static_cast<size_t>(len), '\0');
        std::vsnprintf(longMessage.data(), longMessage.size() + 1, fmt, forLongLine);
        message = longMessage.data();
        messageLen = longMessage.size();
    }
    va_end(forPrintf);
    va_end(forLongLine);

    size_t bodyLen = messageLen;
    while (bodyLen > 0 && message[bodyLen - 1] == '\n')
        --bodyLen;
    // Each thread reuses its line's memory: a line costs no allocation of its own.
    thread_local std::string line;
    line.clear();
    appendHead(line, log_id, prio, tag);
    // One call is one line: a line break inside the message (a value from outside, say) must not
    // start what reads as a log line of its own, so it is written escaped.
    const char* const end = message + bodyLen;
    for (const char* p = message; p < end;) {
        const char* brk = p;
        while (brk < end && *brk != '\n' && *brk != '\r')
            ++brk;
        line.append(p, static_cast<size_t>(brk - p));
        if (brk == end)
            break;
        line.append(*brk == '\n' ? "\\n" : "\\r");
        p = brk + 1;
    }
    line.push_back('\n');

    const int written = static_cast<int>(line.size());
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        writeLine(line);
        for (auto* c : g_captures)
            c->add({log_id, prio, tag, std::string(message, messageLen)});
    }
    if (line.capacity() > kKeptLineCapacity)
        std::string().swap(line);   // a rare long line does not stay with the thread
    return written;
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
    flushFile();
    FileSink& s = sink();
    std::lock_guard<std::mutex> lock(s.fdMutex);
    if (s.fd >= 0)
        ::close(s.fd);
    s.fd = -1;
    s.fdPath.clear();
}
} // namespace detail

namespace test {

void flushLog() { flushFile(); }

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
