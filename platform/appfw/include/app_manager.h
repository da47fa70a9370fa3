/* Application manager (stand-in): running state and termination of applications, from the
 * registry under the platform root (<root>/appfw/running/<app id>). Terminations are appended
 * to the journal "app_terminate". Faults: every call consults tavplat::checkFault("<call>"). */
#ifndef TAV_PLATFORM_APP_MANAGER_H
#define TAV_PLATFORM_APP_MANAGER_H

#include <stdbool.h>
#include <sys/types.h>

#include "tizen_app_error.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct app_context_s *app_context_h;

typedef enum {
    APP_MANAGER_ERROR_NONE = 0,
    APP_MANAGER_ERROR_INVALID_PARAMETER = -EINVAL,
    APP_MANAGER_ERROR_OUT_OF_MEMORY = -ENOMEM,
    APP_MANAGER_ERROR_IO_ERROR = -EIO,
    APP_MANAGER_ERROR_NO_SUCH_APP = TAV_TIZEN_ERROR_APPLICATION_MANAGER | 0x01,
    APP_MANAGER_ERROR_DB_FAILED = TAV_TIZEN_ERROR_APPLICATION_MANAGER | 0x03,
    APP_MANAGER_ERROR_INVALID_PACKAGE = TAV_TIZEN_ERROR_APPLICATION_MANAGER | 0x04,
    APP_MANAGER_ERROR_APP_NO_RUNNING = TAV_TIZEN_ERROR_APPLICATION_MANAGER | 0x05,
    APP_MANAGER_ERROR_REQUEST_FAILED = TAV_TIZEN_ERROR_APPLICATION_MANAGER | 0x06,
    APP_MANAGER_ERROR_PERMISSION_DENIED = -EACCES,
    APP_MANAGER_ERROR_NOT_SUPPORTED = -1073741822
} app_manager_error_e;

int app_manager_is_running(const char *app_id, bool *running);
/* APP_MANAGER_ERROR_NO_SUCH_APP when the application does not run. */
int app_manager_get_app_context(const char *app_id, app_context_h *app_context);
/* APP_MANAGER_ERROR_APP_NO_RUNNING when the application has already ended. */
int app_manager_terminate_app(app_context_h app_context);
int app_context_destroy(app_context_h app_context);
int app_context_get_app_id(app_context_h app_context, char **app_id);
int app_context_get_pid(app_context_h app_context, pid_t *pid);

#ifdef __cplusplus
}
#endif
#endif
