/* Application control (stand-in): a launch request for another application, with an
 * operation, a target application id and string extra data.
 *
 * A launch request is checked against the registry of installed applications under the
 * platform root (<root>/appfw/installed/<app id>); a known application is then marked running
 * (<root>/appfw/running/<app id>) and the request is appended to the journal "app_launch"
 * (see tavplat/appfw.h for reading it back). Faults: every call consults
 * tavplat::checkFault("<call name>"). */
#ifndef TAV_PLATFORM_APP_CONTROL_H
#define TAV_PLATFORM_APP_CONTROL_H

#include <stdbool.h>

#include "tizen_app_error.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct app_control_s *app_control_h;

typedef enum {
    APP_CONTROL_ERROR_NONE = 0,
    APP_CONTROL_ERROR_INVALID_PARAMETER = -EINVAL,
    APP_CONTROL_ERROR_OUT_OF_MEMORY = -ENOMEM,
    APP_CONTROL_ERROR_APP_NOT_FOUND = TAV_TIZEN_ERROR_APPLICATION | 0x21,
    APP_CONTROL_ERROR_KEY_NOT_FOUND = -ENOKEY,
    APP_CONTROL_ERROR_KEY_REJECTED = TAV_TIZEN_ERROR_APPLICATION | 0x23,
    APP_CONTROL_ERROR_INVALID_DATA_TYPE = TAV_TIZEN_ERROR_APPLICATION | 0x24,
    APP_CONTROL_ERROR_LAUNCH_REJECTED = TAV_TIZEN_ERROR_APPLICATION | 0x25,
    APP_CONTROL_ERROR_PERMISSION_DENIED = -EACCES,
    APP_CONTROL_ERROR_LAUNCH_FAILED = TAV_TIZEN_ERROR_APPLICATION | 0x26,
    APP_CONTROL_ERROR_TIMED_OUT = -ETIMEDOUT,
    APP_CONTROL_ERROR_IO_ERROR = -EIO
} app_control_error_e;

typedef enum {
    APP_CONTROL_RESULT_APP_STARTED = 1,
    APP_CONTROL_RESULT_SUCCEEDED = 0,
    APP_CONTROL_RESULT_FAILED = -1,
    APP_CONTROL_RESULT_CANCELED = -2
} app_control_result_e;

#define APP_CONTROL_OPERATION_MAIN "http://tizen.org/appcontrol/operation/main"
#define APP_CONTROL_OPERATION_DEFAULT "http://tizen.org/appcontrol/operation/default"
#define APP_CONTROL_OPERATION_VIEW "http://tizen.org/appcontrol/operation/view"

typedef void (*app_control_reply_cb)(app_control_h request, app_control_h reply,
                                     app_control_result_e result, void *user_data);
/* Return true to go on with the next extra. */
typedef bool (*app_control_extra_data_cb)(app_control_h app_control, const char *key,
                                          void *user_data);

int app_control_create(app_control_h *app_control);
int app_control_destroy(app_control_h app_control);
int app_control_clone(app_control_h *clone, app_control_h app_control);

int app_control_set_operation(app_control_h app_control, const char *operation);
/* *operation is a malloc'ed copy (NULL when none is set); free it. */
int app_control_get_operation(app_control_h app_control, char **operation);
int app_control_set_app_id(app_control_h app_control, const char *app_id);
int app_control_get_app_id(app_control_h app_control, char **app_id);

/* Extras keep the order they were added in. Adding a key that is already there keeps both
 * entries for the launch (the receiver sees them in order); reading a key gives the value
 * added last. */
int app_control_add_extra_data(app_control_h app_control, const char *key, const char *value);
int app_control_remove_extra_data(app_control_h app_control, const char *key);
/* *value is a malloc'ed copy; APP_CONTROL_ERROR_KEY_NOT_FOUND when the key is missing. */
int app_control_get_extra_data(app_control_h app_control, const char *key, char **value);
int app_control_foreach_extra_data(app_control_h app_control, app_control_extra_data_cb callback,
                                   void *user_data);

/* Sends the request. APP_CONTROL_ERROR_APP_NOT_FOUND when no application id is set or the
 * application is not installed. The reply callback is accepted but never called: the
 * emulated applications do not answer. */
int app_control_send_launch_request(app_control_h app_control, app_control_reply_cb callback,
                                    void *user_data);

#ifdef __cplusplus
}
#endif
#endif
