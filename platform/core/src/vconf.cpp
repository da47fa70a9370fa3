#include <vconf.h>

#include "tavplat/platform.h"
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct _keynode_t {
    std::string name;
    int type = VCONF_TYPE_NONE;
    int intValue = 0;
    std::string strValue;
};

namespace {

struct Listener {
    std::string key;
    vconf_callback_fn cb;
    void* data;
};

struct Value {
    int type = VCONF_TYPE_NONE;
    std::string text;
};

bool validKey(const char* key) {
    if (!key || !*key || key[0] == '/')
        return false;
    const std::string k(key);
    return k.find("..") == std::string::npos && k.find("//") == std::string::npos &&
           k.back() != '/';
}

std::string keyPath(const std::string& key) { return tavplat::rootPath("vconf/" + key); }

const char* typeName(int type) { return type == VCONF_TYPE_INT ? "int" : type == VCONF_TYPE_BOOL ? "bool" : "string"; }

bool readValue(const std::string& key, Value& out) {
    bool ok = false;
    const std::string raw = tavplat::detail::readFile(keyPath(key), &ok);
    if (!ok)
        return false;
    const size_t nl = raw.find('\n');
    if (nl == std::string::npos)
        return false;
    const std::string type = raw.substr(0, nl);
    out.text = raw.substr(nl + 1);
    if (type == "string")
        out.type = VCONF_TYPE_STRING;
    else if (type == "int")
        out.type = VCONF_TYPE_INT;
    else if (type == "bool")
        out.type = VCONF_TYPE_BOOL;
    else
        return false;
    return true;
}

bool parseInt(const std::string& text, int& v) {
    errno = 0;
    char* end = nullptr;
    const long l = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || l < INT_MIN || l > INT_MAX)
        return false;
    v = static_cast<int>(l);
    return true;
}

// A change as it was made: the key and its value then (type VCONF_TYPE_NONE once removed).
struct Notice {
    std::string key;
    Value value;
};

// The key's value as it is now; no type when it is gone.
Notice noticeOf(const std::string& key) {
    Notice n{key, {}};
    if (!readValue(key, n.value))
        n.value = Value{};
    return n;
}

// Listener registry, the cross-process watcher and the delivery thread. Leaked on purpose: the
// threads may still run while static objects are destroyed at exit.
//
// Every change notice of the process, whether this process or another one made the change, is
// delivered on one thread, as the platform delivers them on its loop: listeners never run on
// two threads at once. A setter of this process queues its notice before it returns; the
// watcher queues those of other processes (and skips this process's own, told apart by the pid
// in the temporary file's name).
struct Registry {
    std::mutex mutex;
    std::vector<Listener> listeners;
    int inotifyFd = -1;
    std::map<int, std::string> watchDirs;   // watch descriptor -> key folder ("db/menu")
    std::map<std::string, int> dirWatches;
    bool threadsStarted = false;
    std::deque<Notice> pending;             // notices still to be delivered, oldest first
    std::condition_variable wake;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

bool listened(Registry& r, const std::string& key) {
    return std::any_of(r.listeners.begin(), r.listeners.end(), [&](const Listener& l) { return l.key == key; });
}

void postAll(std::vector<Notice> notices) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto& n : notices) {
        if (listened(r, n.key)) {
            r.pending.push_back(std::move(n));
            r.wake.notify_one();
        }
    }
}

void dispatch(const Notice& notice) {
    Registry& r = registry();
    std::vector<Listener> targets;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const auto& l : r.listeners)
            if (l.key == notice.key)
                targets.push_back(l);
    }
    if (targets.empty())
        return;
    _keynode_t node;
    node.name = notice.key;
    node.type = notice.value.type;
    node.strValue = notice.value.text;
    if (node.type == VCONF_TYPE_INT || node.type == VCONF_TYPE_BOOL)
        parseInt(notice.value.text, node.intValue);
    for (const auto& l : targets)
        l.cb(&node, l.data);
}

void deliveryLoop() {
    Registry& r = registry();
    for (;;) {
        Notice notice;
        {
            std::unique_lock<std::mutex> lock(r.mutex);
            r.wake.wait(lock, [&] { return !r.pending.empty(); });
            notice = std::move(r.pending.front());
            r.pending.pop_front();
        }
        dispatch(notice);
    }
}

