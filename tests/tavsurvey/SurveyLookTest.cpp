// The dialog as people see it: every style comes from the service's themes, the layout has the
// sizes of the television's screen, accessibility settings change it (languages:
// SurveyLanguageTest), and screenshots are saved into <build>/screenshots for people to look at.
#include "SurveyTestSupport.h"

#include <cstring>

TEST_F(SurveyTest, EveryStyleComesFromTheThemesAndTheLayoutFitsTheScreen) {
    auto& s = show();
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore) << "the toolkit logged errors (missing theme groups?)";
    const std::string popup = "/popup/C_PopupBasic_WhiteRightLarge";
    for (const std::string& group : {std::string("elm/popup/base/C_PopupBasic_WhiteRightLarge"), "elm/popup/content" + popup,
                                     "elm/popup/buttons2" + popup, "elm/notify/right" + popup, "elm/notify/left" + popup,
                                     "elm/notify/block_events" + popup, std::string("elm/scroller/base/C_Scrollbar_White"),
                                     std::string("elm/button/base/C_ButtonBasic_WhiteText"),
                                     std::string("elm/icon/r_ok_done_allow/default"), std::string("elm/icon/r_close_cancel/default")})
        EXPECT_STREQ((uitest::themeDir() + "/TavFocus.edj").c_str(), elm_theme_group_path_find(nullptr, group.c_str())) << group;
    for (const char* group : {"elm/radio/base/C_RadioButton_WhiteText", "elm/label/base/popup/TavSurveyPopupMedium",
                              "elm/label/base/popup/TavSurveyPopupMedium_Contrast"})
        EXPECT_STREQ((uitest::themeDir() + "/TavRadioButton.edj").c_str(), elm_theme_group_path_find(nullptr, group)) << group;
    // The widgets are styled as they are made, before the popup takes them in: a container that
    // restyles what it is given would win over that.
    Evas_Object* scroller = elm_object_parent_widget_get(s.m_box);
    ASSERT_TRUE(scroller);
    EXPECT_STREQ("C_Scrollbar_White", elm_object_style_get(scroller));
    Evas_Object* panel = scroller;
    while (panel && std::strcmp(elm_object_widget_type_get(panel), "Elm_Popup") != 0)
        panel = elm_object_parent_widget_get(panel);
    ASSERT_TRUE(panel);
    EXPECT_STREQ("C_PopupBasic_WhiteRightLarge", elm_object_style_get(panel));
    for (Evas_Object* button : {survey::m_Button[0], survey::m_Button[1]})
        EXPECT_STREQ("C_ButtonBasic_WhiteText", elm_object_style_get(button));
    for (Evas_Object* answer : boxItems("Elm_Radio"))
        EXPECT_STREQ("C_RadioButton_WhiteText", elm_object_style_get(answer));

    // 1920x1080 at toolkit scale 1.0, for a layout made for scale 2.0.
    const auto answers = boxItems("Elm_Radio"), texts = boxItems("Elm_Label");
    ASSERT_EQ(33u, answers.size());
    ASSERT_EQ(6u, texts.size());
    EXPECT_EQ(5u, s.m_selections.size());
    Evas_Coord minW, minH, maxW, maxH, width, padding;
    evas_object_size_hint_min_get(answers[7], &minW, &minH);
    evas_object_size_hint_max_get(answers[7], &maxW, &maxH);
    EXPECT_EQ((std::vector<int>{374, 27, 375, 28}), (std::vector<int>{minW, minH, maxW, maxH}));
    evas_object_size_hint_max_get(texts[2], &maxW, &maxH);
    evas_object_geometry_get(texts[2], nullptr, nullptr, &width, nullptr);
    elm_box_padding_get(s.m_box, nullptr, &padding);
    EXPECT_EQ((std::vector<int>{384, 27, 384, 19}), (std::vector<int>{maxW, maxH, width, padding}));
}

TEST_F(SurveyTest, HighContrastAndEnlargeChangeTheLook) {
    vconf_set_int(HIGH_CONTRAST, 1);
    vconf_set_int(ENLARGE, 2);   // enlarged text, but only 1 enlarges the window
    elm_config_scale_set(2.0);
    show();
    for (Evas_Object* text : boxItems("Elm_Label"))
        EXPECT_STREQ("popup/TavSurveyPopupMedium_Contrast", elm_object_style_get(text));
    EXPECT_DOUBLE_EQ(1.0, elm_object_scale_get(m_survey->window()));
    EXPECT_EQ((std::vector<std::string>{"ea_config_text_scale_set 1"}), tavplat::journalRead("efl_assist"));
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_high_contrast.png"));

    tavplat::journalClear("efl_assist");
    vconf_set_int(HIGH_CONTRAST, 0);
    vconf_set_int(ENLARGE, 1);
    show();
    for (Evas_Object* text : boxItems("Elm_Label"))
        EXPECT_STREQ("popup/TavSurveyPopupMedium", elm_object_style_get(text));
    EXPECT_DOUBLE_EQ(1.2, elm_object_scale_get(m_survey->window()));
    EXPECT_EQ((std::vector<std::string>{"ea_config_text_scale_set 1", "ea_apply_color_pick elm_popup"}),
              tavplat::journalRead("efl_assist"));

    // Unreadable settings count as off; their warning is the prefix alone, naming the setting.
    vconf_unset(ENLARGE);
    vconf_unset(HIGH_CONTRAST);
    m_log->clear();
    show();
    EXPECT_DOUBLE_EQ(1.0, elm_object_scale_get(m_survey->window()));
    EXPECT_STREQ("popup/TavSurveyPopupMedium", elm_object_style_get(boxItems("Elm_Label")[0]));
    for (const char* getter : {"getEnlargeMode(", "getHighContrast("}) {
        int warnings = 0;
        for (const auto& line : m_log->lines())
            if (line.buffer == LOG_ID_SYSTEM && line.priority == DLOG_WARN && line.body().empty() &&
                line.text.find(getter) != std::string::npos)
                ++warnings;
        EXPECT_GE(warnings, 2) << getter;   // window and popup each read it
    }
    press("Down");
    press("Down");
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_normal.png"));
    press("Right");
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_submit_focused.png"));
}
