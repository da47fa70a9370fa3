// Fixture of the survey dialog tests: the survey on a headless 1920x1080 television with the
// build tree's themes and catalogs, the application run under the UI loop with scripted keys,
// and readers of the platform journals the survey writes.
#pragma once

#include "TavSurveyApp.h"
#include "TavSurveyUi.h"
#include "UiTestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>
#include <vconf.h>

#include <memory>
#include <string>
#include <vector>

// The survey with its state open to the tests.
class TestSurvey : public survey::TavSurveyUi {
public:
    using TavSurveyUi::TavSurveyUi;
    using TavSurveyUi::m_box;
    using TavSurveyUi::m_contentList;
    using TavSurveyUi::m_currentQuestion;
    using TavSurveyUi::m_itemFocused;
    using TavSurveyUi::m_lastReadQuestion;
    using TavSurveyUi::m_questionGroups;
    using TavSurveyUi::m_selections;
};

class SurveyTest : public ::testing::Test {
protected:
    static constexpr const char* HIGH_CONTRAST = "db/menu/system/accessibility/highcontrast";
    static constexpr const char* ENLARGE = "db/menu/system/accessibility/focuszoom";
    static constexpr const char* LANGUAGE = "db/menu_widget/language";

    void SetUp() override;
    void TearDown() override;
    // Shows a survey the way the application shell does.
    TestSurvey& show();
    void press(const char* key) { uitest::press(m_survey->window(), key); }
    Evas_Object* focused() { return elm_object_focused_object_get(m_survey->window()); }
    std::vector<Evas_Object*> boxItems(const char* widgetType);   // "Elm_Radio", "Elm_Label"
    // Runs the application under the UI loop with these command-line arguments, pressing one
    // key every `pace` seconds once the survey is shown. The result of ui_app_main.
    int runApp(std::vector<std::string> args, std::vector<std::string> keys, double pace = 0.05);

    std::vector<int> soundsPlayed();                 // feedback patterns, in order
    std::vector<std::string> appsLaunched();         // application ids, in order
    std::vector<std::string> journal(const char* name) { return tavplat::journalRead(name); }

    std::unique_ptr<TestSurvey> m_survey;
    std::unique_ptr<tavplat::test::LogCapture> m_log;
    int m_errorsBefore = 0;
};
