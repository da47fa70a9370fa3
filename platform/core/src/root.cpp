#include "tavplat/platform.h"
#include "tavplat/test_control.h"
#include "internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <atomic>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavplat {
namespace {

std::mutex g_rootMutex;
// The cached, resolved root. Never destroyed: the settings store's threads may still read it
// while static objects are destroyed at exit.
std::string& g_root = *new std::string;
bool g_resolved = false;

std::string defaultRoot() {
    if (const char* env = std::getenv("TAV_PLATFORM_ROOT"); env && *env)
        return env;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.tavplatform";
    return "/tmp/tavplatform";
}

// Processes starting on a fresh root at the same time seed it one after the other, and seeding
// never writes over a value that is already there: another process may have set it meanwhile.
void seed(const std::string& dir) {
    makeDirs(dir);
    const std::string marker = dir + "/.seeded";
    if (access(marker.c_str(), F_OK) == 0)
        return;
    const int lockFd = ::open((dir + "/.seed.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd >= 0)
        while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {}
    if (access(marker.c_str(), F_OK) != 0) {
        detail::writeFileIfAbsent(dir + "/device.profile", detail::kSeedProfile);
        detail::seedVconf(dir);
        writeFileAtomic(marker, "");
    }
    if (lockFd >= 0)
        ::close(lockFd);
}

// Writes through a temporary file in the same folder, then renames it into place (without
// replacing an existing file when `replace` is false; that is then no failure).
bool writeThroughTemp(const std::string& path, const std::string& data, bool replace) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!makeDirs(dir))
        return false;
    const std::string tmp = dir + "/" + detail::tempName(name, "tmp");
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    const int renamed = replace ? std::rename(tmp.c_str(), path.c_str())
                                : ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (renamed != 0) {
        const bool existed = !replace && errno == EEXIST;
        ::unlink(tmp.c_str());
        return existed;
    }
    return true;
}

} // namespace

std::string root() {
    std::string dir;
    {
        std::lock_guard<std::mutex> lock(g_rootMutex);
        if (!g_resolved) {
            g_root = defaultRoot();
            g_resolved = true;
            seed(g_root);
        }
        dir = g_root;
    }
    return dir;
}

std::string rootPath(const std::string& relative) { return root() + "/" + relative; }

bool makeDirs(const std::string& path) {
    if (path.empty())
        return false;
    std::string cur;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        cur = path.substr(0, pos);
        if (cur.empty())
            continue;
        if (mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool writeFileAtomic(const std::string& path, const std::string& data) { return writeThroughTemp(path, data, true); }

namespace detail {

bool writeFileIfAbsent(const std::string& path, const std::string& data) { return writeThroughTemp(path, data, false); }

// "." + name + ".." + kind + "." + pid + "." + n: no settings key holds "..", so a watcher never
// takes one for a key, and the pid tells whose write (or removal) it was.
std::string tempName(const std::string& name, const char* kind) {
    static std::atomic<unsigned> counter{0};
    return "." + name + ".." + kind + "." + std::to_string(getpid()) + "." + std::to_string(counter++);
}

long tempOwner(const std::string& name) {
    const size_t dots = name.rfind("..");
    if (name.empty() || name[0] != '.' || dots == std::string::npos || dots == 0)
        return -1;
    const size_t kindEnd = name.find('.', dots + 2);
    if (kindEnd == std::string::npos)
        return -1;
    return std::strtol(name.c_str() + kindEnd + 1, nullptr, 10);
}

std::string readFile(const std::string& path, bool* ok) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (ok)
            *ok = false;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    if (ok)
        *ok = true;
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool splitRecord(const std::string& line, std::string& key, std::string& type, std::string& value) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    size_t i = 0;
    auto skip = [&] { while (i < line.size() && isBlank(line[i])) ++i; };
    auto word = [&] {
        size_t s = i;
        while (i < line.size() && !isBlank(line[i])) ++i;
        return line.substr(s, i - s);
    };
    skip();
    if (i >= line.size() || line[i] == '#')
        return false;
    key = word();
    skip();
    type = word();
    skip();
    size_t end = line.size();
    while (end > i && isBlank(line[end - 1]))
        --end;
    value = line.substr(i, end - i);
    return !key.empty() && !type.empty();
}

} // namespace detail

namespace test {

void useRoot(const std::string& dir, bool withSeed) {
    {
        std::lock_guard<std::mutex> lock(g_rootMutex);
        setenv("TAV_PLATFORM_ROOT", dir.c_str(), 1);
        g_root = dir;
        g_resolved = true;
        makeDirs(dir);
        if (withSeed)
            seed(dir);
    }
    detail::onRootChanged();
    detail::dlogRootChanged();
}

} // namespace test
} // namespace tavplat
