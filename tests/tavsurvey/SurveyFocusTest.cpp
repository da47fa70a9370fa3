// The shown survey driven by remote-control keys: where the focus goes, what the screen reader
// gets, which UI sound plays for each key, and the Power key.
#include "SurveyTestSupport.h"

using survey::ACCESS_NAME;

namespace {
// Feedback patterns of the UI sounds.
constexpr int MOVED = 66, CANCEL = 67, BLOCKED = 68, CONFIRM = 69, POPUP = 71;

std::string accessName(Evas_Object* obj) {
    char* text = elm_access_info_get(obj, ACCESS_NAME);
    std::string out = text ? text : "";
    free(text);
    return out;
}
} // namespace

TEST_F(SurveyTest, KeysMoveTheFocusReadQuestionsOncePerVisitAndPlayTheirSounds) {
    auto& s = show();
    const auto answers = boxItems("Elm_Radio");
    ASSERT_EQ(33u, answers.size());
    const std::string q1 = "1. Was your problem solved by the remote support service?, ";
    const std::string q2 = "2. Overall, how satisfied are you with the remote support service?, ";

    // Shown: the first answer has the focus and the question is read with it.
    EXPECT_EQ(answers[0], focused());
    EXPECT_EQ(q1, accessName(answers[0]));
    EXPECT_FALSE(s.m_itemFocused);
    EXPECT_EQ((std::vector<int>{POPUP}), soundsPlayed());

    press("Down");   // within question 1: the answer alone
    EXPECT_EQ(answers[1], focused());
    EXPECT_EQ("", accessName(answers[1]));
    press("Down");   // into question 2: its question first
    EXPECT_EQ(answers[2], focused());
    EXPECT_EQ(1, s.m_currentQuestion);
    EXPECT_EQ(q2, accessName(answers[2]));
    press("Return");
    press("Down");
    press("Return");
    EXPECT_EQ(2, *s.m_selections[1]);
    EXPECT_EQ(1, *s.m_selections[0]);

    press("Right");   // any answer: Right goes to Submit, which resets the read-out
    EXPECT_EQ(survey::m_Button[0], focused());
    EXPECT_EQ(5, s.m_currentQuestion);
    EXPECT_EQ(5, s.m_lastReadQuestion);
    press("Left");    // back into a question: read again
    const int back = s.m_currentQuestion;
    ASSERT_LT(back, 5);
    EXPECT_EQ(s.m_questionGroups[back].second, accessName(focused()));

    for (int i = 0; i < 40 && focused() != answers[0]; ++i)
        press("Up");
    ASSERT_EQ(answers[0], focused());
    press("Up");      // nowhere to go from the first answer
    EXPECT_EQ(answers[0], focused());
    const auto sounds = soundsPlayed();
    ASSERT_GE(sounds.size(), 8u);
    EXPECT_EQ((std::vector<int>{POPUP, MOVED, MOVED, CONFIRM, MOVED, CONFIRM, MOVED, MOVED}),
              std::vector<int>(sounds.begin(), sounds.begin() + 8));
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
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "No input data"));
}

TEST_F(SurveyTest, PowerKeyHidesTheSurveyAndHandsOverToTheHomeScreen) {
    auto& s = show();
    press("XF86PowerOff");
    EXPECT_TRUE(m_log->has(LOG_ID_MAIN, DLOG_INFO, "Power key pressed"));
    ASSERT_NE(nullptr, s.window());
    EXPECT_FALSE(evas_object_visible_get(s.window()));
    EXPECT_EQ((std::vector<std::string>{survey::HOME_SCREEN_APP_ID}), appsLaunched());
    EXPECT_EQ(0, m_log->countBody("Destroy survey window"));
    EXPECT_EQ((std::vector<int>{POPUP}), soundsPlayed());
}
