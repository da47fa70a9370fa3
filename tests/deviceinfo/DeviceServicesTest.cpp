// The services the survey drives on the television: interface sounds, volume and mute, WAV
// playback, remote-control and mouse input, and launching other applications.
#include "DeviceTestFixture.h"
#include "Input.h"
#include "Sound.h"
#include "Utilities.h"

#include "tavplat/appfw.h"
#include "tavplat/sound_control.h"

#include <TavConstants.h>
#include <app_control.h>
#include <feedback.h>
#include <sound_manager.h>
#include <vconf.h>
#include <wav_player.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <tuple>

using deviceinfo::Input;
using deviceinfo::Sound;
using deviceinfo::SoundAUIType;
using deviceinfo::Utilities;
namespace appfw = tavplat::appfw;
using Extras = std::vector<std::pair<std::string, std::string>>;

namespace {

class SoundTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        Sound::s_soundSystemPreempted = false;
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

    // A failing step is reported; whatever was taken is given back (the refused release aside).
    const std::tuple<const char*, const char*, Lines> failures[] = {
        {"initialize", "initialize", {}},
        {"play", "playback", {"initialize", "deinitialize"}},
        {"deinitialize", "deinitialize", {"initialize", "play 69"}}};
    for (const auto& [step, name, taken] : failures) {
        tavplat::journalClear("feedback");
        fault(std::string("feedback_") + step);
        EXPECT_EQ(FEEDBACK_ERROR_OPERATION_FAILED, m_sound.playAUISound(deviceinfo::AUI_SOUND_CONFIRM));
        EXPECT_TRUE(warned(std::string("Feedback ") + name + " error: -1"));
        EXPECT_EQ(taken, journal("feedback")) << step;
        tavplat::test::clearFaults();
    }
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

TEST_F(DeviceTest, InputSingletonIsBuiltOnceAfterTheStartupPause) {
    Input::DestroyInstance();
    tavplat::journalClear("virtualkey");
    UInput::UinputRC::setStartupPause(std::chrono::milliseconds(80));

    const auto start = std::chrono::steady_clock::now();
    Input* first = Input::GetInstance();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    EXPECT_EQ(first, Input::GetInstance());
    EXPECT_EQ(Lines{"initialize 0"}, journal("virtualkey"));
    Input::DestroyInstance();
    EXPECT_EQ((Lines{"initialize 0", "finalize"}), journal("virtualkey"));
    Input::GetInstance();
    EXPECT_EQ(2, m_log.count(LOG_ID_MAIN, DLOG_WARN, "m_pInstance is Null\n"));
}

TEST_F(DeviceTest, RemoteControlCodesGoThroughTheCodeMap) {
    UInput::UinputRC rc;
    EXPECT_EQ(195, rc.rccode2keyboardcode(0));   // code 0 has a row of its own
    EXPECT_EQ(0, m_log.countBody("cannot find definition of rccode 0"));

    Input* input = Input::GetInstance();
    tavplat::journalClear("virtualkey");
    EXPECT_EQ(0, input->generateRcuInput("15", "pressrelease"));
    EXPECT_EQ(0, input->generateRcuInput("999", "press"));
    EXPECT_TRUE(warned("cannot find definition of rccode 999"));
    EXPECT_EQ(0, input->generateRcuInput("4", "release"));
    EXPECT_EQ(1, input->generateRcuInput("4", "Press"));
    EXPECT_EQ(1, input->generateRcuInput("4", ""));
    EXPECT_EQ(0, input->generateRcuInput("mute", "press"));   // not a number: code 0
    EXPECT_EQ((Lines{"send 74 2", "send 0 1", "send 10 0", "send 195 1"}), journal("virtualkey"));
}

TEST_F(DeviceTest, MouseClickWritesThePosition) {
    Input* input = Input::GetInstance();
    const char* key = "db/menu/support/tavrin/mouse_position";
    auto position = [key] {
        char* v = vconf_get_str(key);
        std::string s = v ? v : "<unset>";
        std::free(v);
        return s;
    };
    EXPECT_EQ(0, input->generateMouseMoveAndClick(10, 20, 2, "press"));
    EXPECT_EQ(0, input->generateMouseMoveAndClick(10, 20, 3, "press"));   // the action is looked at first
    EXPECT_EQ("<unset>", position());
    EXPECT_EQ(1, input->generateMouseMoveAndClick(10, 20, 3, "release"));
    EXPECT_EQ(0, input->generateMouseMoveAndClick(10, 20, 2, "release"));
    EXPECT_EQ("10,20,3", position());
    EXPECT_EQ(0, input->generateMouseMoveAndClick(-5, 640, 1, "release"));
    EXPECT_EQ("-5,640,1", position());
    fault(key);
    EXPECT_EQ(1, input->generateMouseMoveAndClick(1, 2, 1, "release"));
    EXPECT_TRUE(mainLog(DLOG_WARN, "Failed to set vconf value of mouse position"));
}

TEST_F(DeviceTest, ImeTextIsCheckedBeforeAnythingReachesTheShell) {
    Input* input = Input::GetInstance();
    for (const char* ok : {"", "0", "12345678"})
        EXPECT_TRUE(input->checkValidIMEValue(ok)) << ok;
    for (const char* bad : {"123456789", "12a", "-1", " 1", "1\n"})
        EXPECT_FALSE(input->checkValidIMEValue(bad)) << bad;

    // Each value would create the file "M" in the working folder if the shell saw it.
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(m_dir.path().c_str()));
    ASSERT_EQ(0, std::system("echo -ne \"$(:>M)\" > /dev/null"));   // the marker is detectable
    ASSERT_TRUE(tavtest::fileExists(m_dir.file("M")));
    ::unlink(m_dir.file("M").c_str());
    for (std::string hostile : {";:>M;", "$(:>M)", "`:>M`", "\";:>M\"", "1\n:>M", "1'$(:>M)'", "123456789",
                                "12345678;:>M"}) {
        EXPECT_EQ(0, input->generateImeInput(hostile)) << hostile;
        EXPECT_FALSE(tavtest::fileExists(m_dir.file("M"))) << hostile;
    }
    EXPECT_TRUE(chdir(previous) == 0);
    for (const auto& line : m_log.lines())
        EXPECT_EQ(std::string::npos, line.body().find("IME command")) << line.body();

