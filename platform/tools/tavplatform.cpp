// tavplatform: look at and edit the emulated television.
//   tavplatform root                      the platform root folder
//   tavplatform get KEY                   a device profile value
//   tavplatform set KEY TYPE VALUE        store a device profile value (string, int, bool, bytes)
//   tavplatform journal NAME [clear]      print (or empty) a call journal of the stand-ins
#include "tavplat/platform.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "root" && argc == 2) {
        std::printf("%s\n", tavplat::root().c_str());
        return 0;
    }
    if (cmd == "get" && argc == 3) {
        auto v = tavplat::profileGet(argv[2]);
        if (!v) {
            std::fprintf(stderr, "tavplatform: %s: not in the device profile\n", argv[2]);
            return 1;
        }
        std::printf("%s\n", v->value.c_str());
        return 0;
    }
    if (cmd == "set" && argc == 5) {
        const std::string key = argv[2];
        if (key.empty() || key[0] == '#' || key.find_first_of(" \t\r\n") != std::string::npos) {
            std::fprintf(stderr, "tavplatform: bad key '%s' (no blanks, not starting with #)\n", argv[2]);
            return 1;
        }
        if (const std::string why = tavplat::profileValueError(argv[3], argv[4]); !why.empty()) {
            std::fprintf(stderr, "tavplatform: %s: %s\n", argv[2], why.c_str());
            return 1;
        }
        if (!tavplat::profileSet(key, argv[3], argv[4])) {
            std::fprintf(stderr, "tavplatform: cannot write the device profile in %s\n", tavplat::root().c_str());
            return 1;
        }
        return 0;
    }
    if (cmd == "journal" && (argc == 3 || argc == 4)) {
        if (argc == 4 && std::string(argv[3]) == "clear") {
            tavplat::journalClear(argv[2]);
            return 0;
        }
        for (const auto& line : tavplat::journalRead(argv[2]))
            std::printf("%s\n", line.c_str());
        return 0;
    }
    std::fprintf(stderr,
                 "usage: tavplatform root | get KEY | set KEY TYPE VALUE | journal NAME [clear]\n");
    return 2;
}
