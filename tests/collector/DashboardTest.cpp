// Operator sign-in, the dashboard's figures and exports, and the refusals, without a server:
// requests go straight into collector::Dashboard over an in-memory set of surveys.
#include "collector/Dashboard.h"
#include "collector/Json.h"

#include <gtest/gtest.h>

using namespace collector;
using namespace std::chrono_literals;

namespace {

SurveyFact fact(int64_t id, const std::string& at, const std::string& country, std::array<int, 5> q,
                const std::string& model = "QE55Q80TV") {
    SurveyFact f;
    f.id = id;
    f.receivedAt = at;
    f.country = country;
    f.model = model;
    f.firmware = "T-1";
    f.language = "en";
    f.selected = q;
    return f;
}

struct FakeClock {
    std::chrono::steady_clock::time_point t{std::chrono::hours(1000)};
    WallClock fn() {
        return [this] { return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count(); };
    }
};

class FakeData : public DashboardData {
public:
    std::vector<SurveyRow> rows;
    std::map<std::string, std::string> hashes;
    void facts(const SurveyFilter& f, const std::function<void(const SurveyFact&)>& each) override {
        for (const auto& r : rows)
            if (r.fact.receivedAt >= f.fromTime() && r.fact.receivedAt < f.toExclusiveTime())
                each(r.fact);
    }
    std::vector<SurveyRow> surveys(const SurveyFilter& f, bool, int64_t offset, int64_t limit) override {
        std::vector<SurveyRow> out;
        for (const auto& r : rows)
            if (f.matches(r.fact) && offset-- <= 0 && (limit < 0 || static_cast<int64_t>(out.size()) < limit))
                out.push_back(r);
        return out;
    }
    std::optional<std::string> operatorHash(const std::string& name) override {
        const auto it = hashes.find(name);
        return it == hashes.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

std::string header(const WebResponse& r, const std::string& name) {
    for (const auto& [n, v] : r.headers)
        if (n == name)
            return v;
    return "";
}

} // namespace

TEST(OperatorAuthTest, PasswordsSessionsAndFailureLimits) {
    const std::string hash = hashPassword("correct horse");
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u);
    EXPECT_TRUE(verifyPassword(hash, "correct horse"));
    EXPECT_FALSE(verifyPassword(hash, "correct hors"));
    EXPECT_FALSE(verifyPassword("plain text", "plain text"));

    FakeClock clock;
    AuthOptions options;
    options.perAccount = {3, 10min, 5min};
    options.perAddress = {5, 10min, 5min};
    options.idleTimeout = 30min;
    options.clock = clock.fn();
    OperatorAuth auth([&](const std::string& n) { return n == "ops" ? std::optional<std::string>(hash) : std::nullopt; },
                      options);

    // A good sign-in clears the account's failures; three bad ones in a row then lock it, and the
    // right password is refused too until the lock ends.
    EXPECT_EQ(auth.login("ops", "bad", "10.0.0.1").result, OperatorAuth::eLogin::Refused);
    EXPECT_EQ(auth.login("ops", "correct horse", "10.0.0.1").result, OperatorAuth::eLogin::Ok);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(auth.login("ops", "bad", "10.0.0." + std::to_string(2 + i)).result, OperatorAuth::eLogin::Refused);
    const auto locked = auth.login("ops", "correct horse", "10.0.0.9");
    EXPECT_EQ(locked.result, OperatorAuth::eLogin::Throttled);
    EXPECT_EQ(locked.retryAfter, std::chrono::seconds(300));
    clock.t += 301s;
    const auto again = auth.login("ops", "correct horse", "10.0.0.9");
    ASSERT_EQ(again.result, OperatorAuth::eLogin::Ok);

    // One address guessing over many names is stopped by its own limit.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(auth.login("user" + std::to_string(i), "x", "192.0.2.7").result, OperatorAuth::eLogin::Refused);
    EXPECT_EQ(auth.login("ops", "correct horse", "192.0.2.7").result, OperatorAuth::eLogin::Throttled);
    EXPECT_EQ(auth.login("ops", "correct horse", "192.0.2.8").result, OperatorAuth::eLogin::Ok);

