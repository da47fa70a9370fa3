#include "Utils.h"

#include "TavLog.h"

#include <system_info.h>
#include <vconf.h>

#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kSystemInfoFirmwareVersion = 128;
constexpr int kSystemInfoLocalSet = 90;
const char kModelTypeKey[] = "com.kestova/featureconf/tv_model_type";

// Takes ownership of a malloc'ed C string from the platform.
std::string adopt(char* value) {
    std::string out(value);
    std::free(value);
    return out;
}

} // namespace

std::string Utils::getOpenApiDUID() {
    if (char* v = vconf_get_str("db/comss/hwduid"))
        return adopt(v);
    SLOGW("Failed getting DUID returning empty");
    return "";
}

std::string Utils::getPSID() {
    std::string id;
    try {
        if (char* v = vconf_get_str("db/adagent/psid"))
            id = adopt(v);
        else
            LOGW("Failed getting PSID returning empty");
    } catch (...) {
        LOGW("exception occured during getting VCONF_PSID");
        id.clear();
    }
    LOGI("[### ID : %s ###]", id.c_str());
    return id;
}

std::string Utils::getAToken() {
    try {
        if (char* v = vconf_get_str("db/comss/atoken"))
            return adopt(v);
        SLOGW("Failed getting AToken returning empty");
    } catch (...) {
        SLOGW("exception occured during getting VCONF_ATOKEN");
    }
    return "";
}

std::string Utils::getDatavenVersion() {
    try {
        if (char* v = vconf_get_str("db/comss/datavenversion"))
            return adopt(v);
        SLOGW("Failed getting datavenVersion returning empty");
    } catch (...) {
        SLOGW("exception occured during getting VCONF_DATAVENVERSION");
    }
    return "";
}

std::string Utils::getFirmwareVersion() {
    char* value = nullptr;
    if (system_info_get_value_string(kSystemInfoFirmwareVersion, &value) != SYSTEM_INFO_ERROR_NONE || !value) {
        std::free(value);
        LOGW("Failed to get firmware version\n");
        return "ERROR-VIRMWARE-VERSION";
    }
    return adopt(value);
}

std::string Utils::getDeviceLocalSet() {
    char* value = nullptr;
    if (system_info_get_value_string(kSystemInfoLocalSet, &value) != SYSTEM_INFO_ERROR_NONE || !value) {
        std::free(value);
        LOGW("FAILURE while getting local set\n");
        return "";
    }
    return adopt(value);
}

std::string Utils::getSmartTVClient() {
    return "OTN-FW/" + getFirmwareVersion() + "+" + "T-DATAVEN/" + getDatavenVersion() + "+" + "Vintre/1.1";
}

bool Utils::IsJoinraSuppported() {
    int type = 0;
    if (system_info_get_custom_int(kModelTypeKey, &type) != SYSTEM_INFO_ERROR_NONE) {
        LOGW("Get TV Model Type failed");
        return true;
    }
    LOGI("TV Model Type is [%d]", type);
    return type == 1 || type == 2 || type == 3;
}

void Utils::setThreadName(const std::string& name) {
    // The kernel keeps 15 characters; longer names are a caller's error and get cut.
    prctl(PR_SET_NAME, name.substr(0, 15).c_str(), 0, 0, 0);
}

std::string Utils::getThreadName() {
    char name[17] = {};
    prctl(PR_GET_NAME, name, 0, 0, 0);
    return name;
}

bool isDebug() {
    if (access("/etc/debug", F_OK) == 0)
        return true;
    return access("/etc/perf", F_OK) == 0;
}
