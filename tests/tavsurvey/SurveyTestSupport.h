// Fixture of the survey dialog tests: the survey on a headless 1920x1080 television with the
// build tree's themes and catalogs, shown directly or run as the application under the UI loop
// with scripted keys; readers of the platform journals it writes.
#pragma once

#include "TavSurveyApp.h"
#include "TavSurveyUi.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>
#include <vconf.h>

#include <memory>

class TestSurvey : public survey::TavSurveyUi {
public:
    using TavSurveyUi::TavSurveyUi;
    using TavSurveyUi::m_box, TavSurveyUi::m_contentList, TavSurveyUi::m_selections;
};

// UI sounds as feedback patterns.
enum Sound { MOVED = 66, CANCEL = 67, BLOCKED = 68, CONFIRM = 69, POPUP = 71 };

// `inner` lies whole inside `outer` and has a height.
::testing::AssertionResult inside(Evas_Object* inner, Evas_Object* outer);

class SurveyTest : public ::testing::Test {
protected:
    static constexpr const char* HIGH_CONTRAST = "db/menu/system/accessibility/highcontrast";
    static constexpr const char* ENLARGE = "db/menu/system/accessibility/focuszoom";
    static constexpr const char* LANGUAGE = "db/menu_widget/language";

    void SetUp() override;
    void TearDown() override;
    TestSurvey& show();   // as the application shell does
    void press(const char* key) { uitest::press(m_survey->window(), key); }
    Evas_Object* focused() { return elm_object_focused_object_get(m_survey->window()); }
    Evas_Object* focusAfter(std::initializer_list<const char*> keys) {
        for (const char* key : keys)
            press(key);
        return focused();
    }
    std::vector<Evas_Object*> boxItems(const char* widgetType);   // "Elm_Radio", "Elm_Label"
    Evas_Object* popup();
    // The focus is on an answer or a button, whole inside the visible part of its container
    // (the scroller's viewport for answers).
    ::testing::AssertionResult focusVisible(Evas_Object* focus);
    // Runs the application under the UI loop with these arguments, pressing one key every
    // `pace` seconds while the survey is shown; the result of ui_app_main.
    int runApp(std::vector<std::string> args, std::vector<std::string> keys, double pace = 0.05);
    std::vector<int> soundsPlayed();
    static std::vector<std::string> s_spoken;   // what the screen reader was given, in order
    std::vector<std::string> appsLaunched();

    // A fresh emulated television per test: nothing one test sets reaches the next.
    std::unique_ptr<tavtest::TempDir> m_root;
    std::unique_ptr<TestSurvey> m_survey;
    std::unique_ptr<tavplat::test::LogCapture> m_log;
    int m_errorsBefore = 0;
};
