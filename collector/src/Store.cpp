#include "collector/Store.h"

#include "collector/DashboardStore.h"

#include "StoreBackends.h"
#include "collector/Migrations.h"
#include "collector/Text.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

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

Store::InsertResult Store::insert(const UploadRecord& r) {
    requireStorable(r);
    InsertResult result;
    transaction([&](SqlSession& s) { result = insertIn(s, r); });
    return result;
}

Store::InsertResult Store::insertIn(SqlSession& s, const UploadRecord& r) {
    requireStorable(r);
    InsertResult result;
    const DeviceBlock& d = r.envelope.device;
    // On a conflict the statement waits for a concurrent insert of the same key to end,
    // so a racing repeat finds the first one's row committed below.
    const QueryResult up = s.query(
        "INSERT INTO uploads(received_at, remote_addr, session_id, pincode, duid, category,"
        " source, purchase_date, product_year, local_set, country, model_name,"
        " firmware_version, file_name, file_size, crc32, envelope)"
        " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
        " ON CONFLICT(session_id, duid, crc32) DO NOTHING RETURNING id",
        {r.receivedAt, r.remoteAddr, r.sessionId, r.pinCode, r.duid, r.category, r.source, r.purchaseDate,
         r.productYear, d.localSet, d.country, d.modelName, d.firmwareVersion, r.fileName,
         static_cast<int64_t>(r.fileSize), static_cast<int64_t>(r.crc32), r.envelopeXml});
    if (up.empty()) {
        const QueryResult first = s.query("SELECT id FROM uploads WHERE session_id = ? AND duid = ? AND crc32 = ?",
                                          {r.sessionId, r.duid, static_cast<int64_t>(r.crc32)});
        if (first.empty())
            throw std::runtime_error("duplicate upload vanished");
        result.id = first.integer(0, 0);
        result.duplicate = true;
        return result;
    }
    result.id = up.integer(0, 0);
    result.duplicate = false;
    for (const SurveyItem& item : r.envelope.items)
        s.execute("INSERT INTO answers(upload_id, question, selected, question_text, answer_text)"
                  " VALUES(?,?,?,?,?)",
                  {result.id, int64_t{item.index}, int64_t{item.selected}, item.question, item.answer});
    // The dashboard's row, in the same commit: the figures never miss a stored survey.
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
