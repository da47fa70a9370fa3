// The dashboard's tables on both backends: facts written with each upload (and afterwards for
// older ones), filtered and paged reads, operators, seeding.
#include "TestDatabase.h"

#include "collector/DashboardStore.h"
#include "collector/Migrations.h"
#include "collector/SurveySeed.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <algorithm>
#include <sqlite3.h>

using namespace collector;

namespace {

UploadRecord upload(const std::string& session, const std::string& at, const std::string& country,
                    std::array<int, 5> selected, const std::string& firstQuestion = "x") {
    UploadRecord r;
    r.receivedAt = at;
    r.sessionId = session;
    r.duid = "D-" + session;
    r.crc32 = 1;
    r.envelopeXml = "<survey/>";
    r.envelope.device = {r.duid, "LS", country, "UE55", "T-1"};
    for (int q = 0; q < 5; ++q)
        if (selected[static_cast<size_t>(q)])
            r.envelope.items.push_back({q + 1, selected[static_cast<size_t>(q)], q ? "q" : firstQuestion, "a"});
    return r;
}

// Runs statements on the database without a Store, which would migrate it first.
void runRaw(const std::string& dbText, const std::string& sql) {
    std::string error;
    if (dbText.rfind("sqlite:", 0) == 0) {
        sqlite3* db = nullptr;
        if (sqlite3_open(dbText.substr(7).c_str(), &db) != SQLITE_OK ||
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            error = sqlite3_errmsg(db);
        sqlite3_close(db);
    } else {
        PGconn* c = PQconnectdb(dbText.c_str());
        PGresult* r = PQexec(c, sql.c_str());
        if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK)
            error = PQerrorMessage(c);
        PQclear(r);
        PQfinish(c);
    }
    if (!error.empty())
        throw std::runtime_error(error);
}

class DashboardStoreTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { TAV_REQUIRE_DATABASE(db); }
    coltest::TestDatabase db{GetParam()};
};

} // namespace

TEST_P(DashboardStoreTest, FactsFollowUploadsAndFiltersPage) {
    const auto store = openStore(db.dbText());
    StoreDashboardData data(*store);
    store->insert(upload("A", "2026-11-01 08:00:00", "DE", {1, 2, 1, 7, 0}, "1. Wurde Ihr Problem durch den Remote-Support gelöst?"));
    store->insert(upload("B", "2026-11-02 09:00:00", "FR", {2, 7, 10, 1, 1}));
    store->insert(upload("C", "2026-11-02 23:59:59", "DE", {1, 1, 5, 1, 1}));
    store->insert(upload("D", "2026-11-03 00:00:00", "DE", {1, 1, 5, 1, 1}));  // past the range
    // A repeat adds no second facts row.
    store->insert(upload("A", "2026-11-05 08:00:00", "DE", {1, 2, 1, 7, 0}));

    const SurveyFilter range = parseFilter({{"from", "2026-11-01"}, {"to", "2026-11-02"}}, "x");
    std::vector<SurveyFact> seen;
    data.facts(range, [&](const SurveyFact& f) { seen.push_back(f); });
    ASSERT_EQ(seen.size(), 3u);
    std::sort(seen.begin(), seen.end(), [](auto& a, auto& b) { return a.day < b.day || (a.day == b.day && a.country > b.country); });
    EXPECT_EQ(seen[0].day, dayNumber("2026-11-01"));
    EXPECT_EQ(seen[2].day, dayNumber("2026-11-02"));
    // The same country, model and firmware, but C's first question is in no language of ours.
    EXPECT_NE(seen[0].device, seen[2].device);
    EXPECT_EQ(seen[2].language, "");

    EXPECT_EQ(seen[0].language, "de");
    EXPECT_EQ(seen[0].selected, (std::array<int, 5>{1, 2, 1, 7, 0}));
    EXPECT_EQ(seen[1].selected, (std::array<int, 5>{2, 7, 10, 1, 1}));

    // Newest first, filtered by country, paged; oldest first for exports.
    SurveyFilter de = range;
    de.country = "DE";
    auto rows = data.surveys(de, true, 0, 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].sessionId, "C");
    EXPECT_EQ(rows[0].fact.receivedAt, "2026-11-02 23:59:59");
    EXPECT_EQ(rows[0].localSet, "LS");
    rows = data.surveys(de, true, 1, 5);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].sessionId, "A");
    rows = data.surveys(range, false, 0, -1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].sessionId + rows[1].sessionId + rows[2].sessionId, "ABC");

    // Uploads stored before the dashboard existed get their facts when it starts.
    EXPECT_EQ(data.backfill(), 0);
    store->execute("DELETE FROM survey_facts WHERE upload_id IN (SELECT id FROM uploads WHERE session_id = ?)", {std::string("B")});
    EXPECT_EQ(data.backfill(), 1);
    rows = data.surveys(range, false, 0, -1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].fact.selected, (std::array<int, 5>{2, 7, 10, 1, 1}));

    addOperator(*store, "ops", "$argon2id$hash");
    EXPECT_THROW(addOperator(*store, "ops", "other"), std::runtime_error);
    EXPECT_THROW(addOperator(*store, "two words", "h"), std::runtime_error);
    EXPECT_EQ(data.operatorHash("ops"), "$argon2id$hash");
    EXPECT_FALSE(data.operatorHash("OPS"));

    // Seeding is repeatable and lands in the days asked for.
    EXPECT_EQ(seedSurveys(*store, {50, 7, "2026-10-07", 3}), 50);
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM survey_facts WHERE received_at >= '2026-10-01' AND received_at < '2026-10-08'")
                  .integer(0, 0), 50);
}

