// The shown survey driven by remote-control keys: where the focus goes, what the screen reader
// gets, which UI sound each key plays, and the Power key.
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

TEST_F(SurveyTest, KeysMoveTheFocusReadQuestionsOncePerVisitAndPlayTheirSounds) {
    auto& s = show();
    const auto answers = boxItems("Elm_Radio");
    ASSERT_EQ(33u, answers.size());
    // Shown: the first answer has the focus and its question is read with it.
    EXPECT_EQ(answers[0], focused());
    EXPECT_EQ("1. Was your problem solved by the remote support service?, ", accessName(answers[0]));
    EXPECT_FALSE(s.m_itemFocused);
    press("Down");   // within the question: the answer alone
    EXPECT_EQ(answers[1], focused());
    EXPECT_EQ("", accessName(answers[1]));
    press("Down");   // into question 2: its question first
    EXPECT_EQ(answers[2], focused());
    EXPECT_EQ("2. Overall, how satisfied are you with the remote support service?, ", accessName(answers[2]));
    press("Down");
    press("Return");
    EXPECT_EQ(2, *s.m_selections[1]);
    EXPECT_EQ(1, *s.m_selections[0]);
    press("Right");   // Right from any answer goes to Submit, which resets the read-out
    EXPECT_EQ(survey::m_Button[0], focused());
    EXPECT_EQ(5, s.m_lastReadQuestion);
    press("Left");    // back into a question: read again
    ASSERT_LT(s.m_currentQuestion, 5);
    EXPECT_EQ(s.m_questionGroups[s.m_currentQuestion].second, accessName(focused()));
    for (int i = 0; i < 40 && focused() != answers[0]; ++i)
        press("Up");  // one answer per key, scrolling along
    ASSERT_EQ(answers[0], focused());
    press("Up");      // nowhere to go
    EXPECT_EQ(answers[0], focused());
    const auto sounds = soundsPlayed();
    EXPECT_EQ((std::vector<int>{POPUP, MOVED, MOVED, MOVED, CONFIRM, MOVED}), std::vector<int>(sounds.begin(), sounds.begin() + 6));
    EXPECT_EQ(BLOCKED, sounds.back());
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore);
}

TEST_F(SurveyTest, ButtonsAreReadWithThePrefixOnlyTheFirstTime) {
    show();
    EXPECT_EQ(", Submit", accessName(survey::m_Button[0]));
    char* again = TestSurvey::accessCallback(m_survey.get(), survey::m_Button[0]);
    EXPECT_STREQ("Submit", again);
    free(again);
    EXPECT_EQ("Cancel", accessName(survey::m_Button[1]));
    EXPECT_EQ(nullptr, TestSurvey::accessCallback(nullptr, survey::m_Button[0]));
}

TEST_F(SurveyTest, PowerKeyHidesTheSurveyAndHandsOverToTheHomeScreen) {
    auto& s = show();
    press("XF86PowerOff");
    ASSERT_NE(nullptr, s.window());   // the survey and its window stay
    EXPECT_FALSE(evas_object_visible_get(s.window()));
    EXPECT_EQ((std::vector<std::string>{survey::HOME_SCREEN_APP_ID}), appsLaunched());
    EXPECT_EQ(0, m_log->countBody("Destroy survey window"));
    EXPECT_EQ((std::vector<int>{POPUP}), soundsPlayed());
}

TEST_F(SurveyTest, IdleTimeOutIsAnnouncedOnScreenAndByVoiceUnlessTurnedOff) {
    survey::seams::popupTimeout = 5.0;
    survey::seams::warningLead = 4.8;   // the warning comes 0.2 s after the last key
    const std::string english = "The survey will close in 15 seconds. Press any key to continue.";
    vconf_set_int(survey::SCREEN_READER_KEY, 1);   // the screen reader turns it on by default
    auto& s = show();
    Evas_Object* line = s.timeoutWarning();
    ASSERT_NE(nullptr, line);
    EXPECT_TRUE(evas_object_visible_get(line));
    EXPECT_EQ(english, elm_object_text_get(line));
    EXPECT_EQ(std::vector<std::string>{english}, s_spoken);
    // Whole, on the popup's body, above the buttons.
    Evas_Coord x, y, w, h, bx, by, bw, bh;
    evas_object_geometry_get(line, &x, &y, &w, &h);
    evas_object_geometry_get(elm_object_parent_widget_get(s.m_box), &bx, &by, &bw, &bh);
    EXPECT_GT(h, 0);
    EXPECT_TRUE(x >= bx && y >= by && x + w <= bx + bw && y + h <= by + bh) << x << "," << y << " " << w << "x" << h;
    EXPECT_TRUE(uitest::snap(s.window(), "survey_timeout_warning.png"));
    press("Down");   // any key takes it away and starts the count-down again
    EXPECT_FALSE(evas_object_visible_get(line));
    uitest::pump(0.25);
    EXPECT_TRUE(evas_object_visible_get(line));
    EXPECT_EQ(2u, s_spoken.size());

    vconf_set_int(survey::TIMEOUT_WARNING_KEY, 0);   // turned off, screen reader or not
    show();
    uitest::pump(0.2);
    EXPECT_EQ(nullptr, m_survey->timeoutWarning());
    vconf_set_int(survey::SCREEN_READER_KEY, 0);
    vconf_unset(survey::TIMEOUT_WARNING_KEY);
    show();
    uitest::pump(0.2);
    EXPECT_EQ(nullptr, m_survey->timeoutWarning());
    EXPECT_EQ(2u, s_spoken.size());

    vconf_set_int(survey::TIMEOUT_WARNING_KEY, 1);   // turned on without the screen reader, in German
    vconf_set_str(LANGUAGE, "de_DE.utf8");
    ASSERT_TRUE(setLanguage());
    show();
    ASSERT_NE(nullptr, m_survey->timeoutWarning());
    EXPECT_EQ("Die Umfrage wird in 15 Sekunden geschlossen. Drücken Sie eine beliebige Taste, um fortzufahren.", s_spoken.back());
    EXPECT_EQ(s_spoken.back(), elm_object_text_get(m_survey->timeoutWarning()));
}

