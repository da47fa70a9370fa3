/* Bluetooth adapter (stand-in). The address comes from the device profile ("bt/address");
 * calls are journalled ("bt") and consult the fault switch of their own name. */
#ifndef TAV_PLATFORM_BLUETOOTH_H
#define TAV_PLATFORM_BLUETOOTH_H

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    BT_ERROR_NONE = 0,
    BT_ERROR_OPERATION_FAILED = -0x01C00000 | 0x0101,
    BT_ERROR_NOT_INITIALIZED = -0x01C00000 | 0x0102,
} bt_error_e;

int bt_initialize(void);
int bt_deinitialize(void);
/* On success *local_address is a malloc'ed text the caller frees. */
int bt_adapter_get_address(char **local_address);

#ifdef __cplusplus
}
#endif
#endif
