#include "DeviceTestFixture.h"
#include "Input.h"
#include "Sound.h"

#include "tavplat/sound_control.h"

#include <feedback.h>
#include <sound_manager.h>
#include <vconf.h>
#include <wav_player.h>

using deviceinfo::Sound;
using deviceinfo::SoundAUIType;

namespace {

class SoundTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        sound_manager_set_speaker_selection(SOUND_MANAGER_SPEAKER_TV);
        Sound::s_soundSystemPreempted = false;
        tavplat::journalClear("sound_manager");
    }
    bool warnedCount(int n, const std::string& body) const { return m_log.count(LOG_ID_SYSTEM, DLOG_WARN, body) == n; }
    Sound m_sound;
};

// A mono 16-bit 8 kHz WAV file of `ms` milliseconds of silence.
std::string wavFile(const tavtest::TempDir& dir, unsigned ms) {
    const uint32_t data = 8000 * 2 * ms / 1000;
    std::string w = "RIFF____WAVEfmt ";
    auto put = [&w](uint32_t v, int bytes) { for (int i = 0; i < bytes; ++i) w += char(v >> (8 * i)); };
    put(16, 4); put(1, 2); put(1, 2); put(8000, 4); put(16000, 4); put(2, 2); put(16, 2);
    w += "data";
    put(data, 4);
    w.append(data, '\0');
    const std::string path = dir.file("tone.wav");
    tavtest::writeFile(path, w);
    return path;
}

} // namespace

TEST_F(SoundTest, InterfaceSoundsPlayTheirPatternAndAlwaysReleaseFeedback) {
    const int patterns[] = {66, 67, 68, 69, 71};
    Lines expected;
    for (int type = 0; type < 5; ++type) {
        EXPECT_EQ(0, m_sound.playAUISound(static_cast<SoundAUIType>(type)));
        expected.insert(expected.end(), {"initialize", "play " + std::to_string(patterns[type]), "deinitialize"});
    }
    EXPECT_EQ(1, m_sound.playAUISound(static_cast<SoundAUIType>(5)));
    EXPECT_EQ(1, m_sound.playAUISound(static_cast<SoundAUIType>(-1)));
    EXPECT_EQ(expected, journal("feedback"));

    tavplat::journalClear("feedback");
    fault("feedback_initialize");
    EXPECT_EQ(FEEDBACK_ERROR_OPERATION_FAILED, m_sound.playAUISound(deviceinfo::AUI_SOUND_CONFIRM));
    EXPECT_TRUE(warned("Feedback initialize error: -1"));
    EXPECT_TRUE(journal("feedback").empty());   // nothing taken, nothing released
    tavplat::test::clearFaults();
    fault("feedback_play");
    EXPECT_EQ(FEEDBACK_ERROR_OPERATION_FAILED, m_sound.playAUISound(deviceinfo::AUI_SOUND_CONFIRM));
    EXPECT_TRUE(warned("Feedback playback error: -1"));
    EXPECT_EQ((Lines{"initialize", "deinitialize"}), journal("feedback"));
    tavplat::test::clearFaults();
    fault("feedback_deinitialize");
    EXPECT_EQ(FEEDBACK_ERROR_OPERATION_FAILED, m_sound.playAUISound(deviceinfo::AUI_SOUND_CANCEL));
    EXPECT_TRUE(warned("Feedback deinitialize error: -1"));
    EXPECT_EQ((Lines{"initialize", "deinitialize", "initialize", "play 67"}), journal("feedback"));
    tavplat::test::clearFaults();
    feedback_deinitialize();   // give back what the refused release kept
}

TEST_F(SoundTest, VolumeStaysWithinBoundsAndRemembersTheLastRequest) {
    Sound::s_volumeLevel = 42;
    EXPECT_EQ(-1, m_sound.setVolumeLevel(101));
    EXPECT_EQ(-1, m_sound.setVolumeLevel(-1));
    EXPECT_EQ(42, Sound::s_volumeLevel);
    EXPECT_TRUE(warnedCount(2, "Required volume level is out of range"));
    EXPECT_TRUE(journal("sound_manager").empty());
    EXPECT_EQ(100, m_sound.setVolumeLevel(100));
    EXPECT_EQ(100, m_sound.getVolumeLevel());

    Sound::s_volumeLevel = 98;
    EXPECT_EQ(-1, m_sound.increaseVolumeLevel(5));
    EXPECT_EQ(98, Sound::s_volumeLevel);
    EXPECT_TRUE(warned("Volume 98 increase error: -1"));
    EXPECT_EQ(0, m_sound.decreaseVolumeLevel(8));
    EXPECT_EQ(90, m_sound.getVolumeLevel());
    Sound::s_volumeLevel = 3;
    EXPECT_EQ(-1, m_sound.decreaseVolumeLevel(5));   // refused, not clamped to 0

    // The platform refuses a valid level: the request is remembered all the same.
    fault("sound_manager_set_tv_master_volume");
    EXPECT_EQ(SOUND_MANAGER_ERROR_INTERNAL, m_sound.setVolumeLevel(30));
    EXPECT_EQ(30, Sound::s_volumeLevel);
    fault("sound_manager_get_tv_master_volume");
    EXPECT_EQ(-1, m_sound.getVolumeLevel());
    tavplat::test::clearFaults();
    EXPECT_EQ(90, m_sound.getVolumeLevel());
}