// Two collectors on one database, as behind a balancer: a session opened on one is known to the
// other, kept alive by use on either, and ended everywhere by a sign-out or idleness; failed
// sign-ins on either count towards one limit.
TEST_P(DashboardStoreTest, SessionsAndTheBrakeAreSharedByTheCollectorsOfADatabase) {
    const auto storeA = openStore(db.dbText());
    const auto storeB = openStore(db.dbText(), Store::eOpenMode::Existing);
    StoreDashboardData dataA(*storeA), dataB(*storeB);
    addOperator(*storeA, "ops", hashPassword("s3cret-pass"));
    int64_t now = 1'800'000'000;
    AuthOptions options;
    options.idleTimeout = std::chrono::minutes(30);
    options.perAccount = {3, std::chrono::minutes(10), std::chrono::minutes(5)};
    options.clock = [&now] { return now; };
    const auto hashOf = [&](StoreDashboardData& d) { return [&d](const std::string& n) { return d.operatorHash(n); }; };
    OperatorAuth a(hashOf(dataA), options, dataA.sessions(), dataA.failures()),
        b(hashOf(dataB), options, dataB.sessions(), dataB.failures());

    const auto first = a.login("ops", "s3cret-pass", "10.0.0.1");
    ASSERT_EQ(first.result, OperatorAuth::eLogin::Ok);
    EXPECT_EQ(b.operatorOf(first.token), "ops");
    const QueryResult stored = storeA->query("SELECT token_digest FROM operator_sessions");
    ASSERT_EQ(stored.rows.size(), 1u);
    EXPECT_EQ(stored.text(0, 0).find(first.token), std::string::npos) << "the token itself is stored";
    b.logout(first.token);
    EXPECT_FALSE(a.operatorOf(first.token));

    const auto second = b.login("ops", "s3cret-pass", "10.0.0.1");
    now += 29 * 60;
    EXPECT_TRUE(a.operatorOf(second.token));  // used on A: B sees the use
    now += 29 * 60;
    EXPECT_EQ(b.operatorOf(second.token), "ops");
    now += 31 * 60;
    EXPECT_FALSE(a.operatorOf(second.token));
    EXPECT_FALSE(b.operatorOf(second.token));

    // Sessions nobody came back for are cleared by the next sign-in on any collector.
    const auto third = a.login("ops", "s3cret-pass", "10.0.0.1");
    now += 31 * 60;
    ASSERT_EQ(b.login("ops", "s3cret-pass", "10.0.0.1").result, OperatorAuth::eLogin::Ok);
    EXPECT_EQ(storeB->query("SELECT COUNT(*) FROM operator_sessions").integer(0, 0), 1);
    EXPECT_FALSE(a.operatorOf(third.token));

    // Two wrong passwords on A and one on B lock the account on both until the lockout ends.
    EXPECT_EQ(a.login("ops", "guess1", "10.0.0.2").result, OperatorAuth::eLogin::Refused);
    EXPECT_EQ(b.login("ops", "guess2", "10.0.0.3").result, OperatorAuth::eLogin::Refused);
    EXPECT_EQ(a.login("ops", "guess3", "10.0.0.4").result, OperatorAuth::eLogin::Refused);
    const auto locked = b.login("ops", "s3cret-pass", "10.0.0.5");
    EXPECT_EQ(locked.result, OperatorAuth::eLogin::Throttled);
    EXPECT_EQ(locked.retryAfter, std::chrono::minutes(5));
    now += 5 * 60;
    EXPECT_EQ(a.login("ops", "s3cret-pass", "10.0.0.5").result, OperatorAuth::eLogin::Ok);
}

