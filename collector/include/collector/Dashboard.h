// The operators' dashboard under /dashboard: sign-in, the page and its data requests, exports.
//
//   GET  /dashboard                      the page (303 to the sign-in page without a session)
//   GET  /dashboard/login                sign-in page;  POST it (form "user", "password")
//   POST /dashboard/logout               ends the session
//   GET  /dashboard/api/summary?FILTER   figures of the page (JSON)
//   GET  /dashboard/api/surveys?FILTER&page=N   latest surveys, newest first, 25 a page
//   GET  /dashboard/export.csv?FILTER, /dashboard/export.json?FILTER
//   GET  /dashboard/static/NAME          the page's scripts and style; chart.js from the system
// FILTER: from, to (YYYY-MM-DD, UTC, both days included), country, model, firmware, language.
// Data requests and exports without a session get 401, pages a redirect to the sign-in page.
#pragma once

#include "collector/OperatorAuth.h"
#include "collector/SurveyExport.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace collector {

// What the dashboard reads from the database.
class DashboardData {
public:
    virtual ~DashboardData() = default;
    // The facts of the surveys received in the filter's date range (the other filters unapplied),
    // one call each; their receivedAt may hold the day alone, and their id may be left 0.
    virtual void facts(const SurveyFilter& range, const std::function<void(const SurveyFact&)>& each) = 0;
    // Surveys that match the whole filter, by received time; `limit` < 0 takes all.
    virtual std::vector<SurveyRow> surveys(const SurveyFilter& filter, bool newestFirst, int64_t offset,
                                           int64_t limit) = 0;
    virtual std::optional<std::string> operatorHash(const std::string& name) = 0;
    // Where the sessions live when other processes must see them too; null: in this process.
    virtual SessionTable* sessions() { return nullptr; }
    // Likewise for the counts of failed sign-ins.
    virtual FailureCounter* failures() { return nullptr; }
};

// The parts of a request the dashboard looks at.
struct WebRequest {
    std::string method;
    std::string target;  // path and query
    std::string cookie;  // the "Cookie" header
    std::string origin;  // the "Origin" header, empty when not sent
    std::string host;    // the "Host" header
    std::string body;
};

struct WebResponse {
    unsigned status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct DashboardOptions {
    std::string chartJs = "/usr/share/javascript/chart.js/chart.min.js";
    AuthOptions auth;
    std::function<std::string()> today;  // null: todayUtc
};

constexpr int kSurveysPerPage = 25;
extern const char* const kSessionCookie;

class Dashboard {
public:
    Dashboard(DashboardData& data, DashboardOptions options = {});

    // Every request whose path is /dashboard or under it. `client` is the peer's address.
    WebResponse handle(const WebRequest& request, const std::string& client);

private:
    WebResponse loginPage(unsigned status, const std::string& message) const;
    WebResponse login(const WebRequest& request, const std::string& client);
    WebResponse logout(const WebRequest& request);
    WebResponse staticFile(const std::string& name) const;
    WebResponse data(const std::string& path, const std::map<std::string, std::string>& query);

    DashboardData& m_data;
    DashboardOptions m_options;
    OperatorAuth m_auth;
};

// Decodes "a=1&b=x%20y" (also '+' for a space); a later repeat of a name wins.
std::map<std::string, std::string> parseQuery(const std::string& text);
// The value of one cookie of a "Cookie" header, "" when it is not there.
std::string cookieValue(const std::string& header, const std::string& name);

} // namespace collector
