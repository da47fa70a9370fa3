#include "collector/Store.h"

#include "collector/DashboardStore.h"

#include "StoreBackends.h"
#include "collector/Migrations.h"
#include "collector/Text.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <tuple>

namespace collector {

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// PostgreSQL keeps only valid UTF-8 without NUL in TEXT; SQLite would keep anything. Holding
// both to the same rule keeps the backends interchangeable, and a refusal (400) stops a client
// from retrying what could never be stored.
bool storableText(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        uint32_t cp = 0;
        const size_t len = utf8At(s, i, cp);
        if (len == 0 || cp == 0)
            return false;
        i += len;
    }
    return true;
}

void requireStorable(const UploadRecord& r) {
    for (const std::string* h : {&r.sessionId, &r.pinCode, &r.duid, &r.category, &r.source, &r.purchaseDate,
                                 &r.productYear, &r.fileName, &r.remoteAddr})
        if (!storableText(*h))
            throw UploadError("badheader", 400, "a header value or the file name is not UTF-8 text");
    const DeviceBlock& d = r.envelope.device;
    bool ok = storableText(r.envelopeXml);
    for (const std::string* v : {&d.localSet, &d.country, &d.modelName, &d.firmwareVersion})
        ok = ok && storableText(*v);
    for (const SurveyItem& item : r.envelope.items)
        ok = ok && storableText(item.question) && storableText(item.answer);
    if (!ok)
        throw UploadError("baddata", 400, "the envelope is not UTF-8 text");
}

} // namespace

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

const std::string& QueryResult::text(size_t row, size_t col) const {
    static const std::string null;
    const std::optional<std::string>& v = rows.at(row).at(col);
    return v ? *v : null;
}

int64_t QueryResult::integer(size_t row, size_t col) const {
    const std::optional<std::string>& v = rows.at(row).at(col);
    if (!v || v->empty())
        throw std::runtime_error("column " + std::to_string(col) + " is not a number");
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(v->c_str(), &end, 10);
    if (*end != '\0' || errno != 0)
        throw std::runtime_error("column " + std::to_string(col) + " is not a whole number: " + *v);
    return n;
}

struct Store::Pending {
    const UploadRecord* record;
    InsertResult result;
    std::exception_ptr error;
    bool done = false;
};

struct Store::Batcher {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Pending*> queue;
    size_t committing = 0;  // batches under way; at most limits.concurrent, the next gathers meanwhile
    bool gathering = false;  // a batch waits for more (maxWait): the others join it
    GroupCommitLimits limits;
};

Store::Store() : m_batcher(std::make_unique<Batcher>()) {}

Store::~Store() = default;

void Store::setGroupCommit(const GroupCommitLimits& limits) {
    std::lock_guard<std::mutex> lock(m_batcher->mutex);
    m_batcher->limits = limits;
    m_batcher->limits.maxBatch = std::max<size_t>(1, limits.maxBatch);
}

Store::InsertResult Store::insert(const UploadRecord& r) {
    requireStorable(r);
    Batcher& b = *m_batcher;
    Pending mine{&r, {}, nullptr, false};
    const size_t backendLanes = dialect() == eDialect::PostgreSQL ? 4 : 1;
    std::unique_lock<std::mutex> lock(b.mutex);
    b.queue.push_back(&mine);
    // Only a gathering batch waits for arrivals; the others wake when a batch ends, and waking
    // every waiting upload on every arrival costs more CPU than the commit saves.
    if (b.gathering)
        b.changed.notify_all();
    // No thread of its own: whoever finds a lane free commits for everyone queued so far.
    while (!mine.done) {
        if (b.gathering || b.queue.empty() ||
            b.committing >= (b.limits.concurrent ? b.limits.concurrent : backendLanes)) {
            b.changed.wait(lock);
            continue;
        }
        ++b.committing;
        const GroupCommitLimits limits = b.limits;
        if (limits.maxWait.count() > 0) {
            b.gathering = true;
            b.changed.wait_for(lock, limits.maxWait, [&] { return b.queue.size() >= limits.maxBatch; });
            b.gathering = false;
        }
        const auto end = b.queue.begin() + static_cast<std::ptrdiff_t>(std::min(b.queue.size(), limits.maxBatch));
        std::vector<Pending*> batch(b.queue.begin(), end);
        b.queue.erase(b.queue.begin(), end);
        if (!b.queue.empty())
            b.changed.notify_all();  // the rest may start on another lane
        lock.unlock();
        commitBatch(batch);
        lock.lock();
        for (Pending* p : batch)
            p->done = true;
        --b.committing;
        b.changed.notify_all();
    }
    if (mine.error)
        std::rethrow_exception(mine.error);
    return mine.result;
}

