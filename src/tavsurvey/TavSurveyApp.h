// The application shell: lifecycle callbacks of the UI application loop and the launch request.
#pragma once

#include <app.h>

#include <string>

namespace survey {
class TavSurveyUi;
}

// The current survey; set by each launch request, deleted by terminate.
extern survey::TavSurveyUi* uiPtr;

bool app_create(void* data);
bool setLanguage();
void app_control(app_control_h request, void* data);
void app_terminate(void* data);

namespace survey {
// Where the message catalogs are installed.
extern const std::string LOCALE_DIR;
namespace seams {
extern std::string localeDir;   // "" = LOCALE_DIR; tests use the build tree's catalogs
} // namespace seams
} // namespace survey
