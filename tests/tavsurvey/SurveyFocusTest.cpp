// The shown survey: its styles and sizes, and remote-control keys: where the focus goes, what the
// screen reader gets, which UI sound each key plays, the Power key and the idle time-out warning.
#include "SurveyTestSupport.h"

#include <algorithm>
#include <cstring>
#include <random>

static std::string accessName(Evas_Object* obj) {
    char* text = elm_access_info_get(obj, survey::ACCESS_NAME);
    std::string out = text ? text : "";
    free(text);
    return out;
}

TEST_F(SurveyTest, EveryStyleComesFromTheThemesAndTheLayoutFitsTheScreen) {
    // Unreadable accessibility settings count as off; their warning is the prefix alone, naming
    // the setting (high contrast and enlarge themselves: SurveyLanguageTest).
    vconf_unset(ENLARGE);
    vconf_unset(HIGH_CONTRAST);
    auto& s = show();
    EXPECT_DOUBLE_EQ(1.0, elm_object_scale_get(s.window()));
    for (const char* getter : {"getEnlargeMode(", "getHighContrast("}) {
        const auto lines = m_log->lines();
        EXPECT_GE(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
            return line.buffer == LOG_ID_SYSTEM && line.priority == DLOG_WARN && line.body().empty() &&
                   line.text.find(getter) != std::string::npos;
        }), 2) << getter;   // window and popup each read it
    }
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore) << "the toolkit logged errors (missing theme groups?)";
    for (const char* group : {"elm/popup/base/C_PopupBasic_WhiteRightLarge", "elm/icon/r_close_cancel/default",
                              "elm/radio/base/C_RadioButton_WhiteText", "elm/label/base/popup/TavSurveyPopupMedium_Contrast"})
        EXPECT_EQ(0u, std::string(elm_theme_group_path_find(nullptr, group) ?: "").find(uitest::themeDir())) << group;
    // The widgets are styled as they are made, before the popup takes them in: a container that
    // restyles what it is given would win over that.
    EXPECT_STREQ("C_PopupBasic_WhiteRightLarge", elm_object_style_get(popup()));
    EXPECT_STREQ("C_Scrollbar_White", elm_object_style_get(elm_object_parent_widget_get(s.m_box)));
    for (Evas_Object* button : {survey::m_Button[0], survey::m_Button[1]})
        EXPECT_STREQ("C_ButtonBasic_WhiteText", elm_object_style_get(button));
    const auto answers = boxItems("Elm_Radio"), texts = boxItems("Elm_Label");
    for (Evas_Object* answer : answers)
        EXPECT_STREQ("C_RadioButton_WhiteText", elm_object_style_get(answer));
    for (Evas_Object* text : texts)
        EXPECT_STREQ("popup/TavSurveyPopupMedium", elm_object_style_get(text));

    // 1920x1080 at toolkit scale 1.0, for a layout made for scale 2.0.
    Evas_Coord minW, minH, width, padding;
    evas_object_size_hint_min_get(answers.at(7), &minW, &minH);
    evas_object_geometry_get(texts.at(2), nullptr, nullptr, &width, nullptr);
    elm_box_padding_get(s.m_box, nullptr, &padding);
    EXPECT_EQ((std::vector<int>{374, 27, 384, 19}), (std::vector<int>{minW, minH, width, padding}));
}

