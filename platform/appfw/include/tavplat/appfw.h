// The application registry and launch journal of the emulated television, for tests and tools.
//
// Registry: <root>/appfw/installed/<app id> and <root>/appfw/running/<app id> (one empty file
// per application). A root without a registry is given one on first use, with the home screen
// "org.vintre.firstscreen", the service icon application "org.tizen.tav-service-icon" and the
// survey "org.tizen.tavrin" installed and none running.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tavplat::appfw {

bool isInstalled(const std::string& appId);
bool install(const std::string& appId);
// Also ends the application if it runs.
bool uninstall(const std::string& appId);
std::vector<std::string> installedApps();   // sorted

bool isRunning(const std::string& appId);
// Marks an application running or ended; starting one that is not installed fails.
bool setRunning(const std::string& appId, bool running);
std::vector<std::string> runningApps();     // sorted

// One accepted launch request, as the journal "app_launch" holds it.
struct LaunchRecord {
    std::string appId;
    std::string operation;
    std::vector<std::pair<std::string, std::string>> extras;   // in the order they were added
};
std::vector<LaunchRecord> launches();
void clearLaunches();
// Application ids terminated through the application manager (journal "app_terminate").
std::vector<std::string> terminations();
void clearTerminations();

// Application contexts got from app_manager_get_app_context and not destroyed yet.
int liveAppContexts();

// The journal line of a launch: fields separated by tabs (app id, operation, then one
// key=value per extra), with '%', tab, CR, LF and '=' written as %XX so any text survives.
std::string encodeLaunch(const LaunchRecord& record);
bool decodeLaunch(const std::string& line, LaunchRecord& record);

} // namespace tavplat::appfw
