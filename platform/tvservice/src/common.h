// Helpers shared by the TV service stand-ins.
#pragma once

#include "tavplat/platform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace tavtv::detail {

// The fault set for a call, its delay already slept.
inline tavplat::FaultMode fault(const char* call) { return tavplat::checkFault(call).mode; }

// A profile integer that fits an int.
inline std::optional<int> profileInt(const std::string& key) {
    auto v = tavplat::profileInt(key);
    if (!v || *v < INT32_MIN || *v > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(*v);
}

inline bool storeInt(const std::string& key, long long value) {
    return tavplat::profileSet(key, "int", std::to_string(value));
}

// The platform hands out texts the caller frees with free().
inline char* mallocCopy(const std::string& text) { return strdup(text.c_str()); }

} // namespace tavtv::detail
