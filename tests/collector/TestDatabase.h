// A database of its own for one test, on either backend: an SQLite file in a temporary folder,
// or a new database on the PostgreSQL server that the pg_up fixture started for the test run.
#pragma once

#include "TestSupport.h"

#include <string>

namespace coltest {

class TestDatabase {
public:
    // `backend` is "sqlite" or "postgresql". Without a PostgreSQL server, dbText() stays empty and
    // missing() says why.
    explicit TestDatabase(const std::string& backend);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& dbText() const { return m_dbText; }  // the --db text
    const std::string& missing() const { return m_missing; }

private:
    tavtest::TempDir m_dir;
    std::string m_admin;  // URI of the server's "postgres" database
    std::string m_name;
    std::string m_dbText;
    std::string m_missing;
};

// For SetUp(): skips the test when PostgreSQL is missing, or fails it when TAV_REQUIRE_POSTGRES=1.
#define TAV_REQUIRE_DATABASE(db)                                                                     \
    do {                                                                                             \
        if ((db).dbText().empty()) {                                                                   \
            if (const char* r = std::getenv("TAV_REQUIRE_POSTGRES"); r && *r == '1')                 \
                FAIL() << "PostgreSQL 15 required (TAV_REQUIRE_POSTGRES=1): " << (db).missing();     \
            GTEST_SKIP() << (db).missing();                                                          \
        }                                                                                            \
    } while (0)

} // namespace coltest
