// Class-level operations of the device services: applications, the service icon, on-screen
// messages, multiview mode and upload file names.
#pragma once

#include "DeviceInfoTypes.h"

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace deviceinfo {

class Utilities {
public:
    // ---- upload file naming (UtilitiesFileName.cpp) ----
    // Full path of an upload file of kind `type` named after the current local time, the model
    // name and (for the service's own kinds) the firmware version; "" for an unknown kind.
    // Touches no file.
    static std::string getFileName(fileType type);
    // The clock getFileName reads, in seconds since the epoch; nullptr restores the system
    // clock. For tests, which need a fixed time.
    using EpochClock = std::time_t (*)();
    static void setFileNameClock(EpochClock clock);
    // ---- end of upload file naming ----

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
