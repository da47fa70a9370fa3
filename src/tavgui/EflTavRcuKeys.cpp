#include "EflTavRcuKeys.h"

#include "TavLog.h"

#include <Elementary.h>

namespace UI {

namespace {

// Top-most: the window gets the key even when another window is stacked above it.
void grab(Evas_Object* window, const char* const* keys, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!elm_win_keygrab_set(window, keys[i], 0, 0, 0, ELM_WIN_KEYGRAB_TOPMOST))
            SLOGW("Grab key error: %s", keys[i]);
    }
}

void release(Evas_Object* window, const char* const* keys, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!elm_win_keygrab_unset(window, keys[i], 0, 0))
            SLOGW("Unrab key error: %s", keys[i]);
    }
}

} // namespace

void initializeRCUKeysHandling(Evas_Object* window) {
    LOGD("Handling keys");
    grab(window, keysTab, keysTabSize);
}

void freeRCUKeysHandling(Evas_Object* window) {
    LOGD("Release keys handle");
    release(window, keysTab, keysTabSize);
}

void addVolumeRCUKeysHandling(Evas_Object* window) {
    LOGD("Handling Volume keys");
    grab(window, keysTabVolume, keysTabVolumeSize);
}

void freeVolumeRCUKeysHandling(Evas_Object* window) {
    LOGD("Release Volume keys handle");
    release(window, keysTabVolume, keysTabVolumeSize);
}

void addBTVoiceRCUKeysHandling(Evas_Object* window) {
    LOGD("Handling BT_VOICE keys");
    grab(window, &keyBTVoice, 1);
}

void freeBTVoiceRCUKeysHandling(Evas_Object* window) {
    LOGD("Release BT_VOICE keys handle");
    release(window, &keyBTVoice, 1);
}

} // namespace UI
