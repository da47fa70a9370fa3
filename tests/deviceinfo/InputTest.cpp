#include "DeviceTestFixture.h"
#include "Input.h"

#include <TavConstants.h>
#include <vconf.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>

using deviceinfo::Input;

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
