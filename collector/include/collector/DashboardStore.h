// The dashboard's tables in the collector's database: "survey_facts" (one narrow row per stored
// survey, written in the upload's own transaction, so that the figures of 100,000 surveys are
// one index range scan away), "operators" (the dashboard's accounts) and "operator_sessions"
// (who is signed in, for every collector on the database) and "signin_failures" (the brake on
// password guessing, likewise shared).
#pragma once

#include "collector/Dashboard.h"
#include "collector/Store.h"

namespace collector {

// Writes the facts row of a stored upload; called inside the upload's transaction.
void insertFact(SqlSession& session, int64_t uploadId, const SurveyFact& fact);
// The "day" column of a facts row: days since 1970-01-01 of the received time, -1 when unreadable.
int64_t factDay(const std::string& receivedAt);

class StoreSessionTable : public SessionTable {
public:
    explicit StoreSessionTable(Store& store) : m_store(store) {}
    void put(const std::string& key, const SessionRecord& session) override;
    std::optional<SessionRecord> find(const std::string& key) override;
    void touch(const std::string& key, int64_t lastUsed) override;
    void remove(const std::string& key) override;
    void expire(int64_t idleBefore, int64_t createdBefore) override;

private:
    Store& m_store;
};

// Failed sign-ins counted in the database, so that N collectors behind a balancer do not allow
// N times the guesses. Quiet keys are deleted as new attempts come.
class StoreFailureCounter : public FailureCounter {
public:
    explicit StoreFailureCounter(Store& store) : m_store(store) {}
    std::chrono::seconds attempt(const std::string& key, const FailureLimits& limits, int64_t now) override;
    void forgive(const std::string& key) override;
    void clear(const std::string& key) override;

private:
    Store& m_store;
};

class StoreDashboardData : public DashboardData {
public:
    explicit StoreDashboardData(Store& store) : m_store(store), m_sessions(store), m_failures(store) {}

    // Writes the facts of uploads stored before the dashboard existed; gives how many.
    int64_t backfill();

    void facts(const SurveyFilter& range, const std::function<void(const SurveyFact&)>& each) override;
    std::vector<SurveyRow> surveys(const SurveyFilter& filter, bool newestFirst, int64_t offset,
                                   int64_t limit) override;
    std::optional<std::string> operatorHash(const std::string& name) override;
    SessionTable* sessions() override { return &m_sessions; }
    FailureCounter* failures() override { return &m_failures; }

private:
    Store& m_store;
    StoreSessionTable m_sessions;
    StoreFailureCounter m_failures;
};

// Adds an operator; throws std::runtime_error when the name is taken or not acceptable
// (1-64 printable ASCII characters without spaces).
void addOperator(Store& store, const std::string& name, const std::string& passwordHash);

} // namespace collector
