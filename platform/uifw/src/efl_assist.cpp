#include <efl_assist.h>

#include "tavplat/platform.h"

#include <string>

extern "C" {

void ea_init(int, char**) {
    tavplat::checkFault("ea_init");
    tavplat::journalAppend("efl_assist", "ea_init");
}

void ea_shutdown(void) {
    tavplat::checkFault("ea_shutdown");
    tavplat::journalAppend("efl_assist", "ea_shutdown");
}

void ea_config_text_scale_set(int enable) {
    tavplat::checkFault("ea_config_text_scale_set");
    tavplat::journalAppend("efl_assist", "ea_config_text_scale_set " + std::to_string(enable));
}

void ea_apply_color_pick(Evas_Object* obj) {
    tavplat::checkFault("ea_apply_color_pick");
    const char* type = obj ? evas_object_type_get(obj) : nullptr;
    tavplat::journalAppend("efl_assist", std::string("ea_apply_color_pick ") + (type ? type : "null"));
}

} // extern "C"
