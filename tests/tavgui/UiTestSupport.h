// Toolkit tests: a headless Elementary (buffer engine) in a fresh emulated television, started
// once by this library's main(); the loop is driven by hand. Toolkit error lines are counted (a
// missing theme group shows up there as "Failed to set layout!").
#pragma once

#include <functional>

#include <Elementary.h>

#include <string>

namespace uitest {

// Runs timers, idlers and rendering for `seconds`.
void pump(double seconds);
// Runs the main loop until `ready` holds (true) or `timeout` seconds have passed (false): for
// what the toolkit does on a timer, which a loaded machine may run late.
bool pumpUntil(const std::function<bool()>& ready, double timeout = 10.0);
// Key down and up on the window's canvas (keys that keep the window).
void press(Evas_Object* window, const char* key, double settle = 0.02);
// Renders the window into <build>/screenshots/<name> (PNG).
bool snap(Evas_Object* window, const std::string& name);
int toolkitErrors();
std::string themeDir();    // the build tree's theme files
std::string localeDir();   // the build tree's message catalogs

} // namespace uitest
