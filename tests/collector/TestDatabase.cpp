#include "TestDatabase.h"

#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace coltest {

namespace {

void adminCommand(const std::string& uri, const std::string& sql) {
    PGconn* c = PQconnectdb(uri.c_str());
    std::string error;
    if (PQstatus(c) != CONNECTION_OK) {
        error = PQerrorMessage(c);
    } else {
        PGresult* r = PQexec(c, sql.c_str());
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            error = PQerrorMessage(c);
        PQclear(r);
    }
    PQfinish(c);
    if (!error.empty())
        throw std::runtime_error(sql + ": " + error);
}

} // namespace

TestDatabase::TestDatabase(const std::string& backend) {
    if (backend == "sqlite") {
        m_dbText = "sqlite:" + m_dir.file("surveys.sqlite");
        return;
    }
    const char* file = std::getenv("TAV_PG_URI_FILE");
    if (file && tavtest::fileExists(file))
        m_admin = tavtest::readFile(file);
    while (!m_admin.empty() && (m_admin.back() == '\n' || m_admin.back() == ' '))
        m_admin.pop_back();
    const std::string path = "/postgres?";
    const size_t at = m_admin.find(path);
    if (at == std::string::npos) {
        m_missing = "no PostgreSQL test server (apt-get install postgresql-15; tests start it with pg_up)";
        return;
    }
    static std::atomic<int> counter{0};
    m_name = "t" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    adminCommand(m_admin, "CREATE DATABASE " + m_name);
    m_dbText = m_admin.substr(0, at) + "/" + m_name + "?" + m_admin.substr(at + path.size());
}

TestDatabase::~TestDatabase() {
    if (!m_name.empty()) {
        try {
            adminCommand(m_admin, "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        } catch (const std::exception&) {
            // The server goes with pg_down anyway.
        }
    }
}

} // namespace coltest
