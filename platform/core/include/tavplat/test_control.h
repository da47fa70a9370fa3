// Test-only control of the platform stand-ins: capture log lines in-process, make a call or key
// fail, return null or be slow, and start from a fresh platform root.
#pragma once

#include <dlog.h>

#include <mutex>
#include <string>
#include <vector>

#include "tavplat/platform.h"

namespace tavplat::test {

struct LogLine {
    log_id_t buffer;
    int priority;
    std::string tag;
    std::string text;   // the whole formatted message, prefix included
    // The message after the "file: function(line) > " prefix (the whole text if there is none).
    std::string body() const;
    // The "file: function(line) > " prefix's file part ("" if there is none).
    std::string file() const;
};

// Records every dlog line while it lives (several may be alive at once).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> lines() const;
    // Number of lines whose body equals `body` exactly, in the given buffer and priority.
    int count(log_id_t buffer, int priority, const std::string& body) const;
    bool has(log_id_t buffer, int priority, const std::string& body) const {
        return count(buffer, priority, body) > 0;
    }
    // Number of lines whose body equals `body`, in any buffer and priority.
    int countBody(const std::string& body) const;
    void clear();

    void add(LogLine line);   // called by the log service

private:
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};

// Waits until every log line of this process is in its log file.
void flushLog();

// Faults by name: a settings key ("db/comss/hwduid"), a profile key ("info/128",
// "custom/com.kestova/..."), or a stand-in call name ("qorv_get_snr", ...).
void setFault(const std::string& name, FaultMode mode, int delayMs = 0);
void clearFaults();

// Points the platform at a fresh, seeded (or empty) root folder; used between tests.
void useRoot(const std::string& dir, bool seed = true);

} // namespace tavplat::test
