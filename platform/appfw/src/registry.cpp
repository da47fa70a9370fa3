#include "registry.h"

#include "tavplat/appfw.h"
#include "tavplat/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace tavplat::appfw {
namespace {

const char* const kSeedApps[] = {"org.vintre.firstscreen", "org.tizen.tav-service-icon",
                                 "org.tizen.tavrin"};

std::string registryDir(const char* part) {
    const std::string base = rootPath("appfw");
    const std::string installed = base + "/installed";
    // A root without a registry gets the applications every television of the service has.
    if (::access(installed.c_str(), F_OK) != 0) {
        makeDirs(installed);
        makeDirs(base + "/running");
        for (const char* id : kSeedApps)
            writeFileAtomic(installed + "/" + id, "");
    }
    return base + "/" + part;
}

bool touch(const std::string& path) { return writeFileAtomic(path, ""); }

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (!name.empty() && name[0] != '.' && name.find(".tmp") == std::string::npos)
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void escapeInto(std::string& out, const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n' || c == '=') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool unescape(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

} // namespace

bool validAppId(const std::string& appId) {
    return !appId.empty() && appId != "." && appId != ".." && appId.find('/') == std::string::npos &&
           appId.find('\n') == std::string::npos;
}

bool isInstalled(const std::string& appId) {
    return validAppId(appId) && exists(registryDir("installed") + "/" + appId);
}

bool install(const std::string& appId) {
    return validAppId(appId) && touch(registryDir("installed") + "/" + appId);
}

bool uninstall(const std::string& appId) {
    if (!isInstalled(appId))
        return false;
    setRunning(appId, false);
    return ::unlink((registryDir("installed") + "/" + appId).c_str()) == 0;
}

std::vector<std::string> installedApps() { return listDir(registryDir("installed")); }

bool isRunning(const std::string& appId) {
    return validAppId(appId) && exists(registryDir("running") + "/" + appId);
}

bool setRunning(const std::string& appId, bool running) {
    if (!validAppId(appId))
        return false;
    const std::string path = registryDir("running") + "/" + appId;
    if (!running)
        return ::unlink(path.c_str()) == 0 || !exists(path);
    return isInstalled(appId) && touch(path);
}

std::vector<std::string> runningApps() { return listDir(registryDir("running")); }

std::string encodeLaunch(const LaunchRecord& record) {
    std::string line;
    escapeInto(line, record.appId);
    line += '\t';
    escapeInto(line, record.operation);
    for (const auto& [key, value] : record.extras) {
        line += '\t';
        escapeInto(line, key);
        line += '=';
        escapeInto(line, value);
    }
    return line;
}

bool decodeLaunch(const std::string& line, LaunchRecord& record) {
    const std::vector<std::string> fields = splitTabs(line);
    if (fields.size() < 2)
        return false;
    LaunchRecord r;
    if (!unescape(fields[0], r.appId) || !unescape(fields[1], r.operation))
        return false;
    for (size_t i = 2; i < fields.size(); ++i) {
        const size_t eq = fields[i].find('=');
        if (eq == std::string::npos)
            return false;
        std::string key, value;
        if (!unescape(fields[i].substr(0, eq), key) || !unescape(fields[i].substr(eq + 1), value))
            return false;
        r.extras.emplace_back(std::move(key), std::move(value));
    }
    record = std::move(r);
    return true;
}

std::vector<LaunchRecord> launches() {
    std::vector<LaunchRecord> records;
    for (const auto& line : journalRead(kLaunchJournal)) {
        LaunchRecord r;
        if (decodeLaunch(line, r))
            records.push_back(std::move(r));
    }
    return records;
}

void clearLaunches() { journalClear(kLaunchJournal); }

std::vector<std::string> terminations() { return journalRead(kTerminateJournal); }

void clearTerminations() { journalClear(kTerminateJournal); }

} // namespace tavplat::appfw
