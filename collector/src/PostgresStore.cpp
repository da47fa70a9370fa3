// The shared backend: a PostgreSQL database over libpq, with a small pool of connections so
// that request threads do not wait for each other's round trips.
#include "StoreBackends.h"

#include <libpq-fe.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <unordered_map>

namespace collector {

namespace {

constexpr size_t kMaxConnections = 8;
constexpr Oid kInt8Oid = 20;  // bigint, from the server's catalog (pg_type.h is not a client header)

// A connection and the statements prepared on it. Parsing and planning the upload's statement
// costs the server about as much as running it, and every upload sends the same text; dashboard
// queries with filters vary, so the names are bounded.
struct Connection {
    explicit Connection(PGconn* c) : pg(c) {}
    ~Connection() { PQfinish(pg); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    PGconn* pg;
    std::unordered_map<std::string, std::string> prepared;  // types and text -> statement name
    unsigned next = 0;
};
using Conn = std::unique_ptr<Connection>;
struct ResultClearer {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

std::string trimmed(const char* message) {
    std::string s = message ? message : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

// '?' marks become $1, $2, ... except inside '...' literals, "..." identifiers and -- comments.
std::string numberedParameters(const std::string& sql) {
    std::string out;
    out.reserve(sql.size() + 16);
    int next = 1;
    char quote = 0;
    bool comment = false;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (comment) {
            comment = c != '\n';
        } else if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            comment = true;
        } else if (c == '?') {
            out += '$' + std::to_string(next++);
            continue;
        }
        out += c;
    }
    return out;
}

void ignoreNotice(void*, const char*) {}

// Nothing is due on an idle connection of ours (no LISTEN): input there means the server closed
// it (a restart, an administrator), which libpq would notice only at the next statement.
bool stillOpen(PGconn* c) {
    if (PQstatus(c) != CONNECTION_OK)
        return false;
    pollfd p{PQsocket(c), POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

class PgSession : public SqlSession {
public:
    explicit PgSession(Connection& conn) : m_owner(conn) {}

    eDialect dialect() const override { return eDialect::PostgreSQL; }

    QueryResult query(const std::string& sql, const SqlParams& params) override {
        const Result r = run(sql, params);
        QueryResult out;
        const int columns = PQnfields(r.get());
        for (int c = 0; c < columns; ++c)
            out.columns.emplace_back(PQfname(r.get(), c));
        const int rows = PQntuples(r.get());
        out.rows.reserve(static_cast<size_t>(rows));
        for (int i = 0; i < rows; ++i) {
            auto& row = out.rows.emplace_back();
            for (int c = 0; c < columns; ++c) {
                if (PQgetisnull(r.get(), i, c))
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(std::string(PQgetvalue(r.get(), i, c),
                                                 static_cast<size_t>(PQgetlength(r.get(), i, c))));
            }
        }
        return out;
    }

    void scan(const std::string& sql, const SqlParams& params, const RowVisitor& visit) override {
        const Result r = run(sql, params);
        const int columns = PQnfields(r.get());
        const int rows = PQntuples(r.get());
        SqlRow view(static_cast<size_t>(columns));
        for (int i = 0; i < rows; ++i) {
            for (int c = 0; c < columns; ++c)
                view[static_cast<size_t>(c)] =
                    std::string_view(PQgetvalue(r.get(), i, c), static_cast<size_t>(PQgetlength(r.get(), i, c)));
            visit(view);
        }
    }

    int64_t execute(const std::string& sql, const SqlParams& params) override {
        const Result r = run(sql, params);
        return std::strtoll(PQcmdTuples(r.get()), nullptr, 10);
    }

    void script(const std::string& sql) override { check(Result(PQexec(m_owner.pg, sql.c_str())), sql); }

    // A statement of the connection's own (BEGIN, COMMIT); gives its command tag.
    std::string command(const char* sql) {
        const Result r(PQexec(m_owner.pg, sql));
        check(r, sql);
        return PQcmdStatus(r.get());
    }

private:
    Result run(const std::string& sql, const SqlParams& params) {
        std::vector<std::string> texts(params.size());
        std::vector<const char*> values(params.size(), nullptr);
        std::vector<Oid> types(params.size(), 0);  // 0: the server infers the type
        for (size_t i = 0; i < params.size(); ++i) {
            if (const auto* n = std::get_if<int64_t>(&params[i])) {
                texts[i] = std::to_string(*n);
                types[i] = kInt8Oid;
                values[i] = texts[i].c_str();
            } else if (const auto* t = std::get_if<std::string>(&params[i])) {
                values[i] = t->c_str();
            }
        }
        Result r(PQexecPrepared(m_owner.pg, prepared(sql, types).c_str(), static_cast<int>(params.size()),
                                values.data(), nullptr, nullptr, 0));
        check(r, sql);
        return r;
    }

    const std::string& prepared(const std::string& sql, const std::vector<Oid>& types) {
        // The same text with a parameter's type left to the server (a null) is another statement.
        std::string key(types.size(), '?');
        for (size_t i = 0; i < types.size(); ++i)
            key[i] = types[i] ? 'i' : '?';
        key += '\n';
        key += sql;
        const auto found = m_owner.prepared.find(key);
        if (found != m_owner.prepared.end())
            return found->second;
        if (m_owner.prepared.size() >= kMaxPrepared) {
            check(Result(PQexec(m_owner.pg, "DEALLOCATE ALL")), "DEALLOCATE ALL");
            m_owner.prepared.clear();
        }
        std::string name = "tav" + std::to_string(m_owner.next++);
        check(Result(PQprepare(m_owner.pg, name.c_str(), numberedParameters(sql).c_str(), static_cast<int>(types.size()),
                               types.data())),
              sql);
        return m_owner.prepared.emplace(std::move(key), std::move(name)).first->second;
    }

    void check(const Result& r, const std::string& sql) const {
        const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw std::runtime_error("postgresql: " + trimmed(PQerrorMessage(m_owner.pg)) + " (in: " +
                                     sql.substr(0, 80) + ")");
    }

    static constexpr size_t kMaxPrepared = 64;
    Connection& m_owner;
};

class PostgresStore : public Store {
public:
    explicit PostgresStore(std::string uri) : m_uri(std::move(uri)) {
        m_description = "postgresql:";
        char* err = nullptr;
        if (PQconninfoOption* options = PQconninfoParse(m_uri.c_str(), &err)) {
            for (const PQconninfoOption* o = options; o->keyword; ++o)
                for (const char* key : {"host", "port", "dbname", "user"})
                    if (o->val && *o->val && std::strcmp(o->keyword, key) == 0)
                        m_description += std::string(" ") + key + "=" + o->val;
            PQconninfoFree(options);
        } else {
            const std::string message = trimmed(err);
            PQfreemem(err);
            throw std::runtime_error("bad PostgreSQL URI: " + message);
        }
        m_open = 1;
        release(connect());  // fails here, at start, when the server cannot be reached
    }

    eDialect dialect() const override { return eDialect::PostgreSQL; }
    std::string describe() const override { return m_description; }

    QueryResult query(const std::string& sql, const SqlParams& params) const override {
        Lease lease(*this);
        return PgSession(*lease.conn).query(sql, params);
    }

    void scan(const std::string& sql, const SqlParams& params, const RowVisitor& visit) const override {
        Lease lease(*this);
        PgSession(*lease.conn).scan(sql, params, visit);
    }

    int64_t execute(const std::string& sql, const SqlParams& params) override {
        Lease lease(*this);
        return PgSession(*lease.conn).execute(sql, params);
    }

    void transaction(const std::function<void(SqlSession&)>& work) override {
        Lease lease(*this);
        try {
            PgSession(*lease.conn).command("BEGIN");
        } catch (const std::exception&) {
            // A pooled connection the server dropped (a restart) fails only when used: one
            // more try on a new connection, before anything of the work has run.
            if (PQstatus(lease.conn->pg) == CONNECTION_OK)
                throw;
            lease.conn = connect();
            PgSession(*lease.conn).command("BEGIN");
        }
        PgSession s(*lease.conn);
        try {
            work(s);
            // An error swallowed inside `work` leaves an aborted transaction, whose COMMIT
            // answers ROLLBACK instead of failing.
            const std::string tag = s.command("COMMIT");
            if (tag != "COMMIT")
                throw std::runtime_error("postgresql: the transaction was rolled back");
        } catch (...) {
            if (PQstatus(lease.conn->pg) == CONNECTION_OK && PQtransactionStatus(lease.conn->pg) != PQTRANS_IDLE)
                Result(PQexec(lease.conn->pg, "ROLLBACK"));
            throw;
        }
    }

private:
    // A connection taken from the pool for one statement or one transaction.
    struct Lease {
        explicit Lease(const PostgresStore& store) : owner(store), conn(store.acquire()) {}
        ~Lease() { owner.release(std::move(conn)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        const PostgresStore& owner;
        Conn conn;
    };

    Conn connect() const {
        PGconn* const pg = PQconnectdb(m_uri.c_str());
        if (!pg)
            throw std::runtime_error("cannot connect to " + m_description + ": out of memory");
        Conn c = std::make_unique<Connection>(pg);
        if (PQstatus(pg) != CONNECTION_OK)
            throw std::runtime_error("cannot connect to " + m_description + ": " + trimmed(PQerrorMessage(pg)));
        // "already exists, skipping" and the like would go to stderr.
        PQsetNoticeProcessor(c->pg, ignoreNotice, nullptr);
        // The server's default may be off (a test cluster, a tuned one); an upload is answered
        // only after its commit is on disk, whatever the server's setting.
        PgSession(*c).script("SET synchronous_commit = on; SET client_encoding = 'UTF8'");
        return c;
    }

    Conn acquire() const {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_freed.wait(lock, [&] { return !m_idle.empty() || m_open < kMaxConnections; });
        while (!m_idle.empty()) {
            Conn c = std::move(m_idle.back());
            m_idle.pop_back();
            if (stillOpen(c->pg))
                return c;
            --m_open;
        }
        ++m_open;
        lock.unlock();
        try {
            return connect();
        } catch (...) {
            lock.lock();
            --m_open;
            m_freed.notify_one();
            throw;
        }
    }

    void release(Conn c) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (c && PQstatus(c->pg) == CONNECTION_OK && PQtransactionStatus(c->pg) == PQTRANS_IDLE)
            m_idle.push_back(std::move(c));
        else
            --m_open;
        m_freed.notify_one();
    }

    const std::string m_uri;
    std::string m_description;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_freed;
    mutable std::vector<Conn> m_idle;
    mutable size_t m_open = 0;
};

} // namespace

std::unique_ptr<Store> openPostgresStore(const std::string& uri) {
    return std::make_unique<PostgresStore>(uri);
}

} // namespace collector
