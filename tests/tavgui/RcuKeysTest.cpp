// Remote-control key grabs. The headless canvas has no key router, so the platform refuses
// every grab and release: each refusal must be logged by name, and the next key still tried.
#include "EflTavRcuKeys.h"
#include "UiTestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <algorithm>

using Keys = std::vector<std::string>;

// The refused keys, each logged under the name of the operation that tried it.
static Keys refused(tavplat::test::LogCapture& log, const std::string& prefix, const std::string& operation) {
    Keys keys;
    for (const auto& line : log.lines())
        if (line.buffer == LOG_ID_SYSTEM && line.priority == DLOG_WARN && line.body().rfind(prefix, 0) == 0) {
            keys.push_back(line.body().substr(prefix.size()));
            EXPECT_NE(std::string::npos, line.text.find(": " + operation + "(")) << line.text;
        }
    log.clear();
    return keys;
}

TEST(RcuKeys, EveryKeyOfEachTableIsGrabbedAndReleasedInOrder) {
    const Keys main(UI::keysTab, UI::keysTab + UI::keysTabSize), volume(UI::keysTabVolume, UI::keysTabVolume + UI::keysTabVolumeSize);
    // Arrows, volume, voice and power stay with the platform.
    for (const char* platformKey : {"Up", "Down", "Left", "Right", "XF86AudioMute", "XF86BTVoice", "XF86PowerOff"})
        EXPECT_EQ(0, std::count(main.begin(), main.end(), platformKey)) << platformKey;

    Evas_Object* window = elm_win_add(nullptr, "keys", ELM_WIN_DIALOG_BASIC);
    tavplat::test::LogCapture log;
    UI::initializeRCUKeysHandling(window);
    EXPECT_EQ(main, refused(log, "Grab key error: ", "initializeRCUKeysHandling"));
    UI::freeRCUKeysHandling(window);
    EXPECT_EQ(main, refused(log, "Unrab key error: ", "freeRCUKeysHandling"));
    UI::addVolumeRCUKeysHandling(window);
    EXPECT_EQ(volume, refused(log, "Grab key error: ", "addVolumeRCUKeysHandling"));
    UI::freeVolumeRCUKeysHandling(window);
    EXPECT_EQ(volume, refused(log, "Unrab key error: ", "freeVolumeRCUKeysHandling"));
    UI::addBTVoiceRCUKeysHandling(window);
    EXPECT_EQ((Keys{"XF86BTVoice"}), refused(log, "Grab key error: ", "addBTVoiceRCUKeysHandling"));
    evas_object_del(window);
}
