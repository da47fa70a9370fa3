#include "DeviceServicesFixture.h"
#include "Input.h"
#include "Sound.h"

#include "TestSupport.h"
#include "tavplat/sound_control.h"

#include <feedback.h>
#include <sound_manager.h>
#include <vconf.h>
#include <wav_player.h>

#include <thread>

using deviceinfo::Sound;
using deviceinfo::SoundAUIType;
using tavplat::FaultMode;
using tavplat::test::setFault;
using Lines = std::vector<std::string>;

namespace {

class SoundTest : public DeviceServicesTest {
protected:
    void SetUp() override {
        DeviceServicesTest::SetUp();
        sound_manager_set_speaker_selection(SOUND_MANAGER_SPEAKER_TV);
        Sound::s_soundSystemPreempted = false;
        tavplat::journalClear("sound_manager");
    }
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

TEST_F(SoundTest, InterfaceSoundsPlayTheirPatternAndReleaseFeedback) {
    const int patterns[] = {66, 67, 68, 69, 71};
    Lines expected;
    for (int type = 0; type < 5; ++type) {
        EXPECT_EQ(0, m_sound.playAUISound(static_cast<SoundAUIType>(type)));
        expected.insert(expected.end(), {"initialize", "play " + std::to_string(patterns[type]), "deinitialize"});
    }
    EXPECT_EQ(expected, journal("feedback"));
    EXPECT_TRUE(m_log.has(LOG_ID_MAIN, DLOG_INFO, "Playing AUI Sound, feedback_pattern_e type: 71"));

    tavplat::journalClear("feedback");
    EXPECT_EQ(1, m_sound.playAUISound(static_cast<SoundAUIType>(5)));
    EXPECT_EQ(1, m_sound.playAUISound(static_cast<SoundAUIType>(-1)));
    EXPECT_TRUE(journal("feedback").empty());
}

TEST_F(SoundTest, FeedbackIsReleasedOnEveryPath) {
    setFault("feedback_initialize", FaultMode::Fail);
    EXPECT_EQ(FEEDBACK_ERROR_OPERATION_FAILED, m_sound.playAUISound(deviceinfo::AUI_SOUND_CONFIRM));
    EXPECT_TRUE(m_log.has(LOG_ID_SYSTEM, DLOG_WARN, "Feedback initialize error: -1"));
    EXPECT_TRUE(journal("feedback").empty());   // nothing taken, nothing released
    tavplat::test::clearFaults();

    setFault("feedback_play", FaultMode::Fail);
    EXPECT_EQ(FEEDBACK_ERROR_OPERATION_FAILED, m_sound.playAUISound(deviceinfo::AUI_SOUND_CONFIRM));
    EXPECT_TRUE(m_log.has(LOG_ID_SYSTEM, DLOG_WARN, "Feedback playback error: -1"));
    EXPECT_EQ((Lines{"initialize", "deinitialize"}), journal("feedback"));
    tavplat::test::clearFaults();

    tavplat::journalClear("feedback");
    setFault("feedback_deinitialize", FaultMode::Fail);
    EXPECT_EQ(FEEDBACK_ERROR_OPERATION_FAILED, m_sound.playAUISound(deviceinfo::AUI_SOUND_CANCEL));
    EXPECT_TRUE(m_log.has(LOG_ID_SYSTEM, DLOG_WARN, "Feedback deinitialize error: -1"));
    EXPECT_EQ((Lines{"initialize", "play 67"}), journal("feedback"));
    tavplat::test::clearFaults();
    feedback_deinitialize();   // give back what the refused release kept
}

TEST_F(SoundTest, VolumeStaysWithinBoundsAndRemembersTheLastRequest) {
    Sound::s_volumeLevel = 42;
    EXPECT_EQ(-1, m_sound.setVolumeLevel(101));
    EXPECT_EQ(-1, m_sound.setVolumeLevel(-1));
    EXPECT_EQ(42, Sound::s_volumeLevel);
    EXPECT_EQ(2, m_log.count(LOG_ID_SYSTEM, DLOG_WARN, "Required volume level is out of range"));
    EXPECT_TRUE(journal("sound_manager").empty());

    EXPECT_EQ(100, m_sound.setVolumeLevel(100));
    EXPECT_EQ(100, m_sound.getVolumeLevel());

    Sound::s_volumeLevel = 98;
    EXPECT_EQ(-1, m_sound.increaseVolumeLevel(5));
    EXPECT_EQ(98, Sound::s_volumeLevel);
    EXPECT_TRUE(m_log.has(LOG_ID_SYSTEM, DLOG_WARN, "Volume 98 increase error: -1"));
    EXPECT_EQ(0, m_sound.decreaseVolumeLevel(8));
    EXPECT_EQ(90, m_sound.getVolumeLevel());
    Sound::s_volumeLevel = 3;
    EXPECT_EQ(-1, m_sound.decreaseVolumeLevel(5));   // refused, not clamped to 0

    // The platform refuses a valid level: the request is remembered all the same.
    setFault("sound_manager_set_tv_master_volume", FaultMode::Fail);
    EXPECT_EQ(SOUND_MANAGER_ERROR_INTERNAL, m_sound.setVolumeLevel(30));
    EXPECT_EQ(30, Sound::s_volumeLevel);
    setFault("sound_manager_get_tv_master_volume", FaultMode::Fail);
    EXPECT_EQ(-1, m_sound.getVolumeLevel());
    tavplat::test::clearFaults();
    EXPECT_EQ(90, m_sound.getVolumeLevel());
}

TEST(SoundFreshProcess, SteppingStartsFromFifty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");   // a new process, with the initial level
    EXPECT_EXIT(
        {
            Sound sound;
            const bool ok = sound.decreaseVolumeLevel(10) == 0 && sound.getVolumeLevel() == 40;
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(SoundTest, MuteOfTheTelevisionSpeakers) {
    EXPECT_EQ(0, m_sound.muteSound(true));
    EXPECT_EQ(1, m_sound.getMuteLevel());
    EXPECT_EQ(0, m_sound.muteSound(false));
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_EQ((Lines{"mute 1", "mute 0"}), journal("sound_manager"));

    setFault("sound_manager_set_tv_master_mute", FaultMode::Fail);
    setFault("sound_manager_get_tv_master_mute", FaultMode::Fail);
    EXPECT_EQ(-1, m_sound.muteSound(true));
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_TRUE(m_log.has(LOG_ID_SYSTEM, DLOG_WARN, "Error while getting mute state, result: " +
                                                        std::to_string(SOUND_MANAGER_ERROR_INTERNAL) + ", returning false"));
    setFault("sound_manager_get_speaker_selection", FaultMode::Fail);
    EXPECT_EQ(-1, m_sound.muteSound(false));
    EXPECT_EQ(0, m_sound.getMuteLevel());
    EXPECT_EQ(2, m_log.count(LOG_ID_SYSTEM, DLOG_WARN, "Operation failed."));
    EXPECT_TRUE(journal("virtualkey").empty());
}

TEST_F(SoundTest, MuteOfAnExternalSpeakerTogglesWithTheMuteKey) {
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
    EXPECT_EQ(2, m_log.count(LOG_ID_SYSTEM, DLOG_WARN, "Error while getting mute state"));
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
    tavtest::TempDir dir;
    tavplat::journalClear("wav_player");
    const int id = m_sound.playWavFile(wavFile(dir, 20).c_str(), nullptr, nullptr);
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

    tavtest::writeFile(dir.file("notes.wav"), "just some text, no RIFF header at all");
    EXPECT_EQ(-1, m_sound.playWavFile(dir.file("notes.wav").c_str(), nullptr, nullptr));
    EXPECT_EQ(-1, m_sound.playWavFile(dir.file("missing.wav").c_str(), nullptr, nullptr));
    EXPECT_EQ(2, m_log.count(LOG_ID_MAIN, DLOG_WARN, "Failed to call wav player start loop"));
    EXPECT_EQ(0, tavplat::sound::liveStreamInformation());

    setFault("sound_manager_create_stream_information_internal", FaultMode::Fail);
    EXPECT_EQ(-1, m_sound.playWavFile(wavFile(dir, 20).c_str(), nullptr, nullptr));
    EXPECT_TRUE(m_log.has(LOG_ID_MAIN, DLOG_WARN, "Failed to create stream information of sound manager"));
    EXPECT_TRUE(tavplat::sound::activePlaybacks().empty());
}
