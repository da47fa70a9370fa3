/* Feedback service (stand-in): short interface sounds by pattern number.
 *
 * Every call consults tavplat::checkFault("<call name>"). Each call that reaches the service is
 * written to the platform log (tag "FEEDBACK") and to the journal "feedback", one line each:
 * "initialize", "play <pattern>", "deinitialize". The service counts initialisations: play
 * needs at least one, and each deinitialize releases one. */
#ifndef TAV_PLATFORM_FEEDBACK_H
#define TAV_PLATFORM_FEEDBACK_H

#include <errno.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    FEEDBACK_ERROR_NONE = 0,
    FEEDBACK_ERROR_OPERATION_FAILED = -EPERM,
    FEEDBACK_ERROR_INVALID_PARAMETER = -EINVAL,
    FEEDBACK_ERROR_PERMISSION_DENIED = -EACCES,
    FEEDBACK_ERROR_NOT_SUPPORTED = -1073741822,
    FEEDBACK_ERROR_NOT_INITIALIZED = -0x01900000 | 0x01
} feedback_error_e;

/* Pattern numbers are the television's; any number from 0 below FEEDBACK_PATTERN_END plays. */
typedef enum {
    FEEDBACK_PATTERN_NONE = -1,
    FEEDBACK_PATTERN_TAP = 0,
    FEEDBACK_PATTERN_END = 128
} feedback_pattern_e;

int feedback_initialize(void);
int feedback_play(feedback_pattern_e pattern);
int feedback_deinitialize(void);

#ifdef __cplusplus
}
#endif
#endif