bool ownTempFile(const std::string& name) { return tavplat::detail::tempOwner(name) == static_cast<long>(getpid()); }
bool isTempFile(const std::string& name) { return tavplat::detail::tempOwner(name) >= 0; }

void watcherLoop(int fd) {
    alignas(struct inotify_event) char buf[16384];
    struct Move {
        std::string from;   // the name that was moved away
        bool own;           // a temporary file of this process
    };
    std::map<uint32_t, Move> moves;   // rename cookie -> its first half
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        std::vector<std::pair<int, std::string>> changed;   // watch descriptor, file name
        for (char* p = buf; p < buf + n;) {
            auto* ev = reinterpret_cast<struct inotify_event*>(p);
            p += sizeof(struct inotify_event) + ev->len;
            if (ev->len == 0)
                continue;
            const std::string name = ev->name;
            if (ev->mask & IN_MOVED_FROM) {
                moves[ev->cookie] = {name, ownTempFile(name)};
                continue;
            }
            if (ev->mask & IN_MOVED_TO) {
                auto it = moves.find(ev->cookie);
                const Move move = it != moves.end() ? it->second : Move{"", false};
                if (it != moves.end())
                    moves.erase(it);
                if (!isTempFile(name)) {
                    if (!move.own)   // a write of this process is queued by its setter
                        changed.emplace_back(ev->wd, name);
                } else if (!move.from.empty() && !isTempFile(move.from) && !ownTempFile(name)) {
                    changed.emplace_back(ev->wd, move.from);   // removed by another process
                }
                continue;
            }
            // Written in place or deleted by hand (not through the store).
            if ((ev->mask & (IN_CLOSE_WRITE | IN_DELETE)) && !isTempFile(name))
                changed.emplace_back(ev->wd, name);
        }
        if (moves.size() > 1024)
            moves.clear();
        std::vector<std::string> keys;
        {
            std::lock_guard<std::mutex> lock(registry().mutex);
            for (const auto& [wd, name] : changed) {
                auto w = registry().watchDirs.find(wd);
                if (w != registry().watchDirs.end())
                    keys.push_back(w->second + "/" + name);
            }
        }
        // Another process's change is read as soon as it is seen: the value it made, unless it
        // has already changed again.
        std::vector<Notice> notices;
        for (const auto& key : keys)
            notices.push_back(noticeOf(key));
        postAll(std::move(notices));
    }
}

// Called with the registry lock held.
void watchKeyFolder(Registry& r, const std::string& key) {
    const size_t slash = key.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : key.substr(0, slash);
    if (r.dirWatches.count(dir))
        return;
    if (r.inotifyFd < 0) {
        r.inotifyFd = inotify_init1(IN_CLOEXEC);
        if (r.inotifyFd < 0)
            return;
    }
    const std::string full = tavplat::rootPath("vconf/" + dir);
    tavplat::makeDirs(full);
    const int wd = inotify_add_watch(r.inotifyFd, full.c_str(), IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_DELETE);
    if (wd < 0)
        return;
    r.watchDirs[wd] = dir;
    r.dirWatches[dir] = wd;
    if (!r.threadsStarted) {
        r.threadsStarted = true;
        std::thread(watcherLoop, r.inotifyFd).detach();
        std::thread(deliveryLoop).detach();
    }
}

bool checkReadFault(const char* key) {
    return tavplat::checkFault(key).mode == tavplat::FaultMode::None;
}

int setValue(const char* key, int type, const std::string& text) {
    if (!validKey(key))
        return VCONF_ERROR;
    if (tavplat::checkFault(key).mode != tavplat::FaultMode::None)
        return VCONF_ERROR;
    if (!tavplat::writeFileAtomic(keyPath(key), std::string(typeName(type)) + "\n" + text))
        return VCONF_ERROR;
    postAll({Notice{key, Value{type, text}}});
    return VCONF_OK;
}

int getNumber(const char* key, int* out, int wantType) {
    if (!validKey(key) || !out || !checkReadFault(key))
        return VCONF_ERROR;
    Value v;
    int parsed = 0;
    if (!readValue(key, v) || v.type != wantType || !parseInt(v.text, parsed))
        return VCONF_ERROR;
    *out = parsed;
    return VCONF_OK;
}

} // namespace

