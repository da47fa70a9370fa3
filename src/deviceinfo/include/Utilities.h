// Class-level operations of the device services: applications, the service icon, on-screen
// messages, multiview mode and upload file names.
#pragma once

#include "DeviceInfoTypes.h"

#include <string>
#include <utility>
#include <vector>

namespace deviceinfo {

class Utilities {
public:
    Utilities() = default;
    ~Utilities() = default;

    // ---- Applications, service icon, messages, multiview (UtilitiesApps.cpp) ----
    // Launch and terminate: 0 success, 1 failure.
    static bool isAppRunning(const std::string& appId);
    static int appTerminate(std::string appId);
    static int appLaunch(std::string appId);
    static int appLaunch(std::string appId, std::vector<std::pair<std::string, std::string>> extras);
    static void showTavIcon();
    static void hideTavIcon();
    static void displayMessage(int messageId);
    static bool IvMultiviewModeON();
};

} // namespace deviceinfo
