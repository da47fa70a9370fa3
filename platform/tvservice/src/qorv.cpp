#include <qorv.h>

#include "common.h"

using tavplat::FaultMode;
using tavtv::detail::fault;
using tavtv::detail::profileInt;
using tavtv::detail::storeInt;

namespace {

constexpr int kError = -1;

int read(const char* call, const char* key, int* out) {
    if (fault(call) != FaultMode::None || !out)
        return kError;
    auto v = profileInt(key);
    if (!v)
        return kError;
    *out = *v;
    return 0;
}

// Writes are journalled so a test (or a person) can see whether anything was written at all.
int write(const char* call, const char* key, int value, const std::string& args) {
    if (fault(call) != FaultMode::None)
        return kError;
    tavplat::journalAppend("qorv", std::string(call) + " " + args);
    return storeInt(key, value) ? 0 : kError;
}

} // namespace

extern "C" {

int qorv_get_hdr_plus_mode(int* mode, int /*source*/) {
    return read("qorv_get_hdr_plus_mode", "qorv/hdr_plus_mode", mode);
}

int qorv_set_hdr_plus_mode(int mode, int source) {
    return write("qorv_set_hdr_plus_mode", "qorv/hdr_plus_mode", mode,
                 std::to_string(mode) + " " + std::to_string(source));
}

int qorv_set_picture_mode(int window, int mode, int source) {
    return write("qorv_set_picture_mode", "qorv/picture_mode", mode,
                 std::to_string(window) + " " + std::to_string(mode) + " " + std::to_string(source));
}

int qorv_get_video_gray_onoff(int* value) {
    return read("qorv_get_video_gray_onoff", "qorv/video_gray", value);
}

int qorv_set_video_gray_onoff(int value) {
    return write("qorv_set_video_gray_onoff", "qorv/video_gray", value, std::to_string(value));
}

} // extern "C"
