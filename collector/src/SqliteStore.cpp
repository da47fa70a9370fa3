// The embedded backend: one SQLite file in WAL mode, one connection shared under a lock.
#include "StoreBackends.h"

#include <sqlite3.h>

#include <mutex>
#include <unordered_map>
#include <stdexcept>

namespace collector {

namespace {

// Statements kept prepared between uses: parsing and planning an insert costs as much as running
// it, and an upload runs the same few statements every time. Dashboard queries with filters vary,
// so the cache is bounded. A statement in use stays marked so; a nested use of the same text
// prepares one of its own, which is finalized after it.
class StatementCache {
public:
    explicit StatementCache(sqlite3* db) : m_db(db) {}
    ~StatementCache() { clear(); }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // A statement ready to bind, or null when the text does not prepare; hand it back with give().
    sqlite3_stmt* take(const std::string& sql) {
        const auto it = m_ready.find(sql);
        if (it != m_ready.end() && !it->second.inUse) {
            it->second.inUse = true;
            return it->second.stmt;
        }
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(m_db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                               nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return nullptr;
        }
        if (it == m_ready.end()) {
            if (m_ready.size() >= kCapacity)
                clear();
            m_ready.emplace(sql, Entry{stmt, true});
        }
        return stmt;
    }

    void give(const std::string& sql, sqlite3_stmt* stmt) {
        const auto it = m_ready.find(sql);
        if (it == m_ready.end() || it->second.stmt != stmt) {
            sqlite3_finalize(stmt);
            return;
        }
        // A reset also ends a read, which would otherwise hold the WAL's snapshot.
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        it->second.inUse = false;
    }

private:
    struct Entry {
        sqlite3_stmt* stmt;
        bool inUse;
    };

    // Only between uses: a statement in use is finalized by its give().
    void clear() {
        for (auto it = m_ready.begin(); it != m_ready.end();) {
            if (it->second.inUse) {
                ++it;
                continue;
            }
            sqlite3_finalize(it->second.stmt);
            it = m_ready.erase(it);
        }
    }

    static constexpr size_t kCapacity = 64;
    sqlite3* m_db;
    std::unordered_map<std::string, Entry> m_ready;
};

class SqliteSession : public SqlSession {
public:
    SqliteSession(sqlite3* db, StatementCache& cache) : m_db(db), m_cache(cache) {}

    eDialect dialect() const override { return eDialect::SQLite; }

    QueryResult query(const std::string& sql, const SqlParams& params) override {
        QueryResult out;
        run(sql, params, &out);
        return out;
    }

    void scan(const std::string& sql, const SqlParams& params, const RowVisitor& visit) override {
        run(sql, params, nullptr, &visit);
    }

    int64_t execute(const std::string& sql, const SqlParams& params) override {
        run(sql, params, nullptr);
        return sqlite3_changes64(m_db);
    }

    void script(const std::string& sql) override {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string message = err ? err : sqlite3_errmsg(m_db);
            sqlite3_free(err);
            throw std::runtime_error("sqlite: " + message);
        }
    }

private:
    [[noreturn]] void fail(const char* what) const {
        throw std::runtime_error(std::string("sqlite ") + what + ": " + sqlite3_errmsg(m_db));
    }

