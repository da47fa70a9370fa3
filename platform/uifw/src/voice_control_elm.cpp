#include <voice_control_elm.h>

#include "tavplat/platform.h"

#include <string>

namespace {

bool g_initialized = false;

} // namespace

extern "C" {

int vc_elm_initialize(void) {
    if (tavplat::callFails("vc_elm_initialize", "VC_ELM"))
        return VC_ELM_ERROR_OPERATION_FAILED;
    if (g_initialized)
        return VC_ELM_ERROR_INVALID_STATE;
    g_initialized = true;
    tavplat::journalAppend("voice_control", "vc_elm_initialize");
    return VC_ELM_ERROR_NONE;
}

int vc_elm_deinitialize(void) {
    if (tavplat::callFails("vc_elm_deinitialize", "VC_ELM"))
        return VC_ELM_ERROR_OPERATION_FAILED;
    if (!g_initialized)
        return VC_ELM_ERROR_INVALID_STATE;
    g_initialized = false;
    tavplat::journalAppend("voice_control", "vc_elm_deinitialize");
    return VC_ELM_ERROR_NONE;
}

int vc_elm_set_auto_register_mode(int mode, int mode_type) {
    if (tavplat::callFails("vc_elm_set_auto_register_mode", "VC_ELM"))
        return VC_ELM_ERROR_OPERATION_FAILED;
    if (!g_initialized)
        return VC_ELM_ERROR_INVALID_STATE;
    if (mode < 0 || mode > 2 || mode_type < 0 || mode_type > 1)
        return VC_ELM_ERROR_INVALID_PARAMETER;
    tavplat::journalAppend("voice_control", "vc_elm_set_auto_register_mode " + std::to_string(mode) +
                                                " " + std::to_string(mode_type));
    return VC_ELM_ERROR_NONE;
}

} // extern "C"
