/* UI application framework (stand-in): the application's main loop and its lifecycle.
 *
 * ui_app_main() runs Elementary's main loop the way the television's framework does:
 *   1. initialises Elementary and applies the television's toolkit profile (scale 2.0 for the
 *      1080p panel, unless ELM_SCALE is set in the environment);
 *   2. calls create(); false ends the application at once (APP_ERROR_INVALID_CONTEXT, the loop
 *      never runs and terminate() is not called);
 *   3. delivers the launch request to app_control() from inside the loop;
 *   4. runs the loop until ui_app_exit() or elm_exit(), or until the last window is deleted;
 *   5. calls terminate() and shuts Elementary down.
 * pause() and resume() are accepted and never called: the emulated television has no
 * visibility changes.
 *
 * The launch request is taken from the process's command line: the operation is
 * APP_CONTROL_OPERATION_DEFAULT and every "--<key> <value>" or "--<key>=<value>" pair becomes
 * one extra, in command-line order (for the survey: --url, --pincode, --sessionid). Anything
 * else on the command line is refused with APP_ERROR_INVALID_PARAMETER before create().
 *
 * On a desktop the keyboard stands in for the remote control's keys it lacks: Escape is Back
 * (XF86Back), F12 is Exit (XF86Exit), Pause is Power (XF86PowerOff); arrows and Return are the
 * remote's own.
 *
 * Every step is journalled ("ui_app": "main", "create <0|1>", "app_control", "terminate",
 * "exit") and consults tavplat::checkFault("ui_app_main"). */
#ifndef TAV_PLATFORM_APP_H
#define TAV_PLATFORM_APP_H

#include <stdbool.h>

#include <app_control.h>

#include "tizen_app_error.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    APP_ERROR_NONE = 0,
    APP_ERROR_INVALID_PARAMETER = -EINVAL,
    APP_ERROR_OUT_OF_MEMORY = -ENOMEM,
    APP_ERROR_INVALID_CONTEXT = TAV_TIZEN_ERROR_APPLICATION | 0x01,
    APP_ERROR_NO_SUCH_FILE = -ENOENT,
    APP_ERROR_ALREADY_RUNNING = -EALREADY,
    APP_ERROR_PERMISSION_DENIED = -EACCES
} app_error_e;

typedef bool (*app_create_cb)(void *user_data);
typedef void (*app_terminate_cb)(void *user_data);
typedef void (*app_pause_cb)(void *user_data);
typedef void (*app_resume_cb)(void *user_data);
typedef void (*app_control_cb)(app_control_h app_control, void *user_data);

typedef struct {
    app_create_cb create;
    app_terminate_cb terminate;
    app_pause_cb pause;
    app_resume_cb resume;
    app_control_cb app_control;
} ui_app_lifecycle_callback_s;

/* Runs the application; returns APP_ERROR_NONE after a normal end of the loop. */
int ui_app_main(int argc, char **argv, ui_app_lifecycle_callback_s *callback, void *user_data);
/* Ends the loop of ui_app_main (no effect when no loop runs). */
void ui_app_exit(void);

#ifdef __cplusplus
}
#endif
#endif
