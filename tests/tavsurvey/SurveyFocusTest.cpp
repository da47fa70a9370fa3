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
