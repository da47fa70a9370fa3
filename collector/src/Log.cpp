#include "collector/Log.h"

#include "collector/Json.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace collector {

namespace {

std::string isoNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[40];
    const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(buf + n, sizeof buf - n, ".%03dZ", static_cast<int>(ms));
    return buf;
}

void writeAll(int fd, const std::string& data) {
    for (size_t at = 0; at < data.size();) {
        const ssize_t n = ::write(fd, data.data() + at, data.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;  // nowhere left to report it
        at += static_cast<size_t>(n);
    }
}

} // namespace

std::string JsonLog::escape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    appendJsonEscaped(out, text, false);  // readable URLs: '&' stays as it is
    return out;
}

JsonLog::JsonLog(Sink sink, size_t maxQueued) : m_sink(std::move(sink)), m_maxQueued(maxQueued) {
    if (!m_sink)
        m_sink = [](const std::string& line) { writeAll(2, line + "\n"); };
    m_thread = std::thread([this] { run(); });
}

JsonLog::~JsonLog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void JsonLog::write(const char* level, const char* event, const std::vector<Field>& fields) {
    std::string line = "{\"time\":\"" + isoNow() + "\",\"level\":\"" + escape(level) + "\",\"event\":\"" + escape(event) + "\"";
    for (const Field& f : fields) {
        line += ",\"" + escape(f.key) + "\":";
        line += f.number ? f.value : "\"" + escape(f.value) + "\"";
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queue.size() >= m_maxQueued) {
            ++m_dropped;
            return;
        }
        if (m_dropped > 0) {
            line += ",\"dropped_before\":" + std::to_string(m_dropped);
            m_dropped = 0;
        }
        m_queue.push_back(line + "}");
    }
    m_wake.notify_one();
}

void JsonLog::flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_writing; });
}

void JsonLog::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_done || !m_queue.empty(); });
        if (m_queue.empty()) {
            m_idle.notify_all();
            return;  // done, and everything written
        }
        std::deque<std::string> batch;
        batch.swap(m_queue);
        m_writing = true;
        lock.unlock();
        for (const std::string& line : batch)
            m_sink(line);
        lock.lock();
        m_writing = false;
        if (m_queue.empty())
            m_idle.notify_all();
    }
}

} // namespace collector
