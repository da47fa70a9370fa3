#include "DevicePropertiesSystem.h"

#include "PlatformText.h"

#include "TavLog.h"
#include "Utils.h"

#include <cec.h>
#include <lumo.h>
#include <system_settings.h>
#include <vconf.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <future>

namespace deviceinfo {

namespace {

const char kMenuLanguageKey[] = "db/menu_widget/language";
const char kNetDebugKey[] = "db/menu/support/tavrin/netdebug";
constexpr int kSettingUseMode = 10008;

std::atomic<long long> g_memoryUsageWaitMs{20000};

const char* useModeName(int mode) { return mode == 0 ? "Retail Mode" : "Usage Mode"; }

// Runs on the worker thread of getSystemCordiaWidgetAppUsage.
std::string readUsedMemory() {
    char* raw = nullptr;
    const int rc = lumo_get_used_memory(&raw);
    detail::PlatformText owner(raw);
    if (rc != 0)
        return "";
    if (!owner) {
        SLOGW("Invalid value");
        return "";
    }
    return owner.get();
}

} // namespace

std::function<void(bool)> DevicePropertiesSystem::m_netDebugChangeFunc;
bool DevicePropertiesSystem::s_netDebugWatchRegistered = false;

// ---------------------------------------------------------------- menu language

std::string DevicePropertiesSystem::getSystemMenuLanguage(const std::string&) {
    detail::PlatformText raw(vconf_get_str(kMenuLanguageKey));
    if (!raw) {
        SLOGW("Failed to get system menu language");
        return "1";
    }
    LOGD("System menu language is: %s", raw.get());
    return raw.get();
}

void DevicePropertiesSystem::setSystemMenuLanguage(const std::string& language) {
    if (vconf_set_str(kMenuLanguageKey, language.c_str()) != 0) {
        SLOGW("Failed to set the value of System/Menu_Language");
        return;
    }
    LOGD("System/Menu_Language set successful: %s", language.c_str());
}

// ---------------------------------------------------------------- use mode

void DevicePropertiesSystem::setSystemUseMode(const std::string& mode) {
    int current = 0;
    system_settings_get_value_int(kSettingUseMode, &current);   // a failed read leaves 0
    const int requested = std::atoi(mode.c_str());
    if (current == requested) {
        LOGI("Value same as previous value %s", useModeName(requested));
        return;
    }
    if (system_settings_set_value_int(kSettingUseMode, requested) != 0) {
        SLOGW("Failed to set the value of SystemUseMode");
        return;
    }
    LOGD("Support/UseMode set successful: %s", mode.c_str());
}

// ---------------------------------------------------------------- HDMI-CEC

std::string DevicePropertiesSystem::getLinkoraHdmiCec(eMenuValueType, const std::string&) {
    cec_init_proxy();
    const int enabled = cec_is_enable();
    cec_close_proxy();
    return std::to_string(enabled);
}

void DevicePropertiesSystem::setLinkoraHdmiCec(const std::string& value) {
    try {
        const int enable = StringToInteger::Convert(value);
        cec_init_proxy();
        if (cec_set_enable(enable) != 0)
            SLOGW("Operation failed.");
        cec_close_proxy();
    } catch (...) {
        SLOGW("Conversion failed %s", value.c_str());
    }
}

// ---------------------------------------------------------------- network debugging switch

bool DevicePropertiesSystem::networkDebugEnabled() {
    int value = 0;
    return vconf_get_int(kNetDebugKey, &value) == 0 && value == 1;
}

void DevicePropertiesSystem::onNetworkDebugPropertyChange(std::function<void(bool)> listener) {
    // One platform watch per process; later calls only swap the listener.
    if (!s_netDebugWatchRegistered) {
        s_netDebugWatchRegistered = true;
        vconf_notify_key_changed(kNetDebugKey, vconf_net_debug_callback, nullptr);
    }
    m_netDebugChangeFunc = std::move(listener);
}

void DevicePropertiesSystem::vconf_net_debug_callback(_keynode_t* node, void*) {
    if (vconf_keynode_get_type(node) != VCONF_TYPE_INT)
        return;
    const char* name = vconf_keynode_get_name(node);
    if (!name || std::strcmp(name, kNetDebugKey) != 0)
        return;
    const int value = vconf_keynode_get_int(node);
    LOGD("Changed value: %d", value);
    if (m_netDebugChangeFunc)
        m_netDebugChangeFunc(value == 1);
}

// ---------------------------------------------------------------- home-screen memory usage

void DevicePropertiesSystem::setMemoryUsageWait(std::chrono::milliseconds wait) {
    g_memoryUsageWaitMs = wait.count();
}

std::string DevicePropertiesSystem::getSystemCordiaWidgetAppUsage(eMenuValueType type, const std::string&) {
    std::string usage;
    if (type != MENU_VALUE_CURRENT)
        return usage;
    // The web application service can hang; the caller gets "" after the wait. The future's
    // destructor still joins the worker, so a hung call delays the return past the wait, but
    // no thread outlives this call.
    std::future<std::string> task = std::async(std::launch::async, readUsedMemory);
    if (task.wait_for(std::chrono::milliseconds(g_memoryUsageWaitMs.load())) == std::future_status::ready)
        usage = task.get();
    return usage;
}

} // namespace deviceinfo