    // A valid value, but no broadcast terminal to take it.
    if (::access(TTY_BROADCAST_PROC.c_str(), F_OK) == 0)
        GTEST_SKIP() << TTY_BROADCAST_PROC << " exists here";
    std::string digits = "4711";
    EXPECT_EQ(1, input->generateImeInput(digits));
    EXPECT_TRUE(mainLog(DLOG_INFO, "IME command: echo -ne \"4711\r\" > /proc/tty/broadcast"));
    EXPECT_TRUE(warned("IME value set error"));
}

namespace {

const char* const kHome = "org.vintre.firstscreen";
const char* const kIconKey = "db/menu/support/tavrin/serviceicon_onoff";

class UtilitiesTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        vconf_set_str("memory/multiscreen/ui_mode", "off");
    }
    static int iconSetting() {
        int v = -1;
        return vconf_get_int(kIconKey, &v) == 0 ? v : -1;
    }
};

} // namespace

TEST_F(UtilitiesTest, LaunchWithAndWithoutExtrasAndMessagesToTheServiceApplication) {
    EXPECT_EQ(0, Utilities::appLaunch(kHome));
    EXPECT_EQ(0, Utilities::appLaunch(APP_ID, {{"a", "1"}, {"b", "2"}, {"a", "3"}}));
    EXPECT_EQ(0, Utilities::appLaunch(kHome, Extras{}));
    Utilities::displayMessage(-3);
    const auto launches = appfw::launches();
    ASSERT_EQ(4u, launches.size());
    EXPECT_EQ(kHome, launches[0].appId);
    EXPECT_EQ(APP_CONTROL_OPERATION_DEFAULT, launches[0].operation);
    EXPECT_TRUE(launches[0].extras.empty());
    EXPECT_EQ((Extras{{"a", "1"}, {"b", "2"}, {"a", "3"}}), launches[1].extras);
    EXPECT_TRUE(launches[2].extras.empty());
    EXPECT_EQ(APP_ID, launches[3].appId);
    EXPECT_EQ((Extras{{"__TAV_ARG_ID__", "-3"}}), launches[3].extras);
    EXPECT_TRUE(Utilities::isAppRunning(kHome));

    EXPECT_EQ(1, Utilities::appLaunch("org.example.absent"));
    EXPECT_TRUE(warned("[WRN] Cannot launch app org.example.absent. return status " +
                       std::to_string(APP_CONTROL_ERROR_APP_NOT_FOUND)));
    EXPECT_EQ(1, Utilities::appLaunch("org.example.absent", Extras{}));
    EXPECT_TRUE(mainLog(DLOG_INFO, "Fail to execute org.example.absent app"));
    fault("app_control_send_launch_request");
    Utilities::displayMessage(7);
    EXPECT_TRUE(warned("Error while executing TAV service icon"));
    EXPECT_EQ(4u, appfw::launches().size());
}

