// The collector's database behind one interface, with two backends chosen by the --db text:
//   "sqlite:PATH" or a bare PATH   an embedded SQLite file in WAL mode (the default);
//   "postgresql://..." ("postgres://...")   a PostgreSQL server, given as a libpq URI, which
//                                  several collector processes can share.
// Both hold the same tables (see Migrations.h), migrated to the newest version when opened. A
// write is answered only once its commit is durable (SQLite synchronous=FULL, PostgreSQL
// synchronous_commit=on). A Store is safe to share between threads.
#pragma once

#include "collector/Upload.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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

enum class eDialect { SQLite, PostgreSQL };

// The current time in the stored form (UTC, "YYYY-MM-DD hh:mm:ss"); text sorts by time.
std::string utcNow();

// A statement parameter. Statements given to SqlSession/Store mark parameters with '?' on both
// backends (PostgreSQL's are renumbered to $1, $2, ...; a '?' inside a quoted literal or
// identifier is left alone, so do not use PostgreSQL's '?' operators through this seam).
using SqlValue = std::variant<std::nullptr_t, int64_t, std::string>;
using SqlParams = std::vector<SqlValue>;

// Rows of a query, every value as text as the backend prints it (integers in decimal, NULL as
// nullopt). Booleans differ (1/0 against t/f): select a CASE or an integer to stay portable.
struct QueryResult {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;

    bool empty() const { return rows.empty(); }
    // The value at (row, col); "" for NULL. Throws std::out_of_range outside the result.
    const std::string& text(size_t row, size_t col) const;
    // The value as a whole number; throws std::runtime_error when it is not one (or is NULL).
    int64_t integer(size_t row, size_t col) const;
};

// One row handed to a visitor: every value as text (NULL as an empty view), valid only during
// the call. For results too large to copy into a QueryResult.
using SqlRow = std::vector<std::string_view>;
using RowVisitor = std::function<void(const SqlRow& row)>;

// The statements of one connection; inside Store::transaction all of them are one transaction.
class SqlSession {
public:
    virtual ~SqlSession() = default;
    virtual eDialect dialect() const = 0;
    virtual QueryResult query(const std::string& sql, const SqlParams& params = {}) = 0;
    virtual void scan(const std::string& sql, const SqlParams& params, const RowVisitor& visit) = 0;
    // A statement that returns no rows; gives the number of rows it changed.
    virtual int64_t execute(const std::string& sql, const SqlParams& params = {}) = 0;
    // Several ';'-separated statements without parameters (schema changes).
    virtual void script(const std::string& sql) = 0;
};

// How Store::insert groups uploads that arrive together into one transaction, so that they share
// one durable commit (one fsync) instead of each paying for its own.
struct GroupCommitLimits {
    size_t maxBatch = 64;  // uploads in one transaction at most
    // How long the first upload of a batch waits for more. 0: none; a batch is then what arrived
    // while the commit before it was being made durable, so an upload alone is never held.
    std::chrono::microseconds maxWait{0};
    // Batches committed at the same time; 0: the backend's choice, 1 for SQLite's single writer
    // and 4 for PostgreSQL, where a batch mostly waits on round trips to the server and the
    // server flushes concurrent commits together itself.
    size_t concurrent = 0;
};

class Store {
public:
    enum class eOpenMode { Create, Existing };

    virtual ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    virtual eDialect dialect() const = 0;
    // What the database is, for messages; a PostgreSQL password is left out.
    virtual std::string describe() const = 0;

    // One statement in a transaction of its own.
    virtual QueryResult query(const std::string& sql, const SqlParams& params = {}) const = 0;
    // The rows one by one, without copying them (the dashboard's 100,000s of facts).
    virtual void scan(const std::string& sql, const SqlParams& params, const RowVisitor& visit) const = 0;
    virtual int64_t execute(const std::string& sql, const SqlParams& params = {}) = 0;
    // Runs `work` in one transaction on one connection: committed (durably) when it returns,
    // rolled back when it throws, and the exception goes on. Do not call the Store's own
    // methods from inside `work`; use the session it is given.
    virtual void transaction(const std::function<void(SqlSession&)>& work) = 0;

    struct InsertResult {
        int64_t id = 0;
        bool duplicate = false;  // the same file of the same session and device was stored before
    };
    // Stores the upload and its answers: all of it or nothing, and durably committed when it
    // returns. Uploads from several threads at once are committed together (GroupCommitLimits);
    // one whose statements fail is taken out of the group and tried alone, so it cannot take the
    // others down with it. A second delivery of the same file (a client retry after a lost
    // reply, also one racing the first on another collector process or in the same group) is
    // not stored again and gives the id of the first. Throws std::runtime_error when this
    // upload could not be stored.
    InsertResult insert(const UploadRecord& record);
    void setGroupCommit(const GroupCommitLimits& limits);
    // The same inside a transaction the caller holds (several uploads in one commit).
    static InsertResult insertIn(SqlSession& session, const UploadRecord& record);

    std::vector<StoredSurvey> surveys() const;
    AnswerCounts answerCounts() const;
    // The newest migration applied to the database.
    int schemaVersion() const;

protected:
    Store();

private:
    struct Batcher;
    struct Pending;
    void commitBatch(std::vector<Pending*> batch);
    void commitAlone(Pending& upload);

    std::unique_ptr<Batcher> m_batcher;
};

// Opens (and migrates) the database that `db` names: "sqlite:PATH", a bare PATH, or a
// "postgresql://"/"postgres://" URI. Existing refuses a missing SQLite file instead of creating
// it. Throws std::runtime_error with the backend's message.
std::unique_ptr<Store> openStore(const std::string& db, Store::eOpenMode mode = Store::eOpenMode::Create);

} // namespace collector