    // Sessions: known while used, gone after logout or when idle too long.
    EXPECT_EQ(auth.operatorOf(again.token), "ops");
    EXPECT_FALSE(auth.operatorOf(again.token + "x"));
    clock.t += 29min;
    EXPECT_TRUE(auth.operatorOf(again.token));
    clock.t += 31min;
    EXPECT_FALSE(auth.operatorOf(again.token));
    const auto fresh = auth.login("ops", "correct horse", "10.0.0.1");
    auth.logout(fresh.token);
    EXPECT_FALSE(auth.operatorOf(fresh.token));
}

TEST(FailureLimiterTest, AFloodOfNamesStaysBoundedAndFreesNoLock) {
    FailureLimiter limiter(100);
    const FailureLimits limits{2, 60s, 600s};
    const int64_t t0 = 3600;
    limiter.attempt("victim", limits, t0);
    limiter.attempt("victim", limits, t0);
    for (int i = 0; i < 1000; ++i) {
        limiter.attempt("n" + std::to_string(i), limits, t0 + i / 100);
        ASSERT_LE(limiter.tracked(), 100u);
    }
    EXPECT_EQ(limiter.attempt("victim", limits, t0 + 12), 588s);
    EXPECT_EQ(limiter.attempt("n999", limits, t0 + 12), 0s);  // its second failure: locked
    EXPECT_EQ(limiter.attempt("n999", limits, t0 + 12), 600s);
}

TEST(SurveyStatsTest, FiguresBucketsAndFilters) {
    std::vector<SurveyFact> facts = {
        fact(1, "2026-11-02 10:00:00", "DE", {1, 1, 1, 2, 3}),   // yes, Q3 score 9
        fact(2, "2026-11-02 23:59:59", "DE", {2, 3, 10, 1, 7}),  // no, Q3 score 0
        fact(3, "2026-11-09 00:00:00", "FR", {1, 2, 4, 0, 0}),   // Q4/Q5 unanswered
    };
    SurveyFilter f = parseFilter({{"from", "2026-11-01"}, {"to", "2026-11-30"}, {"country", "DE"}}, "2026-12-01");
    const std::string de = summaryJson(facts, f);
    EXPECT_NE(de.find("\"totals\":{\"surveys\":2,\"problemSolved\":0.5,\"problemSolvedAnswered\":2,"
                      "\"q2TopTwo\":0.5,\"q4TopTwo\":1,\"q5TopTwo\":0,\"recommendMean\":4.5}"),
              std::string::npos)
        << de;
    EXPECT_NE(de.find("\"q3\":[1,0,0,0,0,0,0,0,0,1]"), std::string::npos);
    EXPECT_NE(de.find("\"bucket\":\"day\""), std::string::npos);
    EXPECT_NE(de.find("{\"start\":\"2026-11-02\",\"surveys\":2,"), std::string::npos);
    EXPECT_NE(de.find("{\"start\":\"2026-11-30\",\"surveys\":0,\"problemSolved\":null"), std::string::npos);
    // The choices list every country of the range, the one filtered out too.
    EXPECT_NE(de.find("\"country\":[{\"value\":\"DE\",\"surveys\":2},{\"value\":\"FR\",\"surveys\":1}]"),
              std::string::npos);

    // Over 62 days: weeks from Monday (2026-11-02 and 2026-11-09 are Mondays; 2026-08-31 too).
    f = parseFilter({{"from", "2026-09-01"}, {"to", "2026-11-30"}}, "2026-12-01");
    const std::string weekly = summaryJson(facts, f);
    EXPECT_NE(weekly.find("\"bucket\":\"week\""), std::string::npos);
    EXPECT_NE(weekly.find("\"series\":[{\"start\":\"2026-08-31\""), std::string::npos);
    EXPECT_NE(weekly.find("{\"start\":\"2026-11-02\",\"surveys\":2,"), std::string::npos);
    EXPECT_NE(weekly.find("{\"start\":\"2026-11-09\",\"surveys\":1,"), std::string::npos);

    EXPECT_EQ(parseFilter({}, "2026-03-01").from, "2026-01-31");
    EXPECT_THROW(parseFilter({{"from", "2026-02-29"}}, "2026-03-01"), std::invalid_argument);
    EXPECT_THROW(parseFilter({{"from", "2026-03-02"}}, "2026-03-01"), std::invalid_argument);
    EXPECT_THROW(parseFilter({{"to", "2026-1-01"}}, "2026-03-01"), std::invalid_argument);
    EXPECT_EQ(parseFilter({{"from", "2024-02-29"}, {"to", "2024-02-29"}}, "x").toExclusiveTime(), "2024-03-01 00:00:00");
    EXPECT_EQ(surveyLanguage("1. Wurde Ihr Problem durch den Remote-Support gelöst?"), "de");
    EXPECT_EQ(surveyLanguage("1. something else"), "");
}

TEST(SurveyExportTest, CsvAndJsonKeepHostileTextsInert) {
    EXPECT_EQ(csvField("=HYPERLINK(\"http://x\")"), "\"'=HYPERLINK(\"\"http://x\"\")\"");
    EXPECT_EQ(csvField("+1"), "'+1");
    EXPECT_EQ(csvField("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(csvField("\tx"), "'\tx");
    EXPECT_EQ(csvField("a,b\nc"), "\"a,b\nc\"");
    EXPECT_EQ(csvField("plain"), "plain");

    SurveyRow r{fact(7, "2026-11-02 10:00:00", "DE", {1, 2, 1, 0, 7}), "-2+3", "<script>", "x"};
    const std::string csv = surveysCsv({r});
    EXPECT_EQ(csv.substr(csv.find("\r\n") + 2),
              "7,2026-11-02 10:00:00,'-2+3,<script>,DE,QE55Q80TV,T-1,x,en,Yes,Satisfied,9,,Very dissatisfied\r\n");
    const std::string json = surveysJson({r});
    EXPECT_NE(json.find("\"duid\":\"\\u003cscript\\u003e\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"q3_recommend_0_9\":9,\"q4_explanation_satisfaction\":null"), std::string::npos);
    EXPECT_EQ(jsonString("a\"\\\x01\xff\xe2\x80\xa8"), "\"a\\\"\\\\\\u0001\\ufffd\\u2028\"");
}

TEST(DashboardTest, EveryRequestNeedsASessionAndSignInIsGuarded) {
    FakeData data;
    data.hashes["ops"] = hashPassword("s3cret-pass");
    data.rows.push_back({fact(1, "2026-11-02 10:00:00", "DE", {1, 1, 1, 1, 1}), "S-1", "D-1", "L"});
    FakeClock clock;
    DashboardOptions options;
    options.auth.clock = clock.fn();
    options.today = [] { return std::string("2026-11-30"); };
    Dashboard dash(data, options);
    const auto get = [&](const std::string& target, const std::string& cookie = "") {
        return dash.handle({"GET", target, cookie, "", "127.0.0.1:8443", ""}, "127.0.0.1");
    };

    for (const char* t : {"/dashboard/api/summary", "/dashboard/api/surveys?page=0", "/dashboard/export.csv",
                          "/dashboard/export.json", "/dashboard/static/dashboard.js"})
        EXPECT_EQ(get(t).status, 401u) << t;
    const WebResponse page = get("/dashboard/");
    EXPECT_EQ(page.status, 303u);
    EXPECT_EQ(header(page, "Location"), "/dashboard/login");
    EXPECT_EQ(get("/dashboard/login").status, 200u);

    // A form from another site is refused before any password is checked.
    EXPECT_EQ(dash.handle({"POST", "/dashboard/login", "", "https://evil.example", "127.0.0.1:8443",
                           "user=ops&password=s3cret-pass"}, "127.0.0.1").status, 403u);
    const WebResponse bad = dash.handle({"POST", "/dashboard/login", "", "", "h", "user=ops&password=nope"}, "127.0.0.1");
    EXPECT_EQ(bad.status, 401u);
    EXPECT_EQ(header(bad, "Set-Cookie"), "");
    const WebResponse ok = dash.handle({"POST", "/dashboard/login", "", "https://127.0.0.1:8443", "127.0.0.1:8443",
                                        "user=ops&password=s3cret-pass"}, "127.0.0.1");
    ASSERT_EQ(ok.status, 303u);
    const std::string setCookie = header(ok, "Set-Cookie");
    for (const char* flag : {"; HttpOnly", "; Secure", "; SameSite=Strict", "; Path=/dashboard"})
        EXPECT_NE(setCookie.find(flag), std::string::npos) << flag;
    const std::string cookie = "other=1; " + setCookie.substr(0, setCookie.find(';'));

    const WebResponse summary = get("/dashboard/api/summary?from=2026-11-01&to=2026-11-30", cookie);
    EXPECT_EQ(summary.status, 200u);
    EXPECT_NE(summary.body.find("\"surveys\":1,\"problemSolved\":1"), std::string::npos);
    EXPECT_EQ(get("/dashboard/api/summary?from=2026-13-01", cookie).status, 400u);
    const WebResponse csv = get("/dashboard/export.csv?from=2026-11-01&country=DE", cookie);
    EXPECT_EQ(csv.status, 200u);
    EXPECT_NE(csv.body.find("\r\n1,2026-11-02 10:00:00,S-1,D-1,DE,"), std::string::npos);
    EXPECT_NE(header(csv, "Content-Disposition").find("attachment"), std::string::npos);
    EXPECT_EQ(get("/dashboard/", cookie).status, 200u);
    EXPECT_NE(header(get("/dashboard/", cookie), "Content-Security-Policy").find("script-src 'self'"), std::string::npos);

    const WebResponse out = dash.handle({"POST", "/dashboard/logout", cookie, "", "h", ""}, "127.0.0.1");
    EXPECT_EQ(out.status, 303u);
    EXPECT_NE(header(out, "Set-Cookie").find("Max-Age=0"), std::string::npos);
    EXPECT_EQ(get("/dashboard/api/summary", cookie).status, 401u);

    // Guessing from one address ends in 429 with Retry-After.
    WebResponse last;
    for (int i = 0; i < 6; ++i)
        last = dash.handle({"POST", "/dashboard/login", "", "", "h", "user=ops&password=guess" + std::to_string(i)},
                           "203.0.113.5");
    EXPECT_EQ(last.status, 429u);
    EXPECT_EQ(header(last, "Retry-After"), "900");
}
