#include "collector/DashboardStore.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace collector {

namespace {

const char* const kFactColumns =
    "f.upload_id, f.received_at, f.country, f.model_name, f.firmware_version, f.menu_language,"
    " f.q1, f.q2, f.q3, f.q4, f.q5";

SurveyFact factAt(const QueryResult& r, size_t row, size_t col) {
    SurveyFact f;
    f.id = r.integer(row, col);
    f.receivedAt = r.text(row, col + 1);
    f.country = r.text(row, col + 2);
    f.model = r.text(row, col + 3);
    f.firmware = r.text(row, col + 4);
    f.language = r.text(row, col + 5);
    for (size_t q = 0; q < kQuestionCount; ++q)
        f.selected[q] = static_cast<int>(r.integer(row, col + 6 + q));
    return f;
}

} // namespace

int64_t factDay(const std::string& receivedAt) {
    try {
        return dayNumber(receivedAt.substr(0, 10));
    } catch (const std::invalid_argument&) {
        return -1;
    }
}

void insertFact(SqlSession& s, int64_t id, const SurveyFact& f) {
    const SqlParams device = {f.country, f.model, f.firmware, f.language};
    const char* const find = "SELECT id FROM survey_devices WHERE country = ? AND model_name = ? AND"
                             " firmware_version = ? AND menu_language = ?";
    // Looked up first: PostgreSQL would spend a sequence number on every conflicting insert.
    QueryResult known = s.query(find, device);
    if (known.empty())
        known = s.query("INSERT INTO survey_devices(country, model_name, firmware_version, menu_language)"
                        " VALUES(?,?,?,?) ON CONFLICT DO NOTHING RETURNING id",
                        device);
    if (known.empty())
        known = s.query(find, device);  // another process added it meanwhile
    const int64_t day = factDay(f.receivedAt);
    s.execute("INSERT INTO survey_facts(upload_id, received_at, day, device_id, country, model_name,"
              " firmware_version, menu_language, q1, q2, q3, q4, q5) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)"
              " ON CONFLICT(upload_id) DO NOTHING",
              {id, f.receivedAt, day, known.integer(0, 0), f.country, f.model, f.firmware, f.language,
               int64_t{f.selected[0]}, int64_t{f.selected[1]}, int64_t{f.selected[2]}, int64_t{f.selected[3]},
               int64_t{f.selected[4]}});
}

int64_t StoreDashboardData::backfill() {
    const char* const missing = " FROM uploads u WHERE NOT EXISTS"
                                " (SELECT 1 FROM survey_facts f WHERE f.upload_id = u.id)";
    int64_t written = 0;
    m_store.transaction([&](SqlSession& s) {
        const QueryResult ups = s.query(std::string("SELECT u.id, u.received_at, u.country, u.model_name,"
                                                    " u.firmware_version") + missing + " ORDER BY u.id");
        if (ups.empty())
            return;
        const QueryResult ans = s.query(std::string("SELECT a.upload_id, a.question, a.selected, a.question_text"
                                                    " FROM answers a WHERE a.upload_id IN (SELECT u.id") +
                                        missing + ") ORDER BY a.upload_id");
        size_t at = 0;
        for (size_t i = 0; i < ups.rows.size(); ++i) {
            Envelope e;
            const int64_t id = ups.integer(i, 0);
            e.device.country = ups.text(i, 2);
            e.device.modelName = ups.text(i, 3);
            e.device.firmwareVersion = ups.text(i, 4);
            for (; at < ans.rows.size() && ans.integer(at, 0) <= id; ++at)
                if (ans.integer(at, 0) == id)
                    e.items.push_back({static_cast<int>(ans.integer(at, 1)), static_cast<int>(ans.integer(at, 2)),
                                       ans.text(at, 3), ""});
            insertFact(s, id, factOf(e, ups.text(i, 1)));
            ++written;
        }
    });
    return written;
}

void StoreDashboardData::facts(const SurveyFilter& range, const std::function<void(const SurveyFact&)>& each) {
    // A year holds 100,000s of rows, so each is three numbers: the day, the device (its values
    // read once, below) and the five answers packed into one (base 11, as Q3 has ten answers).
    std::vector<SurveyFact> devices;
    std::unordered_map<int64_t, size_t> index;
    const QueryResult d =
        m_store.query("SELECT id, country, model_name, firmware_version, menu_language FROM survey_devices");
    for (size_t i = 0; i < d.rows.size(); ++i) {
        SurveyFact f;
        f.country = d.text(i, 1);
        f.model = d.text(i, 2);
        f.firmware = d.text(i, 3);
        f.language = d.text(i, 4);
        f.device = static_cast<int>(i);
        index[d.integer(i, 0)] = i;
        devices.push_back(std::move(f));
    }
    const auto number = [](std::string_view text) {
        int64_t n = 0;
        for (char c : text)
            n = n * 10 + (c - '0');
        return n;
    };
    m_store.scan("SELECT f.day, f.device_id, (((f.q1 * 11 + f.q2) * 11 + f.q3) * 11 + f.q4) * 11 + f.q5"
                 " FROM survey_facts f WHERE f.day BETWEEN ? AND ?",
                 {dayNumber(range.from), dayNumber(range.to)}, [&](const SqlRow& row) {
                     const auto at = index.find(number(row[1]));
                     if (at == index.end())
                         return;
                     SurveyFact& f = devices[at->second];
                     f.day = row[0].empty() || row[0][0] == '-' ? -1 : number(row[0]);
                     int64_t packed = number(row[2]);
                     for (size_t q = kQuestionCount; q-- > 0; packed /= 11)
                         f.selected[q] = static_cast<int>(packed % 11);
                     each(f);
                 });
}

