// The dialog as people see it: styles from the service's themes, the screen's sizes, the
// accessibility settings; screenshots into <build>/screenshots for people to look at.
#include "SurveyTestSupport.h"

#include <algorithm>
#include <cstring>

TEST_F(SurveyTest, EveryStyleComesFromTheThemesAndTheLayoutFitsTheScreen) {
    auto& s = show();
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

    // 1920x1080 at toolkit scale 1.0, for a layout made for scale 2.0.
    Evas_Coord minW, minH, width, padding;
    evas_object_size_hint_min_get(answers.at(7), &minW, &minH);
    evas_object_geometry_get(texts.at(2), nullptr, nullptr, &width, nullptr);
    elm_box_padding_get(s.m_box, nullptr, &padding);
    EXPECT_EQ((std::vector<int>{374, 27, 384, 19}), (std::vector<int>{minW, minH, width, padding}));
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
        const auto lines = m_log->lines();
        EXPECT_GE(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
            return line.buffer == LOG_ID_SYSTEM && line.priority == DLOG_WARN && line.body().empty() &&
                   line.text.find(getter) != std::string::npos;
        }), 2) << getter;   // window and popup each read it
    }
    focusAfter({"Down", "Down"});
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_normal.png"));
    press("Right");
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_submit_focused.png"));
}
