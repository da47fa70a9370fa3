// Remote-control key grabs. The headless canvas has no key router, so the platform refuses
// every grab and release: each refusal must be logged by name, and the next key still tried.
#include "EflTavRcuKeys.h"
#include "UiTestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using tavplat::test::LogCapture;

static std::vector<std::string> refused(const LogCapture& log, const std::string& prefix) {
    std::vector<std::string> keys;
    for (const auto& line : log.lines())
        if (line.buffer == LOG_ID_SYSTEM && line.priority == DLOG_WARN && line.body().rfind(prefix, 0) == 0)
            keys.push_back(line.body().substr(prefix.size()));
    return keys;
}

TEST(RcuKeys, EveryKeyOfEachTableIsGrabbedAndReleasedInOrder) {
    const std::vector<std::string> main(UI::keysTab, UI::keysTab + UI::keysTabSize);
    ASSERT_EQ(119u, main.size());
    EXPECT_EQ("XF86Back", main.front());
    EXPECT_EQ("XF86KeyPelvo", main.back());
    EXPECT_EQ(3, std::count(main.begin(), main.end(), "XF86Home"));
    EXPECT_EQ("XF86Home", main[17]);
    EXPECT_EQ("XF86Home", main[19]);
    // The survey leaves arrows, volume, mute, voice and power to the platform.
    for (const char* free : {"Up", "Down", "Left", "Right", "XF86AudioRaiseVolume", "XF86AudioLowerVolume",
                             "XF86AudioMute", "XF86BTVoice", "XF86PowerOff"})
        EXPECT_EQ(main.end(), std::find(main.begin(), main.end(), free)) << free;
    const std::vector<std::string> volume(UI::keysTabVolume, UI::keysTabVolume + UI::keysTabVolumeSize);
    EXPECT_EQ((std::vector<std::string>{"XF86AudioLowerVolume", "XF86AudioRaiseVolume", "XF86AudioMute", "XF86BTVoice"}),
              volume);

    Evas_Object* window = elm_win_add(nullptr, "keys", ELM_WIN_DIALOG_BASIC);
    LogCapture log;
    UI::initializeRCUKeysHandling(window);
    EXPECT_TRUE(log.has(LOG_ID_MAIN, DLOG_DEBUG, "Handling keys"));
    EXPECT_EQ(main, refused(log, "Grab key error: "));
    log.clear();
    UI::freeRCUKeysHandling(window);
    EXPECT_TRUE(log.has(LOG_ID_MAIN, DLOG_DEBUG, "Release keys handle"));
    EXPECT_EQ(main, refused(log, "Unrab key error: "));
    log.clear();
    UI::addVolumeRCUKeysHandling(window);
    UI::freeVolumeRCUKeysHandling(window);
    UI::addBTVoiceRCUKeysHandling(window);
    UI::freeBTVoiceRCUKeysHandling(window);
    auto grabs = refused(log, "Grab key error: ");
    EXPECT_EQ((std::vector<std::string>{volume[0], volume[1], volume[2], volume[3], "XF86BTVoice"}), grabs);
    EXPECT_EQ(grabs, refused(log, "Unrab key error: "));
    for (const char* line : {"Handling Volume keys", "Release Volume keys handle", "Handling BT_VOICE keys",
                             "Release BT_VOICE keys handle"})
        EXPECT_TRUE(log.has(LOG_ID_MAIN, DLOG_DEBUG, line)) << line;
    evas_object_del(window);
}