std::vector<SurveyRow> StoreDashboardData::surveys(const SurveyFilter& filter, bool newestFirst, int64_t offset,
                                                   int64_t limit) {
    std::string sql = std::string("SELECT ") + kFactColumns +
                      ", u.session_id, u.duid, u.local_set FROM survey_facts f JOIN uploads u ON u.id = f.upload_id"
                      " WHERE f.received_at >= ? AND f.received_at < ?";
    SqlParams params = {filter.fromTime(), filter.toExclusiveTime()};
    for (const auto& [column, value] : {std::pair<const char*, const std::string&>{"country", filter.country},
                                        {"model_name", filter.model},
                                        {"firmware_version", filter.firmware},
                                        {"menu_language", filter.language}}) {
        if (value.empty())
            continue;
        sql += std::string(" AND f.") + column + " = ?";
        params.push_back(value);
    }
    sql += newestFirst ? " ORDER BY f.received_at DESC, f.upload_id DESC" : " ORDER BY f.received_at, f.upload_id";
    if (limit >= 0) {
        sql += " LIMIT ? OFFSET ?";
        params.push_back(limit);
        params.push_back(std::max<int64_t>(offset, 0));
    }
    const QueryResult r = m_store.query(sql, params);
    std::vector<SurveyRow> out;
    out.reserve(r.rows.size());
    for (size_t i = 0; i < r.rows.size(); ++i)
        out.push_back({factAt(r, i, 0), r.text(i, 11), r.text(i, 12), r.text(i, 13)});
    return out;
}

std::optional<std::string> StoreDashboardData::operatorHash(const std::string& name) {
    const QueryResult r = m_store.query("SELECT password_hash FROM operators WHERE name = ?", {name});
    if (r.empty())
        return std::nullopt;
    return r.text(0, 0);
}

void StoreSessionTable::put(const std::string& key, const SessionRecord& s) {
    m_store.execute("INSERT INTO operator_sessions(token_digest, operator, created_at, last_used) VALUES(?,?,?,?)",
                    {key, s.name, s.created, s.lastUsed});
}

std::optional<SessionRecord> StoreSessionTable::find(const std::string& key) {
    const QueryResult r =
        m_store.query("SELECT operator, created_at, last_used FROM operator_sessions WHERE token_digest = ?", {key});
    if (r.empty())
        return std::nullopt;
    return SessionRecord{r.text(0, 0), r.integer(0, 1), r.integer(0, 2)};
}

void StoreSessionTable::touch(const std::string& key, int64_t lastUsed) {
    // Another collector may have written a later use meanwhile; time only moves forward.
    m_store.execute("UPDATE operator_sessions SET last_used = ? WHERE token_digest = ? AND last_used < ?",
                    {lastUsed, key, lastUsed});
}

void StoreSessionTable::remove(const std::string& key) {
    m_store.execute("DELETE FROM operator_sessions WHERE token_digest = ?", {key});
}

void StoreSessionTable::expire(int64_t idleBefore, int64_t createdBefore) {
    m_store.execute("DELETE FROM operator_sessions WHERE last_used < ? OR created_at < ?", {idleBefore, createdBefore});
}

std::chrono::seconds StoreFailureCounter::attempt(const std::string& key, const FailureLimits& limits, int64_t now) {
    std::chrono::seconds wait{0};
    m_store.transaction([&](SqlSession& s) {
        s.execute("DELETE FROM signin_failures WHERE locked_until <= ? AND last_seen < ?",
                  {now, now - limits.window.count()});
        s.execute("INSERT INTO signin_failures(subject, failures, window_start, locked_until, last_seen)"
                  " VALUES(?, 0, 0, 0, 0) ON CONFLICT(subject) DO NOTHING",
                  {key});
        // The row stays locked to this transaction until the count is written (SQLite's write
        // transactions are exclusive already), so two collectors cannot both take the last try.
        const QueryResult r = s.query(std::string("SELECT failures, window_start, locked_until, last_seen FROM"
                                                  " signin_failures WHERE subject = ?") +
                                          (s.dialect() == eDialect::PostgreSQL ? " FOR UPDATE" : ""),
                                      {key});
        FailureCount c{static_cast<int>(r.integer(0, 0)), r.integer(0, 1), r.integer(0, 2), r.integer(0, 3)};
        wait = lockedFor(c, now);
        if (wait.count() > 0)
            return;
        countFailure(c, now, limits);
        s.execute("UPDATE signin_failures SET failures = ?, window_start = ?, locked_until = ?, last_seen = ?"
                  " WHERE subject = ?",
                  {int64_t{c.failures}, c.windowStart, c.lockedUntil, c.lastSeen, key});
    });
    return wait;
}

void StoreFailureCounter::forgive(const std::string& key) {
    m_store.execute("UPDATE signin_failures SET failures = failures - 1 WHERE subject = ? AND failures > 0", {key});
}

void StoreFailureCounter::clear(const std::string& key) {
    m_store.execute("DELETE FROM signin_failures WHERE subject = ?", {key});
}

void addOperator(Store& store, const std::string& name, const std::string& passwordHash) {
    if (name.empty() || name.size() > 64 ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; }))
        throw std::runtime_error("an operator name is 1 to 64 printable ASCII characters without spaces");
    const int64_t added =
        store.execute("INSERT INTO operators(name, password_hash, created_at) VALUES(?,?,?)"
                      " ON CONFLICT(name) DO NOTHING",
                      {name, passwordHash, utcNow()});
    if (added == 0)
        throw std::runtime_error("operator " + name + " exists already");
}

} // namespace collector
