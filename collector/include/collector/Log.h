// The collector's log: one JSON object per line, written by one thread, so lines of concurrent
// requests never run into each other and a slow terminal or pipe never holds a request. Every
// value is escaped: whatever bytes a client sent, a line is valid JSON and carries no control
// character a terminal would act on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace collector {

class JsonLog {
public:
    // Receives complete lines without the line feed; null writes them to stderr.
    using Sink = std::function<void(const std::string& line)>;

    struct Field {
        std::string key;
        std::string value;
        bool number = false;
    };
    static Field text(std::string key, std::string value) { return {std::move(key), std::move(value), false}; }
    static Field number(std::string key, long long value) { return {std::move(key), std::to_string(value), true}; }

    explicit JsonLog(Sink sink = {}, size_t maxQueued = 10000);
    ~JsonLog();  // writes what is queued
    JsonLog(const JsonLog&) = delete;
    JsonLog& operator=(const JsonLog&) = delete;

    // {"time":"...Z","level":level,"event":event, fields...}. Lines past maxQueued waiting are
    // dropped and counted in the next line written.
    void write(const char* level, const char* event, const std::vector<Field>& fields = {});
    // Returns once every line queued so far has reached the sink.
    void flush();

    // The inside of a JSON string (appendJsonEscaped without the HTML escapes): whatever the
    // bytes, the line stays one valid JSON line and carries nothing a terminal would act on.
    static std::string escape(const std::string& text);

private:
    void run();

    Sink m_sink;
    size_t m_maxQueued;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::string> m_queue;
    size_t m_dropped = 0;
    bool m_writing = false;
    bool m_done = false;
    std::thread m_thread;
};

} // namespace collector
