/* Voice control for Elementary (stand-in): registers widgets for voice commands.
 * Journal "voice_control": "vc_elm_initialize", "vc_elm_set_auto_register_mode <mode> <type>",
 * "vc_elm_deinitialize". Faults: tavplat::checkFault("<call name>") makes a call fail. */
#ifndef TAV_PLATFORM_VOICE_CONTROL_ELM_H
#define TAV_PLATFORM_VOICE_CONTROL_ELM_H

#include <errno.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    VC_ELM_ERROR_NONE = 0,
    VC_ELM_ERROR_INVALID_PARAMETER = -EINVAL,
    VC_ELM_ERROR_INVALID_STATE = -0x02fa0000 | 0x011,
    VC_ELM_ERROR_OPERATION_FAILED = -0x02fa0000 | 0x014
} vc_elm_error_e;

int vc_elm_initialize(void);
int vc_elm_deinitialize(void);
/* mode 1: widgets register themselves; mode_type 1: with their visible text. */
int vc_elm_set_auto_register_mode(int mode, int mode_type);

#ifdef __cplusplus
}
#endif
#endif
