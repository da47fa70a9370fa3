// Interface sounds, looping WAV playback, and the television's master volume and mute.
#pragma once

#include "DeviceInfoTypes.h"

#include <map>

namespace deviceinfo {

class Sound {
public:
    Sound() = default;
    ~Sound() = default;

    // 0 on success; 1 for a type without a pattern; otherwise the failing feedback call's result.
    int playAUISound(SoundAUIType type);
    // Loops the file until stopped; the player id, or -1. `completedCallback` is a
    // wav_player_playback_completed_cb.
    int playWavFile(const char* path, void* completedCallback, void* userData);
    int stopWavFile(int id);

    int getVolumeLevel();
    // The new level, -1 for a level outside 0..100, or the sound manager's negative error.
    int setVolumeLevel(int level);
    int increaseVolumeLevel(unsigned int delta);
    int decreaseVolumeLevel(unsigned int delta);

    // 1 muted, 0 not muted or unknown.
    int getMuteLevel();
    int muteSound(bool mute);

    int preemptSoundSystem();
    int freeSoundSystem();

    // Shared by every Sound object for the life of the process.
    static int s_volumeLevel;
    static bool s_soundSystemPreempted;
    static const std::map<SoundAUIType, int> s_auiPatternMap;
};

} // namespace deviceinfo
