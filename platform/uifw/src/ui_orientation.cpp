#include <ui_orientation.h>

#include "tavplat/platform.h"

#include <vconf.h>

extern "C" int ua_UI_orientation_get(void) {
    if (tavplat::callFails("ua_UI_orientation_get"))
        return 0;
    int value = 0;
    if (vconf_get_int(UA_UI_ORIENTATION_KEY, &value) != VCONF_OK)
        return 0;
    return value == 1 ? 1 : 0;
}
