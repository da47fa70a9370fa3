#include "EflTavRcuKeys.h"

#include "TavLog.h"

#include <Elementary.h>

namespace UI {

// The loops are macros so that a refused key is logged under the name of the operation that
// tried it (the log prefix carries the function name).
// Top-most: the window gets the key even when another window is stacked above it.
#define TAV_GRAB_KEYS(window, keys, count)                                          \
    for (std::size_t i = 0; i < (count); ++i) {                                     \
        if (!elm_win_keygrab_set((window), (keys)[i], 0, 0, 0, ELM_WIN_KEYGRAB_TOPMOST)) \
            SLOGW("Grab key error: %s", (keys)[i]);                                 \
    }

#define TAV_RELEASE_KEYS(window, keys, count)                                       \
    for (std::size_t i = 0; i < (count); ++i) {                                     \
        if (!elm_win_keygrab_unset((window), (keys)[i], 0, 0))                      \
            SLOGW("Unrab key error: %s", (keys)[i]);                                \
    }

void initializeRCUKeysHandling(Evas_Object* window) {
    LOGD("Handling keys");
    TAV_GRAB_KEYS(window, keysTab, keysTabSize);
}

void freeRCUKeysHandling(Evas_Object* window) {
    LOGD("Release keys handle");
    TAV_RELEASE_KEYS(window, keysTab, keysTabSize);
}

void addVolumeRCUKeysHandling(Evas_Object* window) {
    LOGD("Handling Volume keys");
    TAV_GRAB_KEYS(window, keysTabVolume, keysTabVolumeSize);
}

void freeVolumeRCUKeysHandling(Evas_Object* window) {
    LOGD("Release Volume keys handle");
    TAV_RELEASE_KEYS(window, keysTabVolume, keysTabVolumeSize);
}

void addBTVoiceRCUKeysHandling(Evas_Object* window) {
    LOGD("Handling BT_VOICE keys");
    TAV_GRAB_KEYS(window, &keyBTVoice, 1);
}

void freeBTVoiceRCUKeysHandling(Evas_Object* window) {
    LOGD("Release BT_VOICE keys handle");
    TAV_RELEASE_KEYS(window, &keyBTVoice, 1);
}

} // namespace UI
