// vconftool: read and write the emulated television's settings store from a shell.
//   vconftool set -t string|int|bool KEY VALUE [-f]
//   vconftool get KEY
//   vconftool unset KEY
//   vconftool watch KEY [COUNT]     prints "KEY = VALUE" for each change (COUNT changes, default 1)
#include <vconf.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vconftool set -t string|int|bool KEY VALUE [-f]\n"
                 "       vconftool get KEY\n"
                 "       vconftool unset KEY\n"
                 "       vconftool watch KEY [COUNT]\n");
    return 2;
}

// Decimal text in [lo, hi], nothing else (no blanks, no trailing characters, no overflow).
bool parseNumber(const std::string& text, long lo, long hi, int& out) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || *end || errno == ERANGE || v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

std::mutex g_mutex;
std::condition_variable g_cv;
int g_seen = 0;

void onChange(keynode_t* node, void*) {
    const char* name = vconf_keynode_get_name(node);
    switch (vconf_keynode_get_type(node)) {
    case VCONF_TYPE_STRING: std::printf("%s = %s\n", name, vconf_keynode_get_str(node)); break;
    case VCONF_TYPE_INT: std::printf("%s = %d\n", name, vconf_keynode_get_int(node)); break;
    case VCONF_TYPE_BOOL: std::printf("%s = %d\n", name, vconf_keynode_get_bool(node)); break;
    default: std::printf("%s (removed)\n", name); break;
    }
    std::fflush(stdout);
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_seen;
    g_cv.notify_all();
}

int get(const char* key) {
    if (char* s = vconf_get_str(key)) {
        std::printf("%s, value = %s (string)\n", key, s);
        std::free(s);
        return 0;
    }
    int v = 0;
    if (vconf_get_int(key, &v) == VCONF_OK) {
        std::printf("%s, value = %d (int)\n", key, v);
        return 0;
    }
    if (vconf_get_bool(key, &v) == VCONF_OK) {
        std::printf("%s, value = %d (bool)\n", key, v);
        return 0;
    }
    std::fprintf(stderr, "vconftool: %s: no such key\n", key);
    return 1;
}

int set(const std::vector<std::string>& args) {
    std::string type, key, value;
    bool haveValue = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-t" && i + 1 < args.size()) {
            type = args[++i];
        } else if (args[i] == "-f") {
            continue;
        } else if (key.empty()) {
            key = args[i];
        } else if (!haveValue) {
            value = args[i];
            haveValue = true;
        } else {
            return usage();
        }
    }
    if (key.empty() || !haveValue)
        return usage();
    int rc = VCONF_ERROR;
    if (type == "string") {
        rc = vconf_set_str(key.c_str(), value.c_str());
    } else if (type == "int") {
        int v = 0;
        if (!parseNumber(value, INT_MIN, INT_MAX, v)) {
            std::fprintf(stderr, "vconftool: %s is not an int (%d to %d)\n", value.c_str(), INT_MIN, INT_MAX);
            return 1;
        }
        rc = vconf_set_int(key.c_str(), v);
    } else if (type == "bool") {
        int v = 0;
        if (!parseNumber(value, 0, 1, v)) {
            std::fprintf(stderr, "vconftool: %s is not a bool (0 or 1)\n", value.c_str());
            return 1;
        }
        rc = vconf_set_bool(key.c_str(), v);
    } else {
        std::fprintf(stderr, "vconftool: %s type '%s' (string, int or bool)\n", type.empty() ? "no" : "unknown",
                     type.c_str());
        return usage();
    }
    if (rc != VCONF_OK) {
        std::fprintf(stderr, "vconftool: cannot set %s (not a valid key, or the store is not writable)\n", key.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return usage();
    const std::string cmd = argv[1];
    if (cmd == "get")
        return argc == 3 ? get(argv[2]) : usage();
    if (cmd == "unset") {
        if (argc != 3)
            return usage();
        if (vconf_unset(argv[2]) != VCONF_OK) {
            std::fprintf(stderr, "vconftool: cannot unset %s (no such key)\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (cmd == "set")
        return set(std::vector<std::string>(argv + 2, argv + argc));
    if (cmd == "watch") {
        if (argc > 4)
            return usage();
        int count = 1;
        if (argc > 3 && !parseNumber(argv[3], 1, INT_MAX, count)) {
            std::fprintf(stderr, "vconftool: COUNT must be a positive number, not '%s'\n", argv[3]);
            return 2;
        }
        if (vconf_notify_key_changed(argv[2], onChange, nullptr) != VCONF_OK) {
            std::fprintf(stderr, "vconftool: cannot watch %s (not a valid key)\n", argv[2]);
            return 1;
        }
        std::printf("watching %s\n", argv[2]);
        std::fflush(stdout);
        std::unique_lock<std::mutex> lock(g_mutex);
        g_cv.wait(lock, [&] { return g_seen >= count; });
        return 0;
    }
    return usage();
}
