#include <ui_orientation.h>

#include "tavplat/platform.h"

#include <vconf.h>

#include <cstdlib>
#include <string>

namespace {
// Menu languages written from right to left: the television mirrors its UI for them.
bool rightToLeft(const std::string& language) {
    const std::string base = language.substr(0, language.find_first_of("_.@"));
    return base == "ar" || base == "fa" || base == "he" || base == "ur";
}
} // namespace

extern "C" int ua_UI_orientation_get(void) {
    if (tavplat::callFails("ua_UI_orientation_get"))
        return 0;
    int value = 0;
    if (vconf_get_int(UA_UI_ORIENTATION_KEY, &value) == VCONF_OK)
        return value == 1 ? 1 : 0;
    char* language = vconf_get_str("db/menu_widget/language");
    const bool mirrored = language && rightToLeft(language);
    free(language);
    return mirrored ? 1 : 0;
}
