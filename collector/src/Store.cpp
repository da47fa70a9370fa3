#include "collector/Store.h"

#include <sqlite3.h>

#include <stdexcept>

namespace collector {

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS uploads(
  id               INTEGER PRIMARY KEY,
  received_at      TEXT    NOT NULL,
  remote_addr      TEXT    NOT NULL,
  session_id       TEXT    NOT NULL,
  pincode          TEXT    NOT NULL,
  duid             TEXT    NOT NULL,
  category         TEXT    NOT NULL,
  source           TEXT    NOT NULL,
  purchase_date    TEXT    NOT NULL,
  product_year     TEXT    NOT NULL,
  local_set        TEXT    NOT NULL,
  country          TEXT    NOT NULL,
  model_name       TEXT    NOT NULL,
  firmware_version TEXT    NOT NULL,
  file_name        TEXT    NOT NULL,
  file_size        INTEGER NOT NULL,
  crc32            INTEGER NOT NULL,
  envelope         TEXT    NOT NULL,
  UNIQUE(session_id, duid, crc32)
);
CREATE TABLE IF NOT EXISTS answers(
  upload_id     INTEGER NOT NULL REFERENCES uploads(id) ON DELETE CASCADE,
  question      INTEGER NOT NULL CHECK(question BETWEEN 1 AND 5),
  selected      INTEGER NOT NULL CHECK(selected BETWEEN 1 AND 10),
  question_text TEXT    NOT NULL,
  answer_text   TEXT    NOT NULL,
  PRIMARY KEY(upload_id, question)
);
PRAGMA user_version = 1;
)sql";

// A prepared statement that finalises itself; binds are 1-based like SQLite's.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            fail("prepare");
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, const std::string& text) {
        check(sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int i, int64_t value) {
        check(sqlite3_bind_int64(m_stmt, i, value));
        return *this;
    }
    // True while a row is available.
    bool step() {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail("step");
        return false;
    }
    std::string text(int col) const {
        const unsigned char* t = sqlite3_column_text(m_stmt, col);
        return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(m_stmt, col)))
                 : std::string();
    }
    int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    void check(int rc) {
        if (rc != SQLITE_OK)
            fail("bind");
    }
    [[noreturn]] void fail(const char* what) {
        throw std::runtime_error(std::string("sqlite ") + what + ": " + sqlite3_errmsg(m_db));
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace

Store::Store(const std::string& path, eOpenMode mode) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX |
                      (mode == eOpenMode::Create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        throw std::runtime_error("cannot open database " + path + ": " + message);
    }
    try {
        // A report may read while the server writes; both wait for each other briefly.
        sqlite3_busy_timeout(m_db, 5000);
        exec("PRAGMA foreign_keys = ON");
        if (mode == eOpenMode::Create) {
            exec("PRAGMA journal_mode = WAL");
            exec("PRAGMA synchronous = NORMAL");
            exec(kSchema);
        }
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

Store::~Store() {
    sqlite3_close(m_db);
}

void Store::exec(const char* sql) const {
    char* err = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string message = err ? err : sqlite3_errmsg(m_db);
        sqlite3_free(err);
        throw std::runtime_error("sqlite: " + message);
    }
}

Store::InsertResult Store::insert(const UploadRecord& r) {
    std::lock_guard<std::mutex> lock(m_mutex);
    exec("BEGIN IMMEDIATE");
    try {
        InsertResult result;
        Statement up(m_db,
                     "INSERT INTO uploads(received_at, remote_addr, session_id, pincode, duid, category,"
                     " source, purchase_date, product_year, local_set, country, model_name,"
                     " firmware_version, file_name, file_size, crc32, envelope)"
                     " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
                     " ON CONFLICT(session_id, duid, crc32) DO NOTHING");
        const DeviceBlock& d = r.envelope.device;
        up.bind(1, r.receivedAt).bind(2, r.remoteAddr).bind(3, r.sessionId).bind(4, r.pinCode);
        up.bind(5, r.duid).bind(6, r.category).bind(7, r.source).bind(8, r.purchaseDate);
        up.bind(9, r.productYear).bind(10, d.localSet).bind(11, d.country).bind(12, d.modelName);
        up.bind(13, d.firmwareVersion).bind(14, r.fileName).bind(15, static_cast<int64_t>(r.fileSize));
        up.bind(16, static_cast<int64_t>(r.crc32)).bind(17, r.envelopeXml);
        up.step();
        if (sqlite3_changes(m_db) == 0) {
            Statement first(m_db, "SELECT id FROM uploads WHERE session_id = ? AND duid = ? AND crc32 = ?");
            first.bind(1, r.sessionId).bind(2, r.duid).bind(3, static_cast<int64_t>(r.crc32));
            if (!first.step())
                throw std::runtime_error("duplicate upload vanished");
            result.id = first.integer(0);
            result.duplicate = true;
        } else {
            result.id = sqlite3_last_insert_rowid(m_db);
            Statement ans(m_db,
                          "INSERT INTO answers(upload_id, question, selected, question_text, answer_text)"
                          " VALUES(?,?,?,?,?)");
            for (const SurveyItem& item : r.envelope.items) {
                ans.reset();
                ans.bind(1, result.id).bind(2, int64_t{item.index}).bind(3, int64_t{item.selected});
                ans.bind(4, item.question).bind(5, item.answer);
                ans.step();
            }
        }
        exec("COMMIT");
        return result;
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<StoredSurvey> Store::surveys() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<StoredSurvey> out;
    Statement q(m_db, "SELECT id, received_at, session_id, pincode, duid, model_name, country"
                      " FROM uploads ORDER BY id");
    while (q.step()) {
        StoredSurvey s;
        s.id = q.integer(0);
        s.receivedAt = q.text(1);
        s.sessionId = q.text(2);
        s.pinCode = q.text(3);
        s.duid = q.text(4);
        s.modelName = q.text(5);
        s.country = q.text(6);
        out.push_back(std::move(s));
    }
    Statement a(m_db, "SELECT upload_id, question, selected FROM answers ORDER BY upload_id");
    size_t at = 0;
    while (a.step()) {
        const int64_t id = a.integer(0);
        while (at < out.size() && out[at].id < id)
            ++at;
        const int64_t question = a.integer(1);
        if (at < out.size() && out[at].id == id && question >= 1 && question <= kQuestionCount)
            out[at].selected[static_cast<size_t>(question - 1)] = static_cast<int>(a.integer(2));
    }
    return out;
}

AnswerCounts Store::answerCounts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    AnswerCounts counts{};
    Statement q(m_db, "SELECT question, selected, COUNT(*) FROM answers GROUP BY question, selected");
    while (q.step()) {
        const int64_t question = q.integer(0);
        const int64_t selected = q.integer(1);
        if (question >= 1 && question <= kQuestionCount && selected >= 1 && selected <= kMaxAnswers)
            counts[static_cast<size_t>(question - 1)][static_cast<size_t>(selected - 1)] =
                static_cast<int>(q.integer(2));
    }
    return counts;
}

std::string Store::journalMode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement q(m_db, "PRAGMA journal_mode");
    return q.step() ? q.text(0) : std::string();
}

} // namespace collector