void Store::commitAlone(Pending& p) {
    try {
        transaction([&](SqlSession& s) { p.result = insertIn(s, *p.record); });
    } catch (...) {
        p.error = std::current_exception();
    }
}

void Store::commitBatch(std::vector<Pending*> batch) {
    // Every process orders its batches alike, so two batches holding the same uploads take
    // their locks in the same order instead of deadlocking.
    std::sort(batch.begin(), batch.end(), [](const Pending* a, const Pending* b) {
        return std::tie(a->record->sessionId, a->record->duid, a->record->crc32) <
               std::tie(b->record->sessionId, b->record->duid, b->record->crc32);
    });
    while (batch.size() > 1) {
        size_t failed = batch.size();  // stays so when BEGIN or COMMIT fails
        try {
            transaction([&](SqlSession& s) {
                for (size_t i = 0; i < batch.size(); ++i) {
                    failed = i;
                    batch[i]->result = insertIn(s, *batch[i]->record);
                }
                failed = batch.size();
            });
            return;
        } catch (...) {
        }
        if (failed == batch.size()) {
            // Nothing says whose fault it was (a full disk, a lost connection): each upload gets
            // its own verdict. One whose commit did happen is found stored as a repeat.
            for (Pending* p : batch)
                commitAlone(*p);
            return;
        }
        // Alone, its own transaction gives its verdict; a deadlock with another process, not
        // the upload's fault, passes there.
        commitAlone(*batch[failed]);
        batch.erase(batch.begin() + static_cast<std::ptrdiff_t>(failed));
    }
    if (!batch.empty())
        commitAlone(*batch.front());
}

namespace {

const char* const kUploadColumns =
    "INSERT INTO uploads(received_at, remote_addr, session_id, pincode, duid, category,"
    " source, purchase_date, product_year, local_set, country, model_name,"
    " firmware_version, file_name, file_size, crc32, envelope)"
    " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
    " ON CONFLICT(session_id, duid, crc32) DO NOTHING RETURNING id";

SqlParams uploadValues(const UploadRecord& r) {
    const DeviceBlock& d = r.envelope.device;
    return {r.receivedAt, r.remoteAddr, r.sessionId, r.pinCode, r.duid, r.category, r.source, r.purchaseDate,
            r.productYear, d.localSet, d.country, d.modelName, d.firmwareVersion, r.fileName,
            static_cast<int64_t>(r.fileSize), static_cast<int64_t>(r.crc32), r.envelopeXml};
}

// PostgreSQL: the upload, its answers and its facts row in one statement, as each statement is a
// round trip to the server and a group of uploads waits for all of them. Gives the new id, or
// nothing for a repeat. The facts row is left out when its device is new (`factWritten` false).
std::optional<int64_t> insertUploadStatement(SqlSession& s, const UploadRecord& r, bool& factWritten) {
    std::string sql = std::string("WITH up AS (") + kUploadColumns + ")";
    SqlParams params = uploadValues(r);
    if (!r.envelope.items.empty()) {
        sql += ", ans AS (INSERT INTO answers(upload_id, question, selected, question_text, answer_text)"
               " SELECT up.id, a.q, a.s, a.qt, a.at FROM up, (VALUES";
        for (const SurveyItem& item : r.envelope.items) {
            sql += params.size() == 17 ? " (?::int, ?::int, ?, ?)" : ", (?::int, ?::int, ?, ?)";
            params.insert(params.end(), {int64_t{item.index}, int64_t{item.selected}, item.question, item.answer});
        }
        sql += ") AS a(q, s, qt, at))";
    }
    const SurveyFact f = factOf(r.envelope, r.receivedAt);
    sql += ", dev AS (SELECT id FROM survey_devices WHERE country = ? AND model_name = ? AND"
           " firmware_version = ? AND menu_language = ?)"
           ", fact AS (INSERT INTO survey_facts(upload_id, received_at, day, device_id, country, model_name,"
           " firmware_version, menu_language, q1, q2, q3, q4, q5)"
           " SELECT up.id, ?, ?, dev.id, ?, ?, ?, ?, ?, ?, ?, ?, ? FROM up, dev RETURNING upload_id)"
           " SELECT id, (SELECT COUNT(*) FROM fact) FROM up";
    params.insert(params.end(), {f.country, f.model, f.firmware, f.language, f.receivedAt, factDay(f.receivedAt),
                                 f.country, f.model, f.firmware, f.language});
    for (const int selected : f.selected)
        params.emplace_back(int64_t{selected});
    const QueryResult up = s.query(sql, params);
    if (up.empty())
        return std::nullopt;
    factWritten = up.integer(0, 1) == 1;
    return up.integer(0, 0);
}

// The same as separate statements, for SQLite (in-process, no round trips).
std::optional<int64_t> insertUploadStatements(SqlSession& s, const UploadRecord& r, bool& factWritten) {
    const QueryResult up = s.query(kUploadColumns, uploadValues(r));
    if (up.empty())
        return std::nullopt;
    const int64_t id = up.integer(0, 0);
    if (!r.envelope.items.empty()) {
        std::string sql = "INSERT INTO answers(upload_id, question, selected, question_text, answer_text) VALUES";
        SqlParams params;
        for (const SurveyItem& item : r.envelope.items) {
            sql += params.empty() ? "(?,?,?,?,?)" : ",(?,?,?,?,?)";
            params.insert(params.end(), {id, int64_t{item.index}, int64_t{item.selected}, item.question, item.answer});
        }
        s.execute(sql, params);
    }
    factWritten = false;
    return id;
}

} // namespace

