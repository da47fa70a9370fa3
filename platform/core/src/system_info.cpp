#include <system_info.h>
#include <system_settings.h>

#include "tavplat/platform.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

using tavplat::checkFault;
using tavplat::FaultMode;

// The shared read path: a fault set on the profile key turns into the platform's error or a
// successful call that leaves the value unset (null).
template <typename Reader>
int readKey(const std::string& key, int notFound, Reader&& read) {
    const tavplat::Fault f = checkFault(key);
    if (f.mode == FaultMode::Fail)
        return SYSTEM_INFO_ERROR_IO_ERROR;
    if (f.mode == FaultMode::Null)
        return 0;
    return read() ? 0 : notFound;
}

int getString(const std::string& key, char** value) {
    if (!value)
        return SYSTEM_INFO_ERROR_INVALID_PARAMETER;
    return readKey(key, SYSTEM_INFO_ERROR_INVALID_PARAMETER, [&] {
        auto v = tavplat::profileString(key);
        if (!v)
            return false;
        *value = strdup(v->c_str());
        return true;
    });
}

int getInt(const std::string& key, int* value) {
    if (!value)
        return SYSTEM_INFO_ERROR_INVALID_PARAMETER;
    return readKey(key, SYSTEM_INFO_ERROR_INVALID_PARAMETER, [&] {
        auto v = tavplat::profileInt(key);
        if (!v || *v < INT_MIN || *v > INT_MAX)
            return false;
        *value = static_cast<int>(*v);
        return true;
    });
}

int getBool(const std::string& key, bool* value) {
    if (!value)
        return SYSTEM_INFO_ERROR_INVALID_PARAMETER;
    return readKey(key, SYSTEM_INFO_ERROR_INVALID_PARAMETER, [&] {
        auto v = tavplat::profileBool(key);
        if (!v)
            return false;
        *value = *v;
        return true;
    });
}

std::string infoKey(int key) { return "info/" + std::to_string(key); }
std::string customKey(const char* key) { return std::string("custom/") + (key ? key : ""); }
std::string settingsKey(int key) { return "settings/" + std::to_string(key); }

} // namespace

extern "C" {

int system_info_get_value_string(system_info_key_e key, char** value) { return getString(infoKey(key), value); }
int system_info_get_value_int(system_info_key_e key, int* value) { return getInt(infoKey(key), value); }
int system_info_get_value_bool(system_info_key_e key, bool* value) { return getBool(infoKey(key), value); }

int system_info_get_custom_bool(const char* key, bool* value) {
    return key ? getBool(customKey(key), value) : SYSTEM_INFO_ERROR_INVALID_PARAMETER;
}
int system_info_get_custom_int(const char* key, int* value) {
    return key ? getInt(customKey(key), value) : SYSTEM_INFO_ERROR_INVALID_PARAMETER;
}
int system_info_get_custom_string(const char* key, char** value) {
    return key ? getString(customKey(key), value) : SYSTEM_INFO_ERROR_INVALID_PARAMETER;
}

int system_settings_get_value_string(system_settings_key_e key, char** value) {
    return getString(settingsKey(key), value);
}
int system_settings_get_value_int(system_settings_key_e key, int* value) {
    return getInt(settingsKey(key), value);
}

int system_settings_set_value_int(system_settings_key_e key, int value) {
    const std::string k = settingsKey(key);
    if (checkFault(k).mode != FaultMode::None)
        return SYSTEM_SETTINGS_ERROR_IO_ERROR;
    return tavplat::profileSet(k, "int", std::to_string(value)) ? 0 : SYSTEM_SETTINGS_ERROR_IO_ERROR;
}

int system_settings_set_value_string(system_settings_key_e key, const char* value) {
    const std::string k = settingsKey(key);
    if (!value)
        return SYSTEM_SETTINGS_ERROR_INVALID_PARAMETER;
    if (checkFault(k).mode != FaultMode::None)
        return SYSTEM_SETTINGS_ERROR_IO_ERROR;
    return tavplat::profileSet(k, "string", value) ? 0 : SYSTEM_SETTINGS_ERROR_IO_ERROR;
}

} // extern "C"
