#include "tavplat/platform.h"
#include "internal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tavplat {
namespace {

// Serialises read-modify-write of the profile between processes.
class ProfileLock {
public:
    ProfileLock() {
        m_fd = ::open(rootPath(".profile.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {}
    }
    ~ProfileLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    int m_fd = -1;
};

std::string profilePath() { return rootPath("device.profile"); }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<ProfileValue> profileGet(const std::string& key) {
    for (const auto& line : detail::splitLines(detail::readFile(profilePath()))) {
        std::string k, type, value;
        if (detail::splitRecord(line, k, type, value) && k == key)
            return ProfileValue{type, value};
    }
    return std::nullopt;
}

std::optional<std::string> profileString(const std::string& key) {
    auto v = profileGet(key);
    if (!v || v->type != "string")
        return std::nullopt;
    return v->value;
}

std::optional<long long> profileInt(const std::string& key) {
    auto v = profileGet(key);
    if (!v || (v->type != "int" && v->type != "bool"))
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(v->value.c_str(), &end, 0);
    if (end == v->value.c_str() || *end != '\0' || errno == ERANGE)
        return std::nullopt;
    return n;
}

std::optional<bool> profileBool(const std::string& key) {
    auto v = profileGet(key);
    if (!v || (v->type != "bool" && v->type != "int"))
        return std::nullopt;
    if (v->value == "1" || v->value == "true")
        return true;
    if (v->value == "0" || v->value == "false")
        return false;
    return std::nullopt;
}

std::optional<std::vector<unsigned char>> profileBytes(const std::string& key) {
    auto v = profileGet(key);
    if (!v || v->type != "bytes")
        return std::nullopt;
    std::vector<unsigned char> out;
    int hi = -1;
    for (char c : v->value) {
        if (c == ' ' || c == ':')
            continue;
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        if (hi < 0) {
            hi = d;
        } else {
            out.push_back(static_cast<unsigned char>(hi * 16 + d));
            hi = -1;
        }
    }
    if (hi >= 0)
        return std::nullopt;
    return out;
}

static bool rewriteProfile(const std::string& key, const std::string* type, const std::string* value) {
    ProfileLock lock;
    std::string out;
    bool done = false;
    for (const auto& line : detail::splitLines(detail::readFile(profilePath()))) {
        std::string k, t, v;
        if (detail::splitRecord(line, k, t, v) && k == key) {
            if (type && !done)
                out += key + "  " + *type + "  " + *value + "\n";
            done = true;
            continue;
        }
        out += line + "\n";
    }
    if (type && !done)
        out += key + "  " + *type + "  " + *value + "\n";
    return writeFileAtomic(profilePath(), out);
}

std::string profileValueError(const std::string& type, const std::string& value) {
    if (value.find_first_of("\n\r") != std::string::npos)
        return "a value is one line";
    if (type == "string")
        return "";
    if (type == "int") {
        errno = 0;
        char* end = nullptr;
        std::strtoll(value.c_str(), &end, 0);
        return end != value.c_str() && *end == '\0' && errno != ERANGE ? "" : "not an integer: " + value;
    }
    if (type == "bool")
        return value == "0" || value == "1" || value == "true" || value == "false" ? "" : "not 0, 1, true or false: " + value;
    if (type == "bytes") {
        size_t digits = 0;
        for (char c : value) {
            if (c == ' ' || c == ':')
                continue;
            if (hexDigit(c) < 0)
                return "not hex bytes: " + value;
            ++digits;
        }
        return digits % 2 == 0 ? "" : "an odd number of hex digits: " + value;
    }
    return "unknown type " + type + " (string, int, bool or bytes)";
}

bool profileSet(const std::string& key, const std::string& type, const std::string& value) {
    if (key.empty() || key.find_first_of(" \t\n\r#") == 0 || key.find_first_of(" \t\n\r") != std::string::npos ||
        !profileValueError(type, value).empty())
        return false;
    return rewriteProfile(key, &type, &value);
}

bool profileErase(const std::string& key) { return rewriteProfile(key, nullptr, nullptr); }

} // namespace tavplat