Store::InsertResult Store::insertIn(SqlSession& s, const UploadRecord& r) {
    requireStorable(r);
    InsertResult result;
    bool factWritten = false;
    // On a conflict the statement waits for a concurrent insert of the same key to end,
    // so a racing repeat finds the first one's row committed below.
    const std::optional<int64_t> id = s.dialect() == eDialect::PostgreSQL ? insertUploadStatement(s, r, factWritten)
                                                                          : insertUploadStatements(s, r, factWritten);
    if (!id) {
        const QueryResult first = s.query("SELECT id FROM uploads WHERE session_id = ? AND duid = ? AND crc32 = ?",
                                          {r.sessionId, r.duid, static_cast<int64_t>(r.crc32)});
        if (first.empty())
            throw std::runtime_error("duplicate upload vanished");
        result.id = first.integer(0, 0);
        result.duplicate = true;
        return result;
    }
    result.id = *id;
    // The dashboard's row, in the same commit: the figures never miss a stored survey.
    if (!factWritten)
        insertFact(s, result.id, factOf(r.envelope, r.receivedAt));
    return result;
}

std::vector<StoredSurvey> Store::surveys() const {
    std::vector<StoredSurvey> out;
    const QueryResult u = query("SELECT id, received_at, session_id, pincode, duid, model_name, country"
                                " FROM uploads ORDER BY id");
    for (size_t i = 0; i < u.rows.size(); ++i) {
        StoredSurvey s;
        s.id = u.integer(i, 0);
        s.receivedAt = u.text(i, 1);
        s.sessionId = u.text(i, 2);
        s.pinCode = u.text(i, 3);
        s.duid = u.text(i, 4);
        s.modelName = u.text(i, 5);
        s.country = u.text(i, 6);
        out.push_back(std::move(s));
    }
    const QueryResult a = query("SELECT upload_id, question, selected FROM answers ORDER BY upload_id");
    size_t at = 0;
    for (size_t i = 0; i < a.rows.size(); ++i) {
        const int64_t id = a.integer(i, 0);
        while (at < out.size() && out[at].id < id)
            ++at;
        const int64_t question = a.integer(i, 1);
        if (at < out.size() && out[at].id == id && question >= 1 && question <= kQuestionCount)
            out[at].selected[static_cast<size_t>(question - 1)] = static_cast<int>(a.integer(i, 2));
    }
    return out;
}

AnswerCounts Store::answerCounts() const {
    AnswerCounts counts{};
    const QueryResult q = query("SELECT question, selected, COUNT(*) FROM answers GROUP BY question, selected");
    for (size_t i = 0; i < q.rows.size(); ++i) {
        const int64_t question = q.integer(i, 0);
        const int64_t selected = q.integer(i, 1);
        if (question >= 1 && question <= kQuestionCount && selected >= 1 && selected <= kMaxAnswers)
            counts[static_cast<size_t>(question - 1)][static_cast<size_t>(selected - 1)] =
                static_cast<int>(q.integer(i, 2));
    }
    return counts;
}

int Store::schemaVersion() const {
    return static_cast<int>(query("SELECT COALESCE(MAX(version), 0) FROM schema_migrations").integer(0, 0));
}

std::unique_ptr<Store> openStore(const std::string& db, Store::eOpenMode mode) {
    std::unique_ptr<Store> store;
    if (startsWith(db, "postgresql://") || startsWith(db, "postgres://"))
        store = openPostgresStore(db);
    else if (startsWith(db, "sqlite:"))
        store = openSqliteStore(db.substr(7), mode);
    else
        store = openSqliteStore(db, mode);
    migrate(*store);
    return store;
}

} // namespace collector
