#include "Sound.h"

#include "Input.h"

#include <TavLog.h>
#include <feedback.h>
#include <sound_manager.h>
#include <vconf.h>
#include <wav_player.h>

#include <algorithm>
#include <climits>

namespace deviceinfo {

namespace {
// The sound manager's stream type for the service's sound files.
const int kWavStreamType = 107;
// External speakers keep their mute state here; this value means muted.
const char* const kExternalVolumeKey = "memory/tv-viewer/ext_volume";
const int kExternalMuted = -4;
// The remote control's mute key, injected to toggle an external speaker.
const char* const kMuteRcCode = "15";

int clampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}
} // namespace

int Sound::s_volumeLevel = 50;
bool Sound::s_soundSystemPreempted = false;
const std::map<SoundAUIType, int> Sound::s_auiPatternMap = {
    {AUI_SOUND_MOVE_ITEM, 66}, {AUI_SOUND_CANCEL, 67}, {AUI_SOUND_MOVE, 68},
    {AUI_SOUND_CONFIRM, 69},   {AUI_SOUND_POPUP, 71},
};

int Sound::playAUISound(SoundAUIType type) {
    LOGI("Playing AUI Sound, SoundAuiType: %d", static_cast<int>(type));
    if (static_cast<unsigned int>(type) >= s_auiPatternMap.size())
        return 1;

    // The feedback service is held only for the one sound.
    int result = feedback_initialize();
    if (result != 0) {
        SLOGW("Feedback initialize error: %d", result);
        return result;
    }
    const auto row = s_auiPatternMap.find(type);
    if (row == s_auiPatternMap.end()) {
        result = 2;
    } else {
        result = feedback_play(static_cast<feedback_pattern_e>(row->second));
        LOGI("Playing AUI Sound, feedback_pattern_e type: %d", row->second);
        if (result == 0) {
            const int released = feedback_deinitialize();
            if (released != 0)
                SLOGW("Feedback deinitialize error: %d", released);
            return released;
        }
    }
    SLOGW("Feedback playback error: %d", result);
    feedback_deinitialize();
    return result;
}

int Sound::playWavFile(const char* path, void* completedCallback, void* userData) {
    sound_stream_info_h streamInfo = nullptr;
    if (sound_manager_create_stream_information_internal(kWavStreamType, nullptr, nullptr, &streamInfo) != 0) {
        LOGW("Failed to create stream information of sound manager");
        return -1;
    }
    int id = -1;
    // Count 0: the player repeats the file until it is stopped.
    if (wav_player_start_loop(path, streamInfo, 0,
                              reinterpret_cast<wav_player_playback_completed_cb>(completedCallback),
                              userData, &id) != 0) {
        LOGW("Failed to call wav player start loop");
        sound_manager_destroy_stream_information(streamInfo);
        return -1;
    }
    sound_manager_destroy_stream_information(streamInfo);
    return id;
}

int Sound::stopWavFile(int id) { return wav_player_stop(id); }

int Sound::getVolumeLevel() {
    if (sound_manager_get_tv_master_volume(&s_volumeLevel) != 0)
        return -1;
    LOGI("Current Volume Level: %d", s_volumeLevel);
    return s_volumeLevel;
}

int Sound::setVolumeLevel(int level) {
    if (static_cast<unsigned int>(level) > 100) {
        SLOGW("Required volume level is out of range");
        return -1;
    }
    LOGD("setting volume level to %d", level);
    // Stored before the platform call: callers step from the level they asked for last.
    s_volumeLevel = level;
    const int result = sound_manager_set_tv_master_volume(level);
    if (result < 0) {
        SLOGW("Set volume error status: %d", result);
        return result;
    }
    LOGI("Volume set to: %d, result: %u", level, static_cast<unsigned int>(result));
    return level;
}

int Sound::increaseVolumeLevel(unsigned int delta) {
    LOGD("increasing volume level by %d", static_cast<int>(delta));
    const int result = setVolumeLevel(clampToInt(static_cast<long long>(s_volumeLevel) + delta));
    if (result < 0) {
        SLOGW("Volume %d increase error: %d", s_volumeLevel, result);
        return -1;
    }
    return 0;
}

int Sound::decreaseVolumeLevel(unsigned int delta) {
    LOGD("decreasing volume level by %d", static_cast<int>(delta));
    const int result = setVolumeLevel(clampToInt(static_cast<long long>(s_volumeLevel) - delta));
    if (result < 0) {
        SLOGW("Volume %d decrease error: %d", s_volumeLevel, result);
        return -1;
    }
    return 0;
}

int Sound::getMuteLevel() {
    sound_manager_speaker_e speaker = SOUND_MANAGER_SPEAKER_TV;
    if (sound_manager_get_speaker_selection(&speaker) != 0) {
        SLOGW("Operation failed.");
        return 0;
    }
    if (speaker == SOUND_MANAGER_SPEAKER_TV) {
        bool muted = false;
        const int result = sound_manager_get_tv_master_mute(&muted);
        if (result == 0)
            LOGI("Mute value: %s", muted ? "true" : "false");
        else
            SLOGW("Error while getting mute state, result: %d, returning false", result);
        return muted ? 1 : 0;
    }
    int external = 0;
    if (vconf_get_int(kExternalVolumeKey, &external) != 0) {
        SLOGW("Error while getting mute state");
        return 0;
    }
    if (external == kExternalMuted) {
        LOGI("ext_volume is mute on");
        return 1;
    }
    LOGI("ext_volume is mute off");
    return 0;
}

int Sound::muteSound(bool mute) {
    sound_manager_speaker_e speaker = SOUND_MANAGER_SPEAKER_TV;
    if (sound_manager_get_speaker_selection(&speaker) != 0) {
        SLOGW("Operation failed.");
        return -1;
    }
    if (speaker == SOUND_MANAGER_SPEAKER_TV) {
        LOGI("Mute to set: %s", mute ? "true" : "false");
        const int result = sound_manager_set_tv_master_mute(mute);
        if (result != 0) {
            SLOGW("Error while setting mute state, result: %d", result);
            return -1;
        }
        return 0;
    }
    int external = 0;
    if (vconf_get_int(kExternalVolumeKey, &external) != 0) {
        SLOGW("Error while getting mute state");
        return -1;
    }
    // An external speaker only toggles with the remote control's mute key.
    if ((external == kExternalMuted) == mute)
        return 0;
    LOGI("execute mute key event");
    Input::GetInstance()->generateRcuInput(kMuteRcCode, "pressrelease");
    return 0;
}

int Sound::preemptSoundSystem() {
    if (s_soundSystemPreempted) {
        LOGD("sound system already preempted");
        return -1;
    }
    LOGD("preempting sound system");
    const int result = sound_manager_get_tv_master_volume(&s_volumeLevel);
    LOGI("Volume val set to: %d, result: %u", s_volumeLevel, static_cast<unsigned int>(result));
    s_soundSystemPreempted = true;
    return 0;
}

int Sound::freeSoundSystem() {
    if (s_soundSystemPreempted) {
        LOGD("freeing preempted earlier sound system");
        s_soundSystemPreempted = false;
        return 0;
    }
    LOGD("sound system already not preempted");
    return -1;
}

} // namespace deviceinfo
