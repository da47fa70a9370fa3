#include "collector/Dashboard.h"

#include "WebAssets.h"
#include "collector/Json.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace collector {

const char* const kSessionCookie = "tavdash";

namespace {

const char* const kPrefix = "/dashboard";

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecode(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Every answer: nothing is cached, nothing is framed, no script or style from elsewhere.
void secure(WebResponse& r) {
    r.headers.emplace_back("Cache-Control", "no-store");
    r.headers.emplace_back("X-Content-Type-Options", "nosniff");
    r.headers.emplace_back("X-Frame-Options", "DENY");
    // "same-origin", not "no-referrer": with the latter a browser posts forms with "Origin: null",
    // and the sign-in could no longer tell its own form from another site's.
    r.headers.emplace_back("Referrer-Policy", "same-origin");
    r.headers.emplace_back("Content-Security-Policy",
                           "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                           "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    r.headers.emplace_back("Strict-Transport-Security", "max-age=31536000");
}

WebResponse reply(unsigned status, const std::string& type, std::string body) {
    WebResponse r;
    r.status = status;
    r.headers.emplace_back("Content-Type", type);
    r.body = std::move(body);
    return r;
}

WebResponse redirect(const std::string& to) {
    WebResponse r = reply(303, "text/plain; charset=utf-8", "see " + to + "\n");
    r.headers.emplace_back("Location", to);
    return r;
}

WebResponse jsonError(unsigned status, const std::string& message) {
    return reply(status, "application/json", "{\"error\":" + jsonString(message) + "}\n");
}

std::string sessionCookie(const std::string& value, bool expire) {
    return std::string(kSessionCookie) + "=" + value + "; Path=/dashboard; HttpOnly; Secure; SameSite=Strict" +
           (expire ? "; Max-Age=0" : "");
}

// A form posted from another site is refused even though the cookie would not go with it:
// it could still sign the browser in to an account of the attacker's choosing.
bool sameOrigin(const WebRequest& r) {
    return r.origin.empty() || r.origin == "https://" + r.host;
}

} // namespace

std::map<std::string, std::string> parseQuery(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    std::string pair;
    while (std::getline(in, pair, '&')) {
        if (pair.empty())
            continue;
        const size_t eq = pair.find('=');
        out[percentDecode(pair.substr(0, eq))] = eq == std::string::npos ? "" : percentDecode(pair.substr(eq + 1));
    }
    return out;
}

std::string cookieValue(const std::string& header, const std::string& name) {
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find(';', at);
        if (end == std::string::npos)
            end = header.size();
        std::string item = header.substr(at, end - at);
        const size_t first = item.find_first_not_of(' ');
        item.erase(0, first == std::string::npos ? item.size() : first);
        if (item.compare(0, name.size() + 1, name + "=") == 0)
            return item.substr(name.size() + 1);
        at = end + 1;
    }
    return "";
}

Dashboard::Dashboard(DashboardData& data, DashboardOptions options)
    : m_data(data),
      m_options(std::move(options)),
      m_auth([&data](const std::string& name) { return data.operatorHash(name); }, m_options.auth, data.sessions(),
             data.failures()) {}

WebResponse Dashboard::handle(const WebRequest& request, const std::string& client) {
    const size_t q = request.target.find('?');
    const std::string path = request.target.substr(0, q);
    const std::map<std::string, std::string> query =
        parseQuery(q == std::string::npos ? "" : request.target.substr(q + 1));
    const std::string sub = path.compare(0, 10, kPrefix) == 0 ? path.substr(10) : path;
    const bool get = request.method == "GET" || request.method == "HEAD";

    WebResponse r;
    const std::optional<std::string> who = m_auth.operatorOf(cookieValue(request.cookie, kSessionCookie));
    if (sub == "/login" && get) {
        r = who ? redirect("/dashboard/") : loginPage(200, query.count("out") ? "You are signed out." : "");
    } else if (sub == "/login" && request.method == "POST") {
        r = login(request, client);
    } else if (sub == "/logout" && request.method == "POST") {
        r = logout(request);
    } else if (sub == "/static/style.css" && get) {
        r = staticFile("style.css");
    } else if (!get) {
        r = reply(405, "text/plain; charset=utf-8", "method not allowed\n");
        r.headers.emplace_back("Allow", "GET");
    } else if (!who) {
        // Pages send the browser to the sign-in page; data and exports just refuse.
        if (sub.empty() || sub == "/")
            r = redirect("/dashboard/login");
        else
            r = jsonError(401, "sign in first");
    } else if (sub.empty() || sub == "/") {
        r = staticFile("index.html");
    } else if (sub.compare(0, 8, "/static/") == 0) {
        r = staticFile(sub.substr(8));
    } else {
        r = data(sub, query);
    }
    secure(r);
    return r;
}

WebResponse Dashboard::loginPage(unsigned status, const std::string& message) const {
    const WebAsset* page = findWebAsset("login.html");
    std::string html(page->data);
    const std::string mark = "<!--message-->";
    const size_t at = html.find(mark);
    // Only fixed texts of ours go in; nothing a client sent.
    if (at != std::string::npos)
        html.replace(at, mark.size(), message);
    return reply(status, page->type, std::move(html));
}

WebResponse Dashboard::login(const WebRequest& request, const std::string& client) {
    if (!sameOrigin(request))
        return reply(403, "text/plain; charset=utf-8", "cross-site sign-in refused\n");
    const auto form = parseQuery(request.body);
    const auto field = [&](const char* name) {
        const auto it = form.find(name);
        return it == form.end() ? std::string() : it->second;
    };
    const OperatorAuth::LoginResult result = m_auth.login(field("user"), field("password"), client);
    switch (result.result) {
    case OperatorAuth::eLogin::Ok: {
        WebResponse r = redirect("/dashboard/");
        r.headers.emplace_back("Set-Cookie", sessionCookie(result.token, false));
        return r;
    }
    case OperatorAuth::eLogin::Throttled: {
        WebResponse r = loginPage(429, "Too many failed sign-ins. Try again in " +
                                           std::to_string((result.retryAfter.count() + 59) / 60) + " minutes.");
        r.headers.emplace_back("Retry-After", std::to_string(result.retryAfter.count()));
        return r;
    }
    case OperatorAuth::eLogin::Refused:
        break;
    }
    return loginPage(401, "Wrong name or password.");
}

WebResponse Dashboard::logout(const WebRequest& request) {
    if (!sameOrigin(request))
        return reply(403, "text/plain; charset=utf-8", "cross-site sign-out refused\n");
    m_auth.logout(cookieValue(request.cookie, kSessionCookie));
    WebResponse r = redirect("/dashboard/login?out");
    r.headers.emplace_back("Set-Cookie", sessionCookie("", true));
    return r;
}

WebResponse Dashboard::staticFile(const std::string& name) const {
    if (name == "chart.min.js") {
        // Debian's copy, read each time: an upgrade of the package shows without a restart.
        std::ifstream in(m_options.chartJs, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in)
            return reply(404, "text/plain; charset=utf-8", "chart.js not installed (libjs-chart.js)\n");
        return reply(200, "text/javascript; charset=utf-8", text.str());
    }
    const WebAsset* asset = findWebAsset(name);
    if (!asset || name == "login.html")
        return reply(404, "text/plain; charset=utf-8", "not found\n");
    return reply(200, asset->type, std::string(asset->data));
}

WebResponse Dashboard::data(const std::string& path, const std::map<std::string, std::string>& query) {
    SurveyFilter filter;
    try {
        filter = parseFilter(query, m_options.today ? m_options.today() : todayUtc());
    } catch (const std::invalid_argument& e) {
        return jsonError(400, e.what());
    }
    if (path == "/api/summary") {
        SummaryBuilder summary(filter);
        m_data.facts(filter, [&](const SurveyFact& f) { summary.add(f); });
        return reply(200, "application/json", summary.json());
    }
    if (path == "/api/surveys") {
        int64_t page = 0;
        try {
            page = query.count("page") ? std::stoll(query.at("page")) : 0;
        } catch (const std::exception&) {
            page = -1;
        }
        if (page < 0 || page > 1000000)
            return jsonError(400, "page must be a number from 0");
        // One more than a page tells whether there is a next one.
        std::vector<SurveyRow> rows = m_data.surveys(filter, true, page * kSurveysPerPage, kSurveysPerPage + 1);
        const bool more = rows.size() > static_cast<size_t>(kSurveysPerPage);
        if (more)
            rows.pop_back();
        return reply(200, "application/json",
                     "{\"page\":" + std::to_string(page) + ",\"perPage\":" + std::to_string(kSurveysPerPage) +
                         ",\"more\":" + (more ? "true" : "false") + ",\"surveys\":" + surveysJson(rows) + "}\n");
    }
    if (path == "/export.csv" || path == "/export.json") {
        const bool csv = path == "/export.csv";
        const std::vector<SurveyRow> rows = m_data.surveys(filter, false, 0, -1);
        WebResponse r = csv ? reply(200, "text/csv; charset=utf-8", surveysCsv(rows))
                            : reply(200, "application/json", surveysJson(rows));
        r.headers.emplace_back("Content-Disposition", "attachment; filename=\"surveys_" + filter.from + "_" +
                                                          filter.to + (csv ? ".csv\"" : ".json\""));
        return r;
    }
    return jsonError(404, "no such dashboard request");
}

} // namespace collector