TEST_F(UtilitiesTest, TerminateRunningAndMissingApplications) {
    ASSERT_TRUE(appfw::setRunning(kHome, true));
    EXPECT_EQ(0, Utilities::appTerminate(kHome));
    EXPECT_FALSE(Utilities::isAppRunning(kHome));
    EXPECT_EQ(std::vector<std::string>{kHome}, appfw::terminations());

    EXPECT_EQ(1, Utilities::appTerminate(kHome));
    EXPECT_TRUE(mainLog(DLOG_DEBUG, "Can not get app context"));

    appfw::setRunning(kHome, true);
    fault("app_manager_terminate_app");
    EXPECT_EQ(1, Utilities::appTerminate(kHome));
    EXPECT_TRUE(mainLog(DLOG_WARN, std::string("[WRN] Cannot terminate app ") + kHome));
    fault("app_manager_is_running");
    EXPECT_FALSE(Utilities::isAppRunning(kHome));
    EXPECT_EQ(0, appfw::liveAppContexts()) << "every context is destroyed, the terminate failing or not";
}

TEST_F(UtilitiesTest, ServiceIconFollowsMultiviewAndRunningState) {
    vconf_set_str("memory/multiscreen/ui_mode", "on");
    Utilities::showTavIcon();
    EXPECT_TRUE(mainLog(DLOG_INFO, "Multiview mode is ON. Icon will not be displayed"));
    EXPECT_TRUE(appfw::launches().empty());

    vconf_set_str("memory/multiscreen/ui_mode", "ON");   // only "on" is multiview
    Utilities::showTavIcon();
    ASSERT_EQ(1u, appfw::launches().size());
    EXPECT_EQ(SERVICE_ICON_APP_ID, appfw::launches()[0].appId);
    EXPECT_EQ(-1, iconSetting());

    // Running icon application: the setting shows the icon; an unreadable one counts as hidden.
    Utilities::showTavIcon();
    EXPECT_EQ(1, iconSetting());
    m_log.clear();
    Utilities::showTavIcon();
    EXPECT_EQ(0, m_log.countBody("Showing icon"));
    EXPECT_EQ(1u, appfw::launches().size());

    Utilities::hideTavIcon();
    EXPECT_FALSE(appfw::isRunning(SERVICE_ICON_APP_ID));
    EXPECT_EQ(1, iconSetting());   // hiding does not touch the setting
    Utilities::hideTavIcon();
    EXPECT_EQ(1u, appfw::terminations().size());
    EXPECT_TRUE(mainLog(DLOG_INFO, "Service icon application is not running"));
    EXPECT_EQ(0, appfw::liveAppContexts());

    vconf_unset("memory/multiscreen/ui_mode");
    EXPECT_FALSE(Utilities::IvMultiviewModeON());
    EXPECT_TRUE(warned("Failed getting VCONF_MULTIVIEW"));
}
