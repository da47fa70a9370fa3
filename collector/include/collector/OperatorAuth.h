// Operator sign-in for the dashboard: Argon2id password hashes, sessions in a table that every
// collector on the same database shares (so that a balancer may send an operator's requests to
// any of them), and a brake on password guessing per account and per client address.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace collector {

// Argon2id (libsodium's interactive limits) in libsodium's self-describing text form.
// Throws std::runtime_error when libsodium cannot be used or memory runs out.
std::string hashPassword(const std::string& password);
// False also for a text that is no hash of ours.
bool verifyPassword(const std::string& hash, const std::string& password);
// 32 random bytes, URL-safe base64 without padding.
std::string randomToken();

using WallClock = std::function<int64_t()>;  // seconds since 1970, UTC

// A signed-in operator. Times are wall-clock seconds, comparable between processes.
struct SessionRecord {
    std::string name;
    int64_t created = 0;
    int64_t lastUsed = 0;
};

// Where sessions live, keyed by a digest of their token (never the token itself, so that a copy
// of the table or of memory hands out no usable session). Implementations are thread-safe.
class SessionTable {
public:
    virtual ~SessionTable() = default;
    virtual void put(const std::string& key, const SessionRecord& session) = 0;
    virtual std::optional<SessionRecord> find(const std::string& key) = 0;
    virtual void touch(const std::string& key, int64_t lastUsed) = 0;
    virtual void remove(const std::string& key) = 0;
    // Removes every session last used before `idleBefore` or created before `createdBefore`.
    virtual void expire(int64_t idleBefore, int64_t createdBefore) = 0;
};

// Sessions of this process alone.
class MemorySessionTable : public SessionTable {
public:
    void put(const std::string& key, const SessionRecord& session) override;
    std::optional<SessionRecord> find(const std::string& key) override;
    void touch(const std::string& key, int64_t lastUsed) override;
    void remove(const std::string& key) override;
    void expire(int64_t idleBefore, int64_t createdBefore) override;

private:
    std::mutex m_mutex;
    std::map<std::string, SessionRecord> m_sessions;
};

struct FailureLimits {
    int maxFailures = 5;
    std::chrono::seconds window{15 * 60};
    std::chrono::seconds lockout{15 * 60};
};

// One key's failed sign-ins; times in wall-clock seconds.
struct FailureCount {
    int failures = 0;
    int64_t windowStart = 0;
    int64_t lockedUntil = 0;
    int64_t lastSeen = 0;
};
// How long `c` is still locked at `now`; zero when it may try.
std::chrono::seconds lockedFor(const FailureCount& c, int64_t now);
// One more failure at `now`: `maxFailures` within `window` lock the key for `lockout`.
void countFailure(FailureCount& c, int64_t now, const FailureLimits& limits);

// Where failed sign-ins are counted, per key ("a:NAME" per account, "c:ADDRESS" per client
// address). Implementations are thread-safe.
class FailureCounter {
public:
    virtual ~FailureCounter() = default;
    // When `key` is locked: how long yet, and nothing is counted. Otherwise one failure is
    // counted at once and zero returned: an attempt counts before its password is checked, so
    // that parallel guesses cannot slip past the limit while the (slow) check runs.
    virtual std::chrono::seconds attempt(const std::string& key, const FailureLimits& limits, int64_t now) = 0;
    // Takes one failure back.
    virtual void forgive(const std::string& key) = 0;
    virtual void clear(const std::string& key) = 0;
};

// Failed sign-ins counted in this process. Keys that go quiet are forgotten, and at most
// `maxKeys` are tracked (the stalest go first, never a locked one while others are left), so
// a flood of made-up names cannot grow it without bound.
class FailureLimiter : public FailureCounter {
public:
    explicit FailureLimiter(size_t maxKeys = 20000) : m_maxKeys(maxKeys) {}
    std::chrono::seconds attempt(const std::string& key, const FailureLimits& limits, int64_t now) override;
    void forgive(const std::string& key) override;
    void clear(const std::string& key) override;
    size_t tracked() const;

private:
    void prune(int64_t now, const FailureLimits& limits);

    size_t m_maxKeys;
    mutable std::mutex m_mutex;
    std::map<std::string, FailureCount> m_keys;
};

struct AuthOptions {
    FailureLimits perAccount{5, std::chrono::minutes(15), std::chrono::minutes(15)};
    FailureLimits perAddress{20, std::chrono::minutes(15), std::chrono::minutes(15)};
    std::chrono::seconds idleTimeout{30 * 60};
    std::chrono::seconds maxSessionAge{12 * 60 * 60};
    WallClock clock;  // null: the system clock
};

class OperatorAuth {
public:
    // The stored hash of an operator, or nothing for an unknown name.
    using HashLookup = std::function<std::optional<std::string>(const std::string& name)>;

    // `sessions`, `failures` null: this process keeps its own.
    explicit OperatorAuth(HashLookup lookup, AuthOptions options = {}, SessionTable* sessions = nullptr,
                          FailureCounter* failures = nullptr);

    enum class eLogin { Ok, Refused, Throttled };
    struct LoginResult {
        eLogin result = eLogin::Refused;
        std::string token;                  // the session, when Ok
        std::chrono::seconds retryAfter{0};  // when Throttled
    };
    // A locked account or address is refused without looking at the password, so guessing
    // gets no answer while the lock lasts, whatever it tries.
    LoginResult login(const std::string& name, const std::string& password, const std::string& address);

    // The operator of a live session (and the session's idle time starts again), or nothing.
    std::optional<std::string> operatorOf(const std::string& token);
    void logout(const std::string& token);

    // How stale a session's recorded last use may get before it is written again, so that a busy
    // page does not write the table on every request; idleness is thus counted to the minute.
    static constexpr int64_t kTouchEvery = 60;

private:
    int64_t now() const;
    const std::string& dummyHash();

    HashLookup m_lookup;
    AuthOptions m_options;
    std::mutex m_mutex;
    FailureLimiter m_ownFailures;
    FailureCounter& m_failures;
    MemorySessionTable m_ownSessions;
    SessionTable& m_sessions;
    std::string m_dummyHash;
};

} // namespace collector
