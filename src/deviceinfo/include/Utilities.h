// Application utilities of the device services: upload file naming, launching and stopping
// applications, the service icon, on-screen messages.
#pragma once

#include "DeviceInfoTypes.h"

#include <ctime>
#include <string>

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
};

} // namespace deviceinfo
