#include <sound_manager.h>

#include "internal.h"
#include "tavplat/platform.h"
#include "tavplat/sound_control.h"

#include <dlog.h>
#include <vconf.h>

#include <mutex>
#include <new>
#include <set>
#include <string>

struct sound_stream_info_s {
    int type;
    sound_stream_focus_state_changed_cb callback;
    void* userData;
};

namespace {

const char* const kTag = "SOUND_MANAGER";
const char* const kJournal = "sound_manager";
const char* const kVolumeKey = "db/sound-manager/tv/master_volume";
const char* const kMuteKey = "db/sound-manager/tv/master_mute";
const char* const kSpeakerKey = "db/sound-manager/tv/speaker_selection";
const int kDefaultVolume = 20;

std::mutex g_streamMutex;
std::set<sound_stream_info_h>& liveStreams() {
    static auto* streams = new std::set<sound_stream_info_h>;   // used by player threads until exit
    return *streams;
}

// A setting that was never written reads as its default; a store that fails (a fault set on
// the key) fails the call.
bool readSetting(const char* key, int fallback, int& value, bool isBool) {
    const int rc = isBool ? vconf_get_bool(key, &value) : vconf_get_int(key, &value);
    if (rc == VCONF_OK)
        return true;
    if (tavplat::checkFault(key).mode != tavplat::FaultMode::None)
        return false;
    value = fallback;
    return true;
}

} // namespace

namespace tavplat::sound {

int liveStreamInformation() {
    std::lock_guard<std::mutex> lock(g_streamMutex);
    return static_cast<int>(liveStreams().size());
}

namespace detail {
bool streamInfoLive(sound_stream_info_h info) {
    std::lock_guard<std::mutex> lock(g_streamMutex);
    return liveStreams().count(info) != 0;
}
} // namespace detail

} // namespace tavplat::sound

extern "C" {

int sound_manager_create_stream_information_internal(int stream_type,
                                                     sound_stream_focus_state_changed_cb callback,
                                                     void* user_data, sound_stream_info_h* stream_info) {
    if (!stream_info || stream_type < 0 || stream_type >= 200)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("sound_manager_create_stream_information_internal", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    auto* info = new (std::nothrow) sound_stream_info_s{stream_type, callback, user_data};
    if (!info)
        return SOUND_MANAGER_ERROR_OUT_OF_MEMORY;
    std::lock_guard<std::mutex> lock(g_streamMutex);
    liveStreams().insert(info);
    *stream_info = info;
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_destroy_stream_information(sound_stream_info_h stream_info) {
    if (tavplat::callFails("sound_manager_destroy_stream_information", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    std::lock_guard<std::mutex> lock(g_streamMutex);
    if (!stream_info || liveStreams().erase(stream_info) == 0)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    delete stream_info;
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_get_type_from_stream_information_internal(sound_stream_info_h stream_info, int* type) {
    std::lock_guard<std::mutex> lock(g_streamMutex);
    if (!type || !stream_info || liveStreams().count(stream_info) == 0)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    *type = stream_info->type;
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_get_tv_master_volume(int* level) {
    if (!level)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("sound_manager_get_tv_master_volume", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    int value = 0;
    if (!readSetting(kVolumeKey, kDefaultVolume, value, false))
        return SOUND_MANAGER_ERROR_INTERNAL;
    *level = value;
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_set_tv_master_volume(int level) {
    if (level < 0 || level > SOUND_MANAGER_TV_VOLUME_MAX)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("sound_manager_set_tv_master_volume", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    if (vconf_set_int(kVolumeKey, level) != VCONF_OK)
        return SOUND_MANAGER_ERROR_INTERNAL;
    tavplat::journalAppend(kJournal, "volume " + std::to_string(level));
    dlog_print(DLOG_INFO, kTag, "master volume %d", level);
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_get_tv_master_mute(bool* muted) {
    if (!muted)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("sound_manager_get_tv_master_mute", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    int value = 0;
    if (!readSetting(kMuteKey, 0, value, true))
        return SOUND_MANAGER_ERROR_INTERNAL;
    *muted = value != 0;
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_set_tv_master_mute(bool mute) {
    if (tavplat::callFails("sound_manager_set_tv_master_mute", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    if (vconf_set_bool(kMuteKey, mute ? 1 : 0) != VCONF_OK)
        return SOUND_MANAGER_ERROR_INTERNAL;
    tavplat::journalAppend(kJournal, std::string("mute ") + (mute ? "1" : "0"));
    dlog_print(DLOG_INFO, kTag, "master mute %s", mute ? "on" : "off");
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_get_speaker_selection(sound_manager_speaker_e* speaker) {
    if (!speaker)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("sound_manager_get_speaker_selection", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    int value = 0;
    if (!readSetting(kSpeakerKey, SOUND_MANAGER_SPEAKER_TV, value, false))
        return SOUND_MANAGER_ERROR_INTERNAL;
    *speaker = static_cast<sound_manager_speaker_e>(value);
    return SOUND_MANAGER_ERROR_NONE;
}

int sound_manager_set_speaker_selection(sound_manager_speaker_e speaker) {
    if (speaker < SOUND_MANAGER_SPEAKER_TV || speaker > SOUND_MANAGER_SPEAKER_HEADPHONE)
        return SOUND_MANAGER_ERROR_INVALID_PARAMETER;
    if (tavplat::callFails("sound_manager_set_speaker_selection", kTag))
        return SOUND_MANAGER_ERROR_INTERNAL;
    if (vconf_set_int(kSpeakerKey, speaker) != VCONF_OK)
        return SOUND_MANAGER_ERROR_INTERNAL;
    tavplat::journalAppend(kJournal, "speaker " + std::to_string(static_cast<int>(speaker)));
    return SOUND_MANAGER_ERROR_NONE;
}

} // extern "C"