    void run(const std::string& sql, const SqlParams& params, QueryResult* out, const RowVisitor* visit = nullptr) {
        sqlite3_stmt* const raw = m_cache.take(sql);
        if (!raw)
            fail("prepare");
        struct Give {
            StatementCache& cache;
            const std::string& sql;
            sqlite3_stmt* stmt;
            ~Give() { cache.give(sql, stmt); }
        } const give{m_cache, sql, raw};
        if (static_cast<size_t>(sqlite3_bind_parameter_count(raw)) != params.size())
            throw std::runtime_error("sqlite: " + std::to_string(params.size()) + " parameters for " + sql);
        for (size_t i = 0; i < params.size(); ++i) {
            const int at = static_cast<int>(i + 1);
            int rc = SQLITE_OK;
            if (const auto* n = std::get_if<int64_t>(&params[i]))
                rc = sqlite3_bind_int64(raw, at, *n);
            else if (const auto* t = std::get_if<std::string>(&params[i]))
                rc = sqlite3_bind_text(raw, at, t->data(), static_cast<int>(t->size()), SQLITE_STATIC);
            else
                rc = sqlite3_bind_null(raw, at);
            if (rc != SQLITE_OK)
                fail("bind");
        }
        const int columns = sqlite3_column_count(raw);
        if (out)
            for (int c = 0; c < columns; ++c)
                out->columns.emplace_back(sqlite3_column_name(raw, c));
        SqlRow view;
        for (;;) {
            const int rc = sqlite3_step(raw);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                fail("step");
            if (visit) {
                view.resize(static_cast<size_t>(columns));
                for (int c = 0; c < columns; ++c) {
                    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
                    view[static_cast<size_t>(c)] =
                        t ? std::string_view(t, static_cast<size_t>(sqlite3_column_bytes(raw, c))) : std::string_view();
                }
                (*visit)(view);
            }
            if (!out)
                continue;
            auto& row = out->rows.emplace_back();
            for (int c = 0; c < columns; ++c) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
                if (t)
                    row.emplace_back(std::string(t, static_cast<size_t>(sqlite3_column_bytes(raw, c))));
                else
                    row.emplace_back(std::nullopt);
            }
        }
    }

    sqlite3* m_db;
    StatementCache& m_cache;
};

class SqliteStore : public Store {
public:
    SqliteStore(const std::string& path, eOpenMode mode) : m_path(path) {
        if (path.empty())
            throw std::runtime_error("no database path");
        // m_mutex serialises every use of the connection already; SQLite's own mutex on top
        // costs a lock per column read, a tenth of the time of reading 100,000 rows.
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX |
                          (mode == eOpenMode::Create ? SQLITE_OPEN_CREATE : 0);
        if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
            const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
            sqlite3_close(m_db);
            throw std::runtime_error("cannot open database " + path + ": " + message);
        }
        m_cache = std::make_unique<StatementCache>(m_db);
        try {
            // A report or a second process may use the file at the same time; they wait for
            // each other briefly instead of failing.
            sqlite3_busy_timeout(m_db, 5000);
            SqliteSession s(m_db, *m_cache);
            s.script("PRAGMA foreign_keys = ON");
            s.script("PRAGMA journal_mode = WAL");
            // FULL syncs the log on every commit: an upload answered "ok" survives a crash of
            // the machine, which the television would never resend.
            s.script("PRAGMA synchronous = FULL");
        } catch (...) {
            m_cache.reset();
            sqlite3_close(m_db);
            throw;
        }
    }
    ~SqliteStore() override {
        m_cache.reset();  // a connection with statements left is not closed
        sqlite3_close(m_db);
    }

    eDialect dialect() const override { return eDialect::SQLite; }
    std::string describe() const override { return "sqlite:" + m_path; }

    QueryResult query(const std::string& sql, const SqlParams& params) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return SqliteSession(m_db, *m_cache).query(sql, params);
    }

    void scan(const std::string& sql, const SqlParams& params, const RowVisitor& visit) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        SqliteSession(m_db, *m_cache).scan(sql, params, visit);
    }

    int64_t execute(const std::string& sql, const SqlParams& params) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return SqliteSession(m_db, *m_cache).execute(sql, params);
    }

    void transaction(const std::function<void(SqlSession&)>& work) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        SqliteSession s(m_db, *m_cache);
        // IMMEDIATE takes the write lock at once, so two writers never both read and then
        // deadlock on upgrading.
        s.execute("BEGIN IMMEDIATE", {});
        try {
            work(s);
            s.execute("COMMIT", {});
        } catch (...) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

private:
    std::string m_path;
    sqlite3* m_db = nullptr;
    std::unique_ptr<StatementCache> m_cache;
    mutable std::mutex m_mutex;
};

} // namespace

std::unique_ptr<Store> openSqliteStore(const std::string& path, Store::eOpenMode mode) {
    return std::make_unique<SqliteStore>(path, mode);
}

} // namespace collector
