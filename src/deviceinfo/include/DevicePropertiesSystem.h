// System-menu settings the service's remote commands act on: menu language, use mode,
// HDMI-CEC (Linkora), the network-debugging switch with its change notice, and the memory
// used by the web-application home screen. The object carries no state; any instance serves.
#pragma once

#include "DeviceInfoTypes.h"

#include <chrono>
#include <functional>
#include <string>

struct _keynode_t;

namespace deviceinfo {

class DevicePropertiesSystem {
public:
    // The menu language as a locale name ("ko_KR.utf8"), or "1" when it cannot be read.
    std::string getSystemMenuLanguage(const std::string& param);
    void setSystemMenuLanguage(const std::string& language);
    // `mode` in decimal; 0 is retail, anything else home use.
    void setSystemUseMode(const std::string& mode);
    std::string getLinkoraHdmiCec(eMenuValueType type, const std::string& param);
    void setLinkoraHdmiCec(const std::string& value);
    // Blocks up to 20 seconds, and longer if the platform call is slower (see the .cpp).
    std::string getSystemCordiaWidgetAppUsage(eMenuValueType type, const std::string& param);

    static bool networkDebugEnabled();
    // The last listener wins. Call it on the thread that delivers the settings store's change
    // notices: the callback reads the listener without a lock.
    static void onNetworkDebugPropertyChange(std::function<void(bool)> listener);
    static void vconf_net_debug_callback(_keynode_t* node, void* userData);

    // Test seam: how long getSystemCordiaWidgetAppUsage waits for the platform (20 s).
    static void setMemoryUsageWait(std::chrono::milliseconds wait);

private:
    static std::function<void(bool)> m_netDebugChangeFunc;
    static bool s_netDebugWatchRegistered;
};

} // namespace deviceinfo