// The focused object is an answer or a button, and lies whole inside the visible part of its
// container (the scroller's viewport for answers).
static ::testing::AssertionResult focusVisible(TestSurvey& s, Evas_Object* focus, const std::vector<Evas_Object*>& answers) {
    if (!focus)
        return ::testing::AssertionFailure() << "no focus";
    Evas_Object* view = s.window();
    if (std::find(answers.begin(), answers.end(), focus) != answers.end())
        view = elm_object_parent_widget_get(s.m_box);
    else if (focus != survey::m_Button[0] && focus != survey::m_Button[1])
        return ::testing::AssertionFailure() << "focus on a " << elm_object_widget_type_get(focus);
    Evas_Coord x, y, w, h, vx, vy, vw, vh;
    evas_object_geometry_get(focus, &x, &y, &w, &h);
    evas_object_geometry_get(view, &vx, &vy, &vw, &vh);
    if (y < vy || y + h > vy + vh || x < vx || x + w > vx + vw || !evas_object_visible_get(focus))
        return ::testing::AssertionFailure() << "focus at y " << y << "-" << y + h << " outside " << vy << "-" << vy + vh;
    return ::testing::AssertionSuccess();
}

TEST_F(SurveyTest, FocusStaysVisibleAndReturnsFromTheButtonsToTheAnswerLeft) {
    auto& s = show();
    const auto answers = boxItems("Elm_Radio");
    // Scrolled down, over to Submit and back up: the answer left, in view.
    for (int i = 0; i < 8; ++i)
        press("Down");
    Evas_Object* left = focused();
    ASSERT_EQ(answers[8], left);
    press("Right");
    ASSERT_EQ(survey::m_Button[0], focused());
    press("Up");
    EXPECT_EQ(left, focused());
    EXPECT_TRUE(focusVisible(s, focused(), answers));
    press("Down");   // the next Down moves at once
    EXPECT_EQ(answers[9], focused());
    // Left from Submit, Up from Cancel: the answer left.
    press("Right");
    press("Left");
    EXPECT_EQ(answers[9], focused());
    press("Right");
    press("Right");
    ASSERT_EQ(survey::m_Button[1], focused());
    press("Up");
    EXPECT_EQ(answers[9], focused());
    // Down from the last answer: Submit, never Cancel.
    for (int i = 0; i < 40 && focused() != answers.back(); ++i)
        press("Down");
    ASSERT_EQ(answers.back(), focused());
    press("Down");
    EXPECT_EQ(survey::m_Button[0], focused());
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore);
}

TEST_F(SurveyTest, RandomWalkNeverLosesOrHidesTheFocus) {
    auto& s = show();
    const auto answers = boxItems("Elm_Radio");
    std::mt19937 random(14);
    const char* keys[] = {"Up", "Down", "Left", "Right", "Return"};
    std::string walk;
    for (int i = 0; i < 500; ++i) {
        const char* key = keys[std::uniform_int_distribution<int>(0, 4)(random)];
        const bool onAnswer = std::find(answers.begin(), answers.end(), focused()) != answers.end();
        if (!strcmp(key, "Return") && !onAnswer)
            key = "Up";   // Return on a button would end the survey
        walk += std::string(" ") + key;
        uitest::press(s.window(), key, 0.01);
        ASSERT_TRUE(focusVisible(s, focused(), answers)) << "after" << walk;
    }
}

TEST_F(SurveyTest, ShippedTimeOutIsOneMinuteAndAnswersAreReadWithTheirOwnTexts) {
    // The shipped time-out reaches the popup; only a positive number in the environment changes it.
    for (const char* value : {"0", "-3", "soon"}) {
        setenv("TAVSURVEY_POPUP_TIMEOUT", value, 1);
        survey::seams::applyEnvironment();
    }
    unsetenv("TAVSURVEY_POPUP_TIMEOUT");
    auto& s = show();
    Evas_Object* popup = s.m_box;
    while (popup && strcmp(elm_object_widget_type_get(popup), "Elm_Popup"))
        popup = elm_object_parent_widget_get(popup);
    ASSERT_NE(nullptr, popup);
    EXPECT_DOUBLE_EQ(60.0, elm_popup_timeout_get(popup));
    press("Down");
    EXPECT_DOUBLE_EQ(60.0, elm_popup_timeout_get(popup));

    // Every answer's information read-out is the text shown on it, translated.
    const auto answers = boxItems("Elm_Radio");
    ASSERT_EQ(33u, answers.size());
    for (std::size_t i = 0; i < answers.size(); ++i) {
        char* info = elm_access_info_get(answers[i], survey::ACCESS_INFO);
        ASSERT_NE(nullptr, info) << i;
        EXPECT_STREQ(elm_object_text_get(answers[i]), info) << i;
        EXPECT_EQ(nullptr, strstr(info, "SID_")) << i;
        free(info);
    }
    char* no = elm_access_info_get(answers[1], survey::ACCESS_INFO);
    EXPECT_STREQ("No", no);
    free(no);
}
