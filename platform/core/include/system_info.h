/* System information service (stand-in). Values come from the device profile
 * (<platform root>/device.profile): integer keys as "info/<number>", custom keys as
 * "custom/<key>". A key missing from the profile gives SYSTEM_INFO_ERROR_INVALID_PARAMETER. */
#ifndef TAV_PLATFORM_SYSTEM_INFO_H
#define TAV_PLATFORM_SYSTEM_INFO_H

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    SYSTEM_INFO_ERROR_NONE = 0,
    SYSTEM_INFO_ERROR_INVALID_PARAMETER = -22,
    SYSTEM_INFO_ERROR_OUT_OF_MEMORY = -12,
    SYSTEM_INFO_ERROR_IO_ERROR = -5,
    SYSTEM_INFO_ERROR_PERMISSION_DENIED = -13,
    SYSTEM_INFO_ERROR_NOT_SUPPORTED = -1073741822
} system_info_error_e;

/* The television's integer key enumeration; only the numbers matter to callers. */
typedef int system_info_key_e;

int system_info_get_value_string(system_info_key_e key, char **value);
int system_info_get_value_int(system_info_key_e key, int *value);
int system_info_get_value_bool(system_info_key_e key, bool *value);
int system_info_get_custom_bool(const char *key, bool *value);
int system_info_get_custom_int(const char *key, int *value);
int system_info_get_custom_string(const char *key, char **value);

#ifdef __cplusplus
}
#endif
#endif
