#include "collector/OperatorAuth.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace collector {

namespace {

void initSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot be initialised");
}

// Sessions are looked up by a digest of their token (hex, so that any table can hold it).
std::string tokenKey(const std::string& token) {
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()), token.size(),
                       nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

} // namespace

std::string hashPassword(const std::string& password) {
    initSodium();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("password hashing ran out of memory");
    return out;
}

bool verifyPassword(const std::string& hash, const std::string& password) {
    initSodium();
    // libsodium reads the hash as a C string; an embedded NUL would cut it short.
    if (hash.size() >= crypto_pwhash_STRBYTES || hash.find('\0') != std::string::npos ||
        hash.compare(0, sizeof crypto_pwhash_argon2id_STRPREFIX - 1, crypto_pwhash_argon2id_STRPREFIX) != 0)
        return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string randomToken() {
    initSodium();
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char text[sodium_base64_ENCODED_LEN(sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(text, sizeof text, bytes, sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    return text;
}

std::chrono::seconds lockedFor(const FailureCount& c, int64_t now) {
    return std::chrono::seconds(std::max<int64_t>(0, c.lockedUntil - now));
}

void countFailure(FailureCount& c, int64_t now, const FailureLimits& limits) {
    if (c.failures == 0 || now - c.windowStart > limits.window.count()) {
        c.failures = 0;
        c.windowStart = now;
    }
    c.lastSeen = now;
    if (++c.failures >= limits.maxFailures) {
        c.lockedUntil = now + limits.lockout.count();
        c.failures = 0;
    }
}

std::chrono::seconds FailureLimiter::attempt(const std::string& key, const FailureLimits& limits, int64_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_keys.find(key);
    if (it != m_keys.end() && lockedFor(it->second, now).count() > 0)
        return lockedFor(it->second, now);
    if (it == m_keys.end() && m_keys.size() >= m_maxKeys)
        prune(now, limits);
    countFailure(m_keys[key], now, limits);
    return std::chrono::seconds(0);
}

void FailureLimiter::forgive(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_keys.find(key);
    if (it != m_keys.end() && it->second.failures > 0)
        --it->second.failures;
}

void FailureLimiter::clear(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keys.erase(key);
}

size_t FailureLimiter::tracked() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_keys.size();
}

void FailureLimiter::prune(int64_t now, const FailureLimits& limits) {
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        const bool quiet = it->second.lockedUntil <= now && now - it->second.lastSeen > limits.window.count();
        it = quiet ? m_keys.erase(it) : std::next(it);
    }
    // Still full of live keys: drop the half seen longest ago, unlocked ones first, so that a
    // flood of made-up names cannot free a locked account.
    for (const bool dropLocked : {false, true}) {
        if (m_keys.size() < m_maxKeys)
            return;
        std::vector<int64_t> seen;
        for (const auto& [key, c] : m_keys)
            if (dropLocked || c.lockedUntil <= now)
                seen.push_back(c.lastSeen);
        if (seen.empty())
            continue;
        auto middle = seen.begin() + static_cast<std::ptrdiff_t>(seen.size() / 2);
        std::nth_element(seen.begin(), middle, seen.end());
        const int64_t cut = *middle;
        for (auto it = m_keys.begin(); it != m_keys.end();) {
            const bool drop = (dropLocked || it->second.lockedUntil <= now) && it->second.lastSeen <= cut;
            it = drop ? m_keys.erase(it) : std::next(it);
        }
    }
}

void MemorySessionTable::put(const std::string& key, const SessionRecord& session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessions[key] = session;
}

std::optional<SessionRecord> MemorySessionTable::find(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(key);
    return it == m_sessions.end() ? std::nullopt : std::optional<SessionRecord>(it->second);
}

void MemorySessionTable::touch(const std::string& key, int64_t lastUsed) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(key);
    if (it != m_sessions.end())
        it->second.lastUsed = lastUsed;
}

void MemorySessionTable::remove(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessions.erase(key);
}

void MemorySessionTable::expire(int64_t idleBefore, int64_t createdBefore) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        const bool expired = it->second.lastUsed < idleBefore || it->second.created < createdBefore;
        it = expired ? m_sessions.erase(it) : std::next(it);
    }
}

OperatorAuth::OperatorAuth(HashLookup lookup, AuthOptions options, SessionTable* sessions, FailureCounter* failures)
    : m_lookup(std::move(lookup)),
      m_options(std::move(options)),
      m_failures(failures ? *failures : m_ownFailures),
      m_sessions(sessions ? *sessions : m_ownSessions) {
    initSodium();
}

int64_t OperatorAuth::now() const {
    if (m_options.clock)
        return m_options.clock();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

const std::string& OperatorAuth::dummyHash() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dummyHash.empty())
        m_dummyHash = hashPassword(randomToken());
    return m_dummyHash;
}

OperatorAuth::LoginResult OperatorAuth::login(const std::string& name, const std::string& password,
                                              const std::string& address) {
    const std::string accountKey = "a:" + name;
    const std::string addressKey = "c:" + address;
    LoginResult result;
    const int64_t t = now();
    result.retryAfter = m_failures.attempt(accountKey, m_options.perAccount, t);
    if (result.retryAfter.count() == 0) {
        result.retryAfter = m_failures.attempt(addressKey, m_options.perAddress, t);
        if (result.retryAfter.count() > 0)
            m_failures.forgive(accountKey);
    }
    if (result.retryAfter.count() > 0) {
        result.result = eLogin::Throttled;
        return result;
    }
    // An unknown name costs the same time as a wrong password, so timing does not tell which
    // names exist.
    const std::optional<std::string> hash = m_lookup(name);
    const bool ok = verifyPassword(hash ? *hash : dummyHash(), password) && hash;

    if (!ok)
        return result;
    m_failures.clear(accountKey);
    m_failures.forgive(addressKey);
    // Sign-ins are rare: the moment to clear out what every collector left behind.
    m_sessions.expire(t - m_options.idleTimeout.count(), t - m_options.maxSessionAge.count());
    result.result = eLogin::Ok;
    result.token = randomToken();
    m_sessions.put(tokenKey(result.token), SessionRecord{name, t, t});
    return result;
}

std::optional<std::string> OperatorAuth::operatorOf(const std::string& token) {
    if (token.empty())
        return std::nullopt;
    const std::string key = tokenKey(token);
    const std::optional<SessionRecord> s = m_sessions.find(key);
    if (!s)
        return std::nullopt;
    const int64_t t = now();
    if (t - s->lastUsed > m_options.idleTimeout.count() || t - s->created > m_options.maxSessionAge.count()) {
        m_sessions.remove(key);
        return std::nullopt;
    }
    if (t - s->lastUsed >= kTouchEvery)
        m_sessions.touch(key, t);
    return s->name;
}

void OperatorAuth::logout(const std::string& token) {
    m_sessions.remove(tokenKey(token));
}

} // namespace collector