TEST_F(SoundTest, MuteOfTheTelevisionOrAnExternalSpeaker) {
    EXPECT_EQ(0, m_sound.muteSound(true));
    EXPECT_EQ(1, m_sound.getMuteLevel());
    EXPECT_EQ(0, m_sound.muteSound(false));
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_EQ((Lines{"mute 1", "mute 0"}), journal("sound_manager"));
    fault("sound_manager_set_tv_master_mute");
    fault("sound_manager_get_tv_master_mute");
    EXPECT_EQ(-1, m_sound.muteSound(true));
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_TRUE(warned("Error while getting mute state, result: " + std::to_string(SOUND_MANAGER_ERROR_INTERNAL) +
                       ", returning false"));
    fault("sound_manager_get_speaker_selection");
    EXPECT_EQ(-1, m_sound.muteSound(false));
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_TRUE(warnedCount(2, "Operation failed."));
    EXPECT_TRUE(journal("virtualkey").empty());
    tavplat::test::clearFaults();

    // An external speaker has no mute of its own: the mute key toggles it, sent only when needed.
    tavplat::journalClear("sound_manager");
    sound_manager_set_speaker_selection(SOUND_MANAGER_SPEAKER_RECEIVER);
    deviceinfo::Input::GetInstance();
    tavplat::journalClear("virtualkey");
    vconf_set_int("memory/tv-viewer/ext_volume", -4);
    EXPECT_EQ(1, m_sound.getMuteLevel());
    EXPECT_EQ(0, m_sound.muteSound(true));   // already muted: no key
    EXPECT_TRUE(journal("virtualkey").empty());
    EXPECT_EQ(0, m_sound.muteSound(false));
    EXPECT_EQ(Lines{"send 74 2"}, journal("virtualkey"));
    vconf_set_int("memory/tv-viewer/ext_volume", 12);
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_EQ(0, m_sound.muteSound(false));
    EXPECT_EQ(0, m_sound.muteSound(true));
    EXPECT_EQ((Lines{"send 74 2", "send 74 2"}), journal("virtualkey"));
    EXPECT_EQ(Lines{"speaker 1"}, journal("sound_manager"));   // the TV's own mute untouched
    vconf_unset("memory/tv-viewer/ext_volume");
    EXPECT_EQ(-1, m_sound.muteSound(true));
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_TRUE(warnedCount(2, "Error while getting mute state"));
}

TEST_F(SoundTest, SoundSystemReservation) {
    EXPECT_EQ(-1, m_sound.freeSoundSystem());
    sound_manager_set_tv_master_volume(35);
    EXPECT_EQ(0, m_sound.preemptSoundSystem());
    EXPECT_EQ(35, Sound::s_volumeLevel);
    EXPECT_EQ(-1, m_sound.preemptSoundSystem());
    EXPECT_EQ(0, m_sound.freeSoundSystem());
    EXPECT_EQ(-1, m_sound.freeSoundSystem());
}

TEST_F(SoundTest, WavFilesLoopUntilStopped) {
    const int id = m_sound.playWavFile(wavFile(m_dir, 20).c_str(), nullptr, nullptr);
    ASSERT_GT(id, 0);
    // Without end, on the stream type of the service's sounds.
    const std::string started = journal("wav_player").at(0);
    EXPECT_NE(started.find(" count=0 "), std::string::npos) << started;
    EXPECT_NE(started.find(" stream=107"), std::string::npos) << started;
    EXPECT_EQ(0, tavplat::sound::liveStreamInformation());
    EXPECT_TRUE(tavtest::waitFor([&] { return tavplat::sound::playback(id)->passesDone >= 3; }, 2000))
        << "still going after three passes";
    EXPECT_EQ(0, m_sound.stopWavFile(id));
    EXPECT_EQ(WAV_PLAYER_ERROR_INVALID_OPERATION, m_sound.stopWavFile(id));

    tavtest::writeFile(m_dir.file("notes.wav"), "just some text, no RIFF header at all");
    EXPECT_EQ(-1, m_sound.playWavFile(m_dir.file("notes.wav").c_str(), nullptr, nullptr));
    EXPECT_EQ(-1, m_sound.playWavFile(m_dir.file("missing.wav").c_str(), nullptr, nullptr));
    EXPECT_EQ(2, m_log.count(LOG_ID_MAIN, DLOG_WARN, "Failed to call wav player start loop"));
    EXPECT_EQ(0, tavplat::sound::liveStreamInformation());

    fault("sound_manager_create_stream_information_internal");
    EXPECT_EQ(-1, m_sound.playWavFile(wavFile(m_dir, 20).c_str(), nullptr, nullptr));
    EXPECT_TRUE(mainLog(DLOG_WARN, "Failed to create stream information of sound manager"));
    EXPECT_TRUE(tavplat::sound::activePlaybacks().empty());
}
