#pragma once

#include <string>

namespace tavplat::appfw {

inline const char* const kLaunchJournal = "app_launch";
inline const char* const kTerminateJournal = "app_terminate";
inline const char* const kLogTag = "APPFW";

// An id usable as a registry file name: not empty, no '/', not "." or "..".
bool validAppId(const std::string& appId);

} // namespace tavplat::appfw
