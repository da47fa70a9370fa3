// The collector's database: one SQLite file in WAL mode, one row per accepted upload and one
// row per answered question. Safe to share between the server's request threads.
#pragma once

#include "collector/Upload.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

namespace collector {

// Everything kept of one accepted upload.
struct UploadRecord {
    std::string receivedAt;  // UTC, "YYYY-MM-DD hh:mm:ss"
    std::string remoteAddr;
    std::string sessionId;
    std::string pinCode;
    std::string duid;  // the "duid" header; equal to the envelope's DUID
    std::string category;
    std::string source;
    std::string purchaseDate;  // the "Date" header: the television's date of purchase
    std::string productYear;   // the "Year" header
    std::string fileName;      // name of the multipart file part
    uint64_t fileSize = 0;
    uint32_t crc32 = 0;
    std::string envelopeXml;  // inflated envelope, byte for byte
    Envelope envelope;
};

// One stored survey as the report lists it.
struct StoredSurvey {
    int64_t id = 0;
    std::string receivedAt;
    std::string sessionId;
    std::string pinCode;
    std::string duid;
    std::string modelName;
    std::string country;
    std::array<int, kQuestionCount> selected{};  // 0 = question not in the upload
};

// Counts[q][a]: how many stored surveys chose answer a + 1 of question q + 1.
using AnswerCounts = std::array<std::array<int, kMaxAnswers>, kQuestionCount>;

class Store {
public:
    enum class eOpenMode { Create, Existing };

    // Create makes the file and its tables when missing; Existing fails on a missing file.
    // Throws std::runtime_error with SQLite's message.
    explicit Store(const std::string& path, eOpenMode mode = eOpenMode::Create);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    struct InsertResult {
        int64_t id = 0;
        bool duplicate = false;  // the same file of the same session and device was stored before
    };
    // Stores the upload and its answers in one transaction: all of it or nothing. A second
    // delivery of the same file (a client retry after a lost reply) is not stored again and
    // gives the id of the first. Throws std::runtime_error after rolling back.
    InsertResult insert(const UploadRecord& record);

    std::vector<StoredSurvey> surveys() const;
    AnswerCounts answerCounts() const;
    std::string journalMode() const;

private:
    void exec(const char* sql) const;

    sqlite3* m_db = nullptr;
    mutable std::mutex m_mutex;
};

} // namespace collector
