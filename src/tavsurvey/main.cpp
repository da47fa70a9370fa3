// tavsurvey: the after-support satisfaction survey. Started by the remote-support service with
// the launch extras "url", "pincode" and "sessionid" (on a desktop: tavsurvey --url URL
// --pincode PIN --sessionid ID).
#include "TavLog.h"
#include "TavSurveyApp.h"
#include "TavSurveyUi.h"

#include <exception>

int main(int argc, char** argv) {
    try {
        LOGD("Starting tav survey app");
        survey::seams::applyEnvironment();
        ui_app_lifecycle_callback_s callbacks{};
        callbacks.create = app_create;
        callbacks.terminate = app_terminate;
        callbacks.pause = nullptr;
        callbacks.resume = nullptr;
        callbacks.app_control = app_control;
        const int result = ui_app_main(argc, argv, &callbacks, nullptr);
        if (result != 0)
            SLOGW("app_main() is failed. err = %d", result);
        return result;
    } catch (const std::exception& e) {
        LOGE("EXCEPTION: %s", e.what());
        return 0;
    }
}
