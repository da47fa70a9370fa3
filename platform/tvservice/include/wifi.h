/* Wi-Fi adapter (stand-in). The address comes from the device profile ("wifi/mac_address");
 * consults the fault switch "wifi_get_mac_address". */
#ifndef TAV_PLATFORM_WIFI_H
#define TAV_PLATFORM_WIFI_H

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    WIFI_ERROR_NONE = 0,
    WIFI_ERROR_OPERATION_FAILED = -0x01C50000 | 0x0302,
} wifi_error_e;

/* On success *mac_address is a malloc'ed text the caller frees. */
int wifi_get_mac_address(char **mac_address);

#ifdef __cplusplus
}
#endif
#endif
