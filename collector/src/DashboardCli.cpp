#include "collector/DashboardCli.h"

#include "collector/DashboardStore.h"
#include "collector/OperatorAuth.h"
#include "collector/SurveySeed.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <string>

namespace collector {

const char* const kDashboardUsage =
    "  tavcollector user add NAME --db DB\n"
    "      Adds a dashboard operator; the password (at least 10 characters) is read from\n"
    "      standard input, one line.\n"
    "  tavcollector seed --db DB [--count N] [--days D] [--end YYYY-MM-DD] [--random-seed S]\n"
    "      Stores N made-up surveys (default 1000) received over the D days (default 90) up to\n"
    "      --end (default today, UTC), for demonstrations and benchmarks.\n";

namespace {

constexpr size_t kMinPassword = 10;

// "--name value" pairs from argv[from]; false on anything else.
bool options(int argc, char** argv, int from, std::map<std::string, std::string>& out) {
    for (int i = from; i < argc; i += 2) {
        const std::string name = argv[i];
        if (name.compare(0, 2, "--") != 0 || i + 1 >= argc) {
            std::cerr << "tavcollector: unexpected argument " << name << "\n";
            return false;
        }
        out[name] = argv[i + 1];
    }
    return true;
}

std::string readPassword() {
    // Typed at a terminal it is not echoed; piped in, it is just the first line.
    termios old{};
    const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        std::cerr << "password: " << std::flush;
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::cerr << "\n";
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

WebRequest toWebRequest(const HttpRequest& request) {
    namespace http = boost::beast::http;
    const auto header = [&](http::field f) {
        const auto it = request.find(f);
        return it == request.end() ? std::string() : std::string(it->value());
    };
    return {std::string(request.method_string()), std::string(request.target()), header(http::field::cookie),
            header(http::field::origin), header(http::field::host), request.body()};
}

HttpResponse toHttpResponse(WebResponse response) {
    HttpResponse out;
    out.status = response.status;
    out.headers = std::move(response.headers);
    out.body = std::move(response.body);
    return out;
}

DashboardService::DashboardService(const std::string& db, Router& router)
    : m_store(openStore(db)),
      m_data(std::make_unique<StoreDashboardData>(*m_store)),
      m_dashboard(std::make_unique<Dashboard>(*m_data)) {
    m_data->backfill();
    Dashboard& dashboard = *m_dashboard;
    router.add("", "/dashboard", [&dashboard](const HttpRequest& request, const std::string& client) {
        return toHttpResponse(dashboard.handle(toWebRequest(request), client));
    });
}

int userCommand(int argc, char** argv) {
    std::map<std::string, std::string> o;
    if (argc < 4 || std::string(argv[2]) != "add" || !options(argc, argv, 4, o) || o["--db"].empty() ||
        o.size() != 1) {
        std::cerr << "usage:\n" << kDashboardUsage;
        return 2;
    }
    const std::string name = argv[3];
    const std::string password = readPassword();
    if (password.size() < kMinPassword) {
        std::cerr << "tavcollector: the password needs at least " << kMinPassword << " characters\n";
        return 1;
    }
    const auto store = openStore(o["--db"]);
    addOperator(*store, name, hashPassword(password));
    std::cout << "operator " << name << " added\n";
    return 0;
}

int seedCommand(int argc, char** argv) {
    std::map<std::string, std::string> o;
    if (!options(argc, argv, 2, o) || o["--db"].empty()) {
        std::cerr << "usage:\n" << kDashboardUsage;
        return 2;
    }
    SeedOptions s;
    try {
        if (o.count("--count"))
            s.count = std::stoll(o["--count"]);
        if (o.count("--days"))
            s.days = std::stoi(o["--days"]);
        if (o.count("--random-seed"))
            s.randomSeed = std::stoull(o["--random-seed"]);
    } catch (const std::exception&) {
        std::cerr << "tavcollector: --count, --days and --random-seed take numbers\n";
        return 2;
    }
    s.endDay = o["--end"];
    if (s.count < 0 || s.days < 1) {
        std::cerr << "tavcollector: --count must be 0 or more, --days 1 or more\n";
        return 2;
    }
    const auto store = openStore(o["--db"]);
    std::cout << seedSurveys(*store, s) << " surveys stored\n";
    return 0;
}

} // namespace collector
