// Helpers of the toolkit tests: a headless Elementary (buffer engine) driven by hand, key
// presses, screenshots, and a count of the toolkit's own error lines (a missing theme group
// shows up there as "Failed to set layout!").
#pragma once

#include <Elementary.h>

#include <string>

namespace uitest {

// Runs timers, idlers and rendering for `seconds`.
void pump(double seconds);
// Key down and up on the window's canvas, as the remote control's keys arrive. The up event
// is not sent when the key deleted the window.
void press(Evas_Object* window, const char* key);
// Renders the window and saves it as PNG into artifactDir(); false when that fails.
bool snap(Evas_Object* window, const std::string& name);
// Error and critical lines the toolkit logged since the program started.
int toolkitErrors();
// Build-tree folders: theme files, message catalogs, screenshots for people to look at, and
// the toolkit's home.
std::string themeDir();
std::string localeDir();
std::string artifactDir();
std::string homeDir();

} // namespace uitest
