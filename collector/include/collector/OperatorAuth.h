// Operator sign-in for the dashboard: Argon2id password hashes, sessions held by the collector
// process, and a brake on password guessing per account and per client address.
#pragma once

#include <chrono>
#include <cstddef>
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

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// Counts failed sign-ins per key; `maxFailures` within `window` lock the key for `lockout`.
// Keys that go quiet are forgotten, and at most `maxKeys` are tracked (the stalest go first),
// so a flood of made-up names cannot grow it without bound.
class FailureLimiter {
public:
    struct Limits {
        int maxFailures = 5;
        std::chrono::seconds window{15 * 60};
        std::chrono::seconds lockout{15 * 60};
    };
    FailureLimiter(Limits limits, size_t maxKeys = 10000) : m_limits(limits), m_maxKeys(maxKeys) {}

    // How long the key must wait before its next attempt; zero when it may try now.
    std::chrono::seconds wait(const std::string& key, std::chrono::steady_clock::time_point now) const;
    void failed(const std::string& key, std::chrono::steady_clock::time_point now);
    // Takes one failure back: an attempt is counted before its password is checked, so that
    // parallel guesses cannot slip past the limit while the (slow) check runs.
    void forgive(const std::string& key);
    void clear(const std::string& key) { m_keys.erase(key); }
    size_t tracked() const { return m_keys.size(); }

private:
    struct Entry {
        int failures = 0;
        std::chrono::steady_clock::time_point windowStart{};
        std::chrono::steady_clock::time_point lockedUntil{};
        std::chrono::steady_clock::time_point lastSeen{};
    };
    void prune(std::chrono::steady_clock::time_point now);

    Limits m_limits;
    size_t m_maxKeys;
    std::map<std::string, Entry> m_keys;
};

struct AuthOptions {
    FailureLimiter::Limits perAccount{5, std::chrono::minutes(15), std::chrono::minutes(15)};
    FailureLimiter::Limits perAddress{20, std::chrono::minutes(15), std::chrono::minutes(15)};
    std::chrono::seconds idleTimeout{30 * 60};
    std::chrono::seconds maxSessionAge{12 * 60 * 60};
    SteadyClock clock;  // null: the steady clock
};

class OperatorAuth {
public:
    // The stored hash of an operator, or nothing for an unknown name.
    using HashLookup = std::function<std::optional<std::string>(const std::string& name)>;

    explicit OperatorAuth(HashLookup lookup, AuthOptions options = {});

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

private:
    struct Session {
        std::string name;
        std::chrono::steady_clock::time_point created;
        std::chrono::steady_clock::time_point lastUsed;
    };
    std::chrono::steady_clock::time_point now() const;
    const std::string& dummyHash();

    HashLookup m_lookup;
    AuthOptions m_options;
    std::mutex m_mutex;
    FailureLimiter m_accounts;
    FailureLimiter m_addresses;
    std::map<std::string, Session> m_sessions;
    std::string m_dummyHash;
};

} // namespace collector
