/* HDMI-CEC proxy (stand-in). The enabled state lives in the device profile ("cec/enable");
 * every call is journalled ("cec") and consults the fault switch of its own name. */
#ifndef TAV_PLATFORM_CEC_H
#define TAV_PLATFORM_CEC_H

#ifdef __cplusplus
extern "C" {
#endif

int cec_init_proxy(void);
/* The enabled state (0 or 1). */
int cec_is_enable(void);
/* 0 on success. */
int cec_set_enable(int enable);
int cec_close_proxy(void);

#ifdef __cplusplus
}
#endif
#endif
