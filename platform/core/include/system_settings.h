/* System settings (stand-in). Values live in the device profile as "settings/<number>";
 * writes persist there. A key missing from the profile gives
 * SYSTEM_SETTINGS_ERROR_INVALID_PARAMETER. */
#ifndef TAV_PLATFORM_SYSTEM_SETTINGS_H
#define TAV_PLATFORM_SYSTEM_SETTINGS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    SYSTEM_SETTINGS_ERROR_NONE = 0,
    SYSTEM_SETTINGS_ERROR_INVALID_PARAMETER = -22,
    SYSTEM_SETTINGS_ERROR_OUT_OF_MEMORY = -12,
    SYSTEM_SETTINGS_ERROR_IO_ERROR = -5,
    SYSTEM_SETTINGS_ERROR_NOT_SUPPORTED = -1073741822
} system_settings_error_e;

typedef int system_settings_key_e;

int system_settings_get_value_string(system_settings_key_e key, char **value);
int system_settings_get_value_int(system_settings_key_e key, int *value);
int system_settings_set_value_int(system_settings_key_e key, int value);
int system_settings_set_value_string(system_settings_key_e key, const char *value);

#ifdef __cplusplus
}
#endif
#endif
