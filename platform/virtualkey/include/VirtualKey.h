/* Virtual-key service (stand-in): injects keyboard key codes as if a remote control sent them.
 *
 * Calls are written to the journal "virtualkey", one line each: "initialize <mode>",
 * "send <key code> <action>", "finalize", and to the platform log (tag "VIRTUALKEY"). Sending
 * needs an initialised service (initialisations are counted). Every call consults
 * tavplat::checkFault("<call name>"); a failing call returns -1. */
#ifndef TAV_PLATFORM_VIRTUALKEY_H
#define TAV_PLATFORM_VIRTUALKEY_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VIRTUALKEY_ACTION_RELEASE = 0,
    VIRTUALKEY_ACTION_PRESS = 1,
    VIRTUALKEY_ACTION_PRESSRELEASE = 2
};

/* 0 on success, -1 on failure. */
int VirtualKey_Initialize(int mode);
int VirtualKey_Send_KeyCode(int keycode, int action);
int VirtualKey_Finalize(void);

#ifdef __cplusplus
}
#endif
#endif
