// The dialog as people see it: every style comes from the service's themes, the layout has the
// sizes of the television's screen, accessibility settings and the menu language change the
// look, and screenshots are saved for people to look at.
#include "SurveyTestSupport.h"

#include <cstring>

TEST_F(SurveyTest, EveryStyleComesFromTheThemesAndTheLayoutFitsTheScreen) {
    auto& s = show();
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore) << "the toolkit logged errors (missing theme groups?)";
    const std::string focus = uitest::themeDir() + "/TavFocus.edj", radio = uitest::themeDir() + "/TavRadioButton.edj";
    const std::pair<const char*, std::string> groups[] = {
        {"elm/popup/base/C_PopupBasic_WhiteRightLarge", focus},
        {"elm/popup/content/popup/C_PopupBasic_WhiteRightLarge", focus},
        {"elm/popup/buttons2/popup/C_PopupBasic_WhiteRightLarge", focus},
        {"elm/notify/right/popup/C_PopupBasic_WhiteRightLarge", focus},
        {"elm/notify/left/popup/C_PopupBasic_WhiteRightLarge", focus},   // mirrored
        {"elm/notify/block_events/popup/C_PopupBasic_WhiteRightLarge", focus},
        {"elm/scroller/base/C_Scrollbar_White", focus},
        {"elm/button/base/C_ButtonBasic_WhiteText", focus},
        {"elm/icon/r_ok_done_allow/default", focus},
        {"elm/icon/r_close_cancel/default", focus},
        {"elm/radio/base/C_RadioButton_WhiteText", radio},
        {"elm/label/base/popup/TavSurveyPopupMedium", radio},
        {"elm/label/base/popup/TavSurveyPopupMedium_Contrast", radio}};
    for (const auto& [group, file] : groups) {
        const char* found = elm_theme_group_path_find(nullptr, group);
        EXPECT_EQ(file, found ? found : "(none)") << group;
    }

    // 1920x1080 at toolkit scale 1.0 for a layout made for scale 2.0.
    const auto answers = boxItems("Elm_Radio");
    const auto texts = boxItems("Elm_Label");
    ASSERT_EQ(33u, answers.size());
    ASSERT_EQ(6u, texts.size());
    EXPECT_EQ(5u, s.m_selections.size());
    Evas_Coord w, h, pad;
    evas_object_size_hint_min_get(answers[7], &w, &h);
    EXPECT_EQ(374, w);
    EXPECT_EQ(27, h);
    evas_object_size_hint_max_get(answers[7], &w, &h);
    EXPECT_EQ(375, w);
    EXPECT_EQ(28, h);
    evas_object_size_hint_max_get(texts[2], &w, &h);
    EXPECT_EQ(384, w);
    EXPECT_EQ(27, h);
    evas_object_geometry_get(texts[2], nullptr, nullptr, &w, nullptr);
    EXPECT_EQ(384, w);
    elm_box_padding_get(s.m_box, nullptr, &pad);
    EXPECT_EQ(19, pad);
    EXPECT_EQ(std::string("TV_SID_TAV_TAVRIN_STISFATCTION_SURVEY"), s.m_contentList[0].second);
}

TEST_F(SurveyTest, HighContrastAndEnlargeChangeTheLook) {
    vconf_set_int(HIGH_CONTRAST, 1);
    vconf_set_int(ENLARGE, 2);   // enlarged text, but only 1 enlarges the window
    elm_config_scale_set(2.0);
    auto& s = show();
    for (Evas_Object* text : boxItems("Elm_Label"))
        EXPECT_STREQ("popup/TavSurveyPopupMedium_Contrast", elm_object_style_get(text));
    EXPECT_DOUBLE_EQ(1.0, elm_object_scale_get(s.window()));
    auto calls = journal("efl_assist");
    EXPECT_EQ((std::vector<std::string>{"ea_config_text_scale_set 1"}), calls);
    EXPECT_TRUE(uitest::snap(s.window(), "survey_high_contrast.png"));

    m_survey.reset();
    tavplat::journalClear("efl_assist");
    vconf_set_int(HIGH_CONTRAST, 0);
    vconf_set_int(ENLARGE, 1);
    auto& t = show();
    for (Evas_Object* text : boxItems("Elm_Label"))
        EXPECT_STREQ("popup/TavSurveyPopupMedium", elm_object_style_get(text));
    EXPECT_DOUBLE_EQ(1.2, elm_object_scale_get(t.window()));
    calls = journal("efl_assist");
    EXPECT_EQ((std::vector<std::string>{"ea_config_text_scale_set 1", "ea_apply_color_pick elm_popup"}), calls);
    vconf_set_int(ENLARGE, 0);
    m_survey.reset();
    elm_config_scale_set(2.0);
    auto& u = show();
    uitest::press(u.window(), "Down");
    uitest::press(u.window(), "Down");
    EXPECT_TRUE(uitest::snap(u.window(), "survey_normal.png"));
    uitest::press(u.window(), "Right");
    EXPECT_TRUE(uitest::snap(u.window(), "survey_submit_focused.png"));
}

TEST_F(SurveyTest, TextsFollowTheMenuLanguage) {
    vconf_set_str(LANGUAGE, "de_DE.utf8");
    ASSERT_TRUE(setLanguage());
    elm_config_scale_set(2.0);
    auto& s = show();
    Evas_Object* popup = elm_object_parent_widget_get(survey::m_Button[0]);
    while (popup && strcmp(elm_object_widget_type_get(popup), "Elm_Popup"))
        popup = elm_object_parent_widget_get(popup);
    EXPECT_STREQ("Umfrage zum Remote-Support", elm_object_part_text_get(popup, "title,text"));
    EXPECT_STREQ("Absenden", elm_object_text_get(survey::m_Button[0]));
    EXPECT_STREQ("Nein", elm_object_text_get(boxItems("Elm_Radio")[1]));
    EXPECT_EQ("3. Wie wahrscheinlich ist es, dass Sie uns weiterempfehlen?<br>(0 = sehr unwahrscheinlich, 9 = sehr "
              "wahrscheinlich)",
              s.m_contentList[13].second);
    EXPECT_TRUE(uitest::snap(s.window(), "survey_german.png"));

    m_survey.reset();
    vconf_set_str(LANGUAGE, "ko_KR.utf8");
    ASSERT_TRUE(setLanguage());
    show();
    EXPECT_STREQ("제출", elm_object_text_get(survey::m_Button[0]));
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_korean.png"));
    vconf_unset(LANGUAGE);
    EXPECT_FALSE(setLanguage());
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "Cannot set multilanguage mode"));
}