extern "C" {

char* vconf_get_str(const char* in_key) {
    if (!validKey(in_key))
        return nullptr;
    const tavplat::Fault f = tavplat::checkFault(in_key);
    if (f.mode != tavplat::FaultMode::None)
        return nullptr;
    Value v;
    if (!readValue(in_key, v) || v.type != VCONF_TYPE_STRING)
        return nullptr;
    return strdup(v.text.c_str());
}

int vconf_get_int(const char* in_key, int* intval) { return getNumber(in_key, intval, VCONF_TYPE_INT); }
int vconf_get_bool(const char* in_key, int* boolval) { return getNumber(in_key, boolval, VCONF_TYPE_BOOL); }

int vconf_set_str(const char* in_key, const char* strval) {
    return strval ? setValue(in_key, VCONF_TYPE_STRING, strval) : VCONF_ERROR;
}
int vconf_set_int(const char* in_key, const int intval) {
    return setValue(in_key, VCONF_TYPE_INT, std::to_string(intval));
}
int vconf_set_bool(const char* in_key, const int boolval) {
    return setValue(in_key, VCONF_TYPE_BOOL, boolval ? "1" : "0");
}

int vconf_unset(const char* in_key) {
    if (!validKey(in_key))
        return VCONF_ERROR;
    // Moved aside before it goes, so that watchers can tell whose removal it was.
    const std::string path = keyPath(in_key);
    const std::string aside = path.substr(0, path.rfind('/') + 1) +
                              tavplat::detail::tempName(path.substr(path.rfind('/') + 1), "del");
    if (std::rename(path.c_str(), aside.c_str()) != 0)
        return VCONF_ERROR;
    ::unlink(aside.c_str());
    postAll({Notice{in_key, Value{}}});
    return VCONF_OK;
}

int vconf_notify_key_changed(const char* in_key, vconf_callback_fn cb, void* user_data) {
    if (!validKey(in_key) || !cb)
        return VCONF_ERROR;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto& l : r.listeners) {
        if (l.key == in_key && l.cb == cb) {
            l.data = user_data;   // one registration per key and function
            return VCONF_OK;
        }
    }
    r.listeners.push_back({in_key, cb, user_data});
    watchKeyFolder(r, in_key);
    return VCONF_OK;
}

int vconf_ignore_key_changed(const char* in_key, vconf_callback_fn cb) {
    if (!validKey(in_key) || !cb)
        return VCONF_ERROR;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const size_t before = r.listeners.size();
    r.listeners.erase(std::remove_if(r.listeners.begin(), r.listeners.end(),
                                     [&](const Listener& l) { return l.key == in_key && l.cb == cb; }),
                      r.listeners.end());
    return r.listeners.size() < before ? VCONF_OK : VCONF_ERROR;
}

const char* vconf_keynode_get_name(keynode_t* keynode) { return keynode ? keynode->name.c_str() : nullptr; }
int vconf_keynode_get_type(keynode_t* keynode) { return keynode ? keynode->type : VCONF_TYPE_NONE; }
int vconf_keynode_get_int(const keynode_t* keynode) {
    return keynode && keynode->type == VCONF_TYPE_INT ? keynode->intValue : -1;
}
int vconf_keynode_get_bool(const keynode_t* keynode) {
    return keynode && keynode->type == VCONF_TYPE_BOOL ? keynode->intValue : -1;
}
char* vconf_keynode_get_str(const keynode_t* keynode) {
    return keynode && keynode->type == VCONF_TYPE_STRING ? const_cast<char*>(keynode->strValue.c_str()) : nullptr;
}

} // extern "C"

namespace tavplat::detail {

void seedVconf(const std::string& root) {
    for (const auto& line : splitLines(kSeedVconf)) {
        std::string key, type, value;
        if (!splitRecord(line, key, type, value))
            continue;
        writeFileIfAbsent(root + "/vconf/" + key, type + "\n" + value);
    }
}

// Watches point into the old root; listeners stay registered and are re-watched in the new one.
void onRootChanged() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const auto& [wd, dir] : r.watchDirs)
        if (r.inotifyFd >= 0)
            inotify_rm_watch(r.inotifyFd, wd);
    r.watchDirs.clear();
    r.dirWatches.clear();
    std::vector<std::string> keys;
    for (const auto& l : r.listeners)
        keys.push_back(l.key);
    for (const auto& k : keys)
        watchKeyFolder(r, k);
}

} // namespace tavplat::detail
