#include "collector/Migrations.h"

#include "collector/Store.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace collector {

namespace {

// Version 1 adopts the tables of databases made before versioning (same shape, IF NOT EXISTS).
// The indexed device columns and the time are what reports filter and group by. Written once
// for both backends: {ID} and {INT64} stand for the types that differ (see forDialect).
const char* const kV1 = R"sql(
CREATE TABLE IF NOT EXISTS uploads(
  id               {ID},
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
  file_size        {INT64} NOT NULL,
  crc32            {INT64} NOT NULL,
  envelope         TEXT    NOT NULL,
  UNIQUE(session_id, duid, crc32)
);
CREATE TABLE IF NOT EXISTS answers(
  upload_id     {INT64} NOT NULL REFERENCES uploads(id) ON DELETE CASCADE,
  question      INTEGER NOT NULL CHECK(question BETWEEN 1 AND 5),
  selected      INTEGER NOT NULL CHECK(selected BETWEEN 1 AND 10),
  question_text TEXT    NOT NULL,
  answer_text   TEXT    NOT NULL,
  PRIMARY KEY(upload_id, question)
);
CREATE INDEX IF NOT EXISTS uploads_received_at ON uploads(received_at);
CREATE INDEX IF NOT EXISTS uploads_country ON uploads(country, received_at);
CREATE INDEX IF NOT EXISTS uploads_model_name ON uploads(model_name, received_at);
CREATE INDEX IF NOT EXISTS uploads_firmware_version ON uploads(firmware_version, received_at);
CREATE INDEX IF NOT EXISTS uploads_local_set ON uploads(local_set, received_at);
CREATE INDEX IF NOT EXISTS answers_question_selected ON answers(question, selected);
)sql";

// SQLite's INTEGER already holds 64 bits, and its INTEGER PRIMARY KEY is the row id (the
// tables made before versioning have exactly these types).
std::string forDialect(std::string sql, eDialect dialect) {
    const bool lite = dialect == eDialect::SQLite;
    const std::pair<std::string, std::string> types[] = {
        {"{ID}", lite ? "INTEGER PRIMARY KEY" : "BIGSERIAL PRIMARY KEY"},
        {"{INT64}", lite ? "INTEGER" : "BIGINT"},
    };
    for (const auto& [mark, type] : types)
        for (size_t at; (at = sql.find(mark)) != std::string::npos;)
            sql.replace(at, mark.size(), type);
    return sql;
}

// Any constant will do as long as nothing else on the server takes the same advisory lock.
const char* const kMigrationLock = "SELECT pg_advisory_xact_lock(7236047101611245909)";

// Version 2: the operators' dashboard. "survey_facts" holds one narrow row per stored survey
// (time, day number, device values, menu language, the five selected values with 0 for a
// question left out), written with the upload, so that the figures over a date range are one
// range scan; surveys stored before it get theirs when the dashboard starts. "survey_devices"
// numbers each combination of country, model, firmware and menu language, so that a scan of
// 100,000 facts reads three numbers a row. "operators" holds the dashboard's accounts.
// SQLite keeps the facts in time order (WITHOUT ROWID, keyed by the time): a date range is read
// page by page instead of row by row through an index.

// The tables both backends spell alike but for their types ({ID}, {INT64}: see forDialect).
const char* const kV2Shared = R"sql(
CREATE TABLE survey_devices(
  id               {ID},
  country          TEXT NOT NULL,
  model_name       TEXT NOT NULL,
  firmware_version TEXT NOT NULL,
  menu_language    TEXT NOT NULL,
  UNIQUE(country, model_name, firmware_version, menu_language)
);
CREATE TABLE operators(
  name          TEXT PRIMARY KEY,
  password_hash TEXT NOT NULL,
  created_at    TEXT NOT NULL
);
)sql";

const char* const kV2FactsSqlite = R"sql(
CREATE TABLE survey_facts(
  upload_id        INTEGER NOT NULL REFERENCES uploads(id) ON DELETE CASCADE,
  received_at      TEXT    NOT NULL,
  day              INTEGER NOT NULL,
  device_id        INTEGER NOT NULL REFERENCES survey_devices(id),
  country          TEXT    NOT NULL,
  model_name       TEXT    NOT NULL,
  firmware_version TEXT    NOT NULL,
  menu_language    TEXT    NOT NULL,
  q1 INTEGER NOT NULL, q2 INTEGER NOT NULL, q3 INTEGER NOT NULL, q4 INTEGER NOT NULL, q5 INTEGER NOT NULL,
  PRIMARY KEY(received_at, upload_id)
) WITHOUT ROWID;
CREATE UNIQUE INDEX survey_facts_upload_id ON survey_facts(upload_id);
)sql";