TEST_F(SurveyTest, KeysMoveTheFocusReadQuestionsOncePerVisitAndPlayTheirSounds) {
    for (const char* value : {"0", "-3", "soon"}) {   // no time-out: the shipped one stays
        setenv("TAVSURVEY_POPUP_TIMEOUT", value, 1);
        survey::seams::applyEnvironment();
    }
    unsetenv("TAVSURVEY_POPUP_TIMEOUT");
    auto& s = show();
    Evas_Object *const submit = survey::m_Button[0], *const cancel = survey::m_Button[1];
    const auto answers = boxItems("Elm_Radio");
    ASSERT_EQ(33u, answers.size());
    const std::string second = "2. Overall, how satisfied are you with the remote support service?, ";
    // Shown: the first answer focused, read with its question; the buttons' prefix read once.
    EXPECT_EQ(answers[0], focused());
    EXPECT_EQ("1. Was your problem solved by the remote support service?, ", accessName(answers[0]));
    EXPECT_EQ((std::vector<std::string>{", Submit", "Submit", "Cancel"}),
              (std::vector<std::string>{accessName(submit), accessName(submit), accessName(cancel)}));
    EXPECT_EQ(answers[1], focusAfter({"Down"}));   // within the question: the answer alone
    EXPECT_EQ("", accessName(answers[1]));
    EXPECT_EQ(answers[2], focusAfter({"Down"}));   // into question 2: its question first
    EXPECT_EQ(second, accessName(answers[2]));
    focusAfter({"Down", "Return"});
    EXPECT_EQ((std::vector<int>{1, 2}), (std::vector<int>{*s.m_selections[0], *s.m_selections[1]}));
    EXPECT_EQ(submit, focusAfter({"Right"}));   // from any answer
    EXPECT_EQ(answers[3], focusAfter({"Left"}));   // back into the question: read again
    EXPECT_EQ(second, accessName(answers[3]));
    for (int i = 0; i < 40 && focused() != answers[0]; ++i)
        press("Up");   // one answer per key, scrolling along
    ASSERT_EQ(answers[0], focused());
    EXPECT_EQ(answers[0], focusAfter({"Up"}));   // nowhere to go
    auto sounds = soundsPlayed();
    EXPECT_EQ((std::vector<int>{POPUP, MOVED, MOVED, MOVED, CONFIRM, MOVED}), std::vector<int>(sounds.begin(), sounds.begin() + 6));
    EXPECT_EQ(BLOCKED, sounds.back());

    // Scrolled down and over to the buttons: Up from either and Left from Submit lead to the
    // answer left, in view; Down from the last answer leads to Submit, never Cancel.
    EXPECT_EQ(answers[8], focusAfter({"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down"}));
    EXPECT_EQ(submit, focusAfter({"Right"}));
    EXPECT_EQ(answers[8], focusAfter({"Up"}));
    EXPECT_TRUE(focusVisible(focused()));
    EXPECT_EQ(answers[9], focusAfter({"Down"}));   // the next Down moves at once
    EXPECT_EQ(answers[9], focusAfter({"Right", "Left"}));
    EXPECT_EQ(cancel, focusAfter({"Right", "Right"}));
    EXPECT_EQ(answers[9], focusAfter({"Up"}));
    for (int i = 0; i < 40 && focused() != answers.back(); ++i)
        press("Down");
    ASSERT_EQ(answers.back(), focused());
    EXPECT_EQ(submit, focusAfter({"Down"}));
    EXPECT_DOUBLE_EQ(60.0, elm_popup_timeout_get(popup()));   // restarted by every key

    // Every answer's information read-out is the text shown on it, translated.
    for (Evas_Object* answer : answers) {
        char* info = elm_access_info_get(answer, survey::ACCESS_INFO);
        EXPECT_STREQ(elm_object_text_get(answer), info);
        EXPECT_EQ(nullptr, info ? strstr(info, "SID_") : "none");
        free(info);
    }

    // Power: the survey and its window stay, hidden and silent; the home screen has the screen.
    sounds = soundsPlayed();
    press("XF86PowerOff");
    ASSERT_NE(nullptr, s.window());
    EXPECT_FALSE(evas_object_visible_get(s.window()));
    EXPECT_EQ((std::vector<std::string>{survey::HOME_SCREEN_APP_ID}), appsLaunched());
    EXPECT_EQ(0, m_log->countBody("Destroy survey window"));
    EXPECT_EQ(sounds, soundsPlayed());
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore);
}

TEST_F(SurveyTest, RandomWalkNeverLosesOrHidesTheFocus) {
    auto& s = show();
    const auto answers = boxItems("Elm_Radio");
    std::mt19937 random(14);
    const char* keys[] = {"Up", "Down", "Left", "Right", "Return"};
    for (int i = 0; i < 500; ++i) {
        const char* key = keys[std::uniform_int_distribution<int>(0, 4)(random)];
        if (!strcmp(key, "Return") && std::find(answers.begin(), answers.end(), focused()) == answers.end())
            key = "Up";   // Return on a button would end the survey
        uitest::press(s.window(), key, 0.01);
        ASSERT_TRUE(focusVisible(focused())) << "after key " << i << ", " << key;
    }
}

TEST_F(SurveyTest, IdleTimeOutIsAnnouncedOnScreenAndByVoiceUnlessTurnedOff) {
    survey::seams::popupTimeout = 5.0;
    survey::seams::warningLead = 4.0;   // the warning comes 1 s after the last key
    const std::string english = "The survey will close in 15 seconds. Press any key to continue.";
    vconf_set_int(survey::SCREEN_READER_KEY, 1);   // the screen reader turns it on by default
    auto& s = show();
    const auto warned = [&s] { return s.timeoutWarning() && evas_object_visible_get(s.timeoutWarning()); };
    ASSERT_TRUE(uitest::pumpUntil(warned));
    Evas_Object* line = s.timeoutWarning();
    EXPECT_EQ(english, elm_object_text_get(line));
    EXPECT_EQ(std::vector<std::string>{english}, s_spoken);
    EXPECT_TRUE(inside(line, elm_object_parent_widget_get(s.m_box)));   // whole, on the body, above the buttons
    EXPECT_TRUE(uitest::snap(s.window(), "survey_timeout_warning.png"));
    press("Down");   // any key takes it away and starts the count-down again
    EXPECT_FALSE(evas_object_visible_get(line));
    EXPECT_TRUE(uitest::pumpUntil(warned));
    EXPECT_EQ(2u, s_spoken.size());

    vconf_set_int(survey::TIMEOUT_WARNING_KEY, 0);   // turned off, screen reader or not
    show();
    uitest::pump(0.2);
    EXPECT_EQ(nullptr, m_survey->timeoutWarning());
    vconf_set_int(survey::SCREEN_READER_KEY, 0);   // neither on
    vconf_unset(survey::TIMEOUT_WARNING_KEY);
    show();
    uitest::pump(0.2);
    EXPECT_EQ(nullptr, m_survey->timeoutWarning());
    EXPECT_EQ(2u, s_spoken.size());
}
