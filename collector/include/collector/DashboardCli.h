// The dashboard's commands of tavcollector:
//   tavcollector user add NAME --db DB     password from standard input (one line)
//   tavcollector seed --db DB [--count N] [--days D] [--end YYYY-MM-DD] [--random-seed S]
#pragma once

#include "collector/Dashboard.h"
#include "collector/DashboardStore.h"
#include "collector/Http.h"

#include <memory>
#include <string>

namespace collector {

// The dashboard of a serving collector: a database handle of its own (an SQLite file is opened
// twice, a PostgreSQL pool gets its own connections), the facts of older uploads written, and
// the routes under /dashboard added to `router`, which must outlive nothing of this.
class DashboardService {
public:
    DashboardService(const std::string& db, Router& router);

private:
    std::unique_ptr<Store> m_store;
    std::unique_ptr<StoreDashboardData> m_data;
    std::unique_ptr<Dashboard> m_dashboard;
};

// What the server hands a route, in the dashboard's terms, and back.
WebRequest toWebRequest(const HttpRequest& request);
HttpResponse toHttpResponse(WebResponse response);

// argv[1] is the command's name; the result is the process's exit code.
int userCommand(int argc, char** argv);
int seedCommand(int argc, char** argv);

extern const char* const kDashboardUsage;

} // namespace collector
