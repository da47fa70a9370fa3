// The shown survey driven by remote-control keys: where the focus goes, what the screen reader
// gets, which UI sound each key plays, and the Power key.
#include "SurveyTestSupport.h"

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