const char* const kV2FactsPostgresql = R"sql(
CREATE TABLE survey_facts(
  upload_id        BIGINT  PRIMARY KEY REFERENCES uploads(id) ON DELETE CASCADE,
  received_at      TEXT    NOT NULL,
  day              INTEGER NOT NULL,
  device_id        BIGINT  NOT NULL REFERENCES survey_devices(id),
  country          TEXT    NOT NULL,
  model_name       TEXT    NOT NULL,
  firmware_version TEXT    NOT NULL,
  menu_language    TEXT    NOT NULL,
  q1 INTEGER NOT NULL, q2 INTEGER NOT NULL, q3 INTEGER NOT NULL, q4 INTEGER NOT NULL, q5 INTEGER NOT NULL
);
CREATE INDEX survey_facts_received_at ON survey_facts(received_at);
)sql";

// Version 3: dashboard sessions and failed sign-ins in the database, so that every collector
// behind a balancer knows who is signed in (and a sign-out anywhere ends the session
// everywhere) and the brake on guessing holds for all of them together. Sessions are keyed by a
// digest of their token; times in seconds since 1970.
const char* const kV3 = R"sql(
CREATE TABLE operator_sessions(
  token_digest TEXT    PRIMARY KEY,
  operator     TEXT    NOT NULL REFERENCES operators(name) ON DELETE CASCADE,
  created_at   {INT64} NOT NULL,
  last_used    {INT64} NOT NULL
);
CREATE INDEX operator_sessions_last_used ON operator_sessions(last_used);
CREATE TABLE signin_failures(
  subject      TEXT    PRIMARY KEY,
  failures     INTEGER NOT NULL,
  window_start {INT64} NOT NULL,
  locked_until {INT64} NOT NULL,
  last_seen    {INT64} NOT NULL
);
CREATE INDEX signin_failures_last_seen ON signin_failures(last_seen);
)sql";

// Version 4: the dashboard's date ranges read by the integer day, from an index that also holds
// everything the figures need (device and answers), so a year of facts is read from the index
// alone instead of from the wide facts rows. The day column is there since version 2.
const char* const kV4Sqlite = R"sql(
CREATE INDEX survey_facts_day ON survey_facts(day, device_id, q1, q2, q3, q4, q5);
)sql";
const char* const kV4Postgresql = R"sql(
CREATE INDEX survey_facts_day ON survey_facts(day) INCLUDE (device_id, q1, q2, q3, q4, q5);
)sql";

} // namespace

const std::vector<Migration>& migrations() {
    static const std::vector<Migration> list = {
        {1, "uploads and answers", forDialect(kV1, eDialect::SQLite), forDialect(kV1, eDialect::PostgreSQL)},
        {2, "dashboard facts and operators", forDialect(kV2Shared, eDialect::SQLite) + kV2FactsSqlite,
         forDialect(kV2Shared, eDialect::PostgreSQL) + kV2FactsPostgresql},
        {3, "dashboard sessions and failed sign-ins", forDialect(kV3, eDialect::SQLite), forDialect(kV3, eDialect::PostgreSQL)},
        {4, "dashboard facts by day", kV4Sqlite, kV4Postgresql},
    };
    return list;
}

void migrate(Store& store) {
    const std::vector<Migration>& list = migrations();
    store.transaction([&](SqlSession& s) {
        if (s.dialect() == eDialect::PostgreSQL)
            s.query(kMigrationLock);
        s.script("CREATE TABLE IF NOT EXISTS schema_migrations("
                 "version INTEGER PRIMARY KEY, name TEXT NOT NULL, applied_at TEXT NOT NULL)");
        const QueryResult current = s.query("SELECT COALESCE(MAX(version), 0) FROM schema_migrations");
        const int64_t have = current.integer(0, 0);
        if (have > static_cast<int64_t>(list.size()))
            throw std::runtime_error("the database " + store.describe() + " has schema version " +
                                     std::to_string(have) + ", newer than this collector's " +
                                     std::to_string(list.size()));
        for (const Migration& m : list) {
            if (m.version <= have)
                continue;
            s.script(s.dialect() == eDialect::SQLite ? m.sqlite : m.postgresql);
            s.execute("INSERT INTO schema_migrations(version, name, applied_at) VALUES(?, ?, ?)",
                      {int64_t{m.version}, m.name, utcNow()});
        }
    });
}

} // namespace collector