TEST_P(DashboardStoreTest, AVersion2DatabaseIsUpgradedInPlaceAndItsSurveysStayInTheFigures) {
    // A database as the first dashboard release left it, with one survey.
    const bool lite = GetParam() == "sqlite";
    std::string sql = "CREATE TABLE schema_migrations(version INTEGER PRIMARY KEY, name TEXT NOT NULL,"
                      " applied_at TEXT NOT NULL);";
    for (const Migration& m : migrations())
        if (m.version <= 2)
            sql += (lite ? m.sqlite : m.postgresql) + "; INSERT INTO schema_migrations VALUES(" +
                   std::to_string(m.version) + ", 'old', '');";
    sql += "INSERT INTO uploads VALUES(1, '2026-11-01 08:00:00', 'a', 'OLD', 'p', 'D', 'c', 's', 'd', 'y', 'l',"
           " 'DE', 'UE55', 'T-1', 'n', 1, 2, 'x');"
           "INSERT INTO survey_devices VALUES(1, 'DE', 'UE55', 'T-1', 'de');"
           "INSERT INTO survey_facts(upload_id, received_at, day, device_id, country, model_name, firmware_version,"
           " menu_language, q1, q2, q3, q4, q5) VALUES(1, '2026-11-01 08:00:00', " +
           std::to_string(dayNumber("2026-11-01")) + ", 1, 'DE', 'UE55', 'T-1', 'de', 2, 7, 10, 1, 3);";
    if (!lite)
        sql += "SELECT setval('uploads_id_seq', 1); SELECT setval('survey_devices_id_seq', 1);";
    runRaw(db.dbText(), sql);

    const auto store = openStore(db.dbText(), Store::eOpenMode::Existing);
    EXPECT_EQ(store->schemaVersion(), static_cast<int>(migrations().size()));
    store->insert(upload("NEW", "2026-11-30 23:59:59", "FR", {1, 1, 1, 1, 1}));
    store->insert(upload("LATER", "2026-12-01 00:00:00", "FR", {1, 1, 1, 1, 1}));

    StoreDashboardData data(*store);
    std::vector<SurveyFact> seen;
    data.facts(parseFilter({{"from", "2026-11-01"}, {"to", "2026-11-30"}}, "x"),
               [&](const SurveyFact& f) { seen.push_back(f); });
    ASSERT_EQ(seen.size(), 2u) << "the old survey and the new one, the first and last day included";
    std::sort(seen.begin(), seen.end(), [](auto& a, auto& b) { return a.day < b.day; });
    EXPECT_EQ(seen[0].day, dayNumber("2026-11-01"));
    EXPECT_EQ(seen[0].country, "DE");
    EXPECT_EQ(seen[0].selected, (std::array<int, 5>{2, 7, 10, 1, 3}));
    EXPECT_EQ(seen[1].day, dayNumber("2026-11-30"));
}

INSTANTIATE_TEST_SUITE_P(Backends, DashboardStoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });
