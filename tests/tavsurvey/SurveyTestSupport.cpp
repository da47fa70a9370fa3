#include "SurveyTestSupport.h"

#include "tavplat/appfw.h"
#include "Utilities.h"

#include <algorithm>
#include <cstring>

std::vector<std::string> SurveyTest::s_spoken;

void SurveyTest::SetUp() {
    m_survey.reset();
    m_root = std::make_unique<tavtest::TempDir>();
    tavplat::test::useRoot(m_root->path() + "/platform");
    deviceinfo::Utilities::setFileNameClock(nullptr);
    survey::seams::themeDir = uitest::themeDir();
    survey::seams::localeDir = uitest::localeDir();
    survey::seams::screenWidth = 1920;
    survey::seams::screenHeight = 1080;
    survey::seams::popupTimeout = survey::POPUP_TIMEOUT_SECONDS;
    survey::seams::warningLead = survey::TIMEOUT_WARNING_SECONDS;
    s_spoken.clear();
    survey::seams::readOut = [](const char* text) { s_spoken.emplace_back(text); };
    vconf_set_str(LANGUAGE, "en_US.utf8");
    vconf_set_int(HIGH_CONTRAST, 0);
    vconf_set_int(ENLARGE, 0);
    elm_config_scale_set(1.0);
    elm_app_base_scale_set(2.0);
    ASSERT_TRUE(setLanguage());
    m_log = std::make_unique<tavplat::test::LogCapture>();
    m_errorsBefore = uitest::toolkitErrors();
}

void SurveyTest::TearDown() {
    m_survey.reset();
    uitest::pump(0.05);
}

TestSurvey& SurveyTest::show() {
    m_survey = std::make_unique<TestSurvey>("4711", "session-1", "https://survey.example/upload");
    m_survey->prepareWindow();
    m_survey->showSurveyPopup();
    uitest::pump(0.3);
    return *m_survey;
}

std::vector<Evas_Object*> SurveyTest::boxItems(const char* widgetType) {
    std::vector<Evas_Object*> items;
    Eina_List* children = elm_box_children_get(m_survey->m_box);
    for (Eina_List* l = children; l; l = eina_list_next(l)) {
        auto* child = static_cast<Evas_Object*>(eina_list_data_get(l));
        if (!strcmp(elm_object_widget_type_get(child) ? elm_object_widget_type_get(child) : "", widgetType))
            items.push_back(child);
    }
    eina_list_free(children);
    return items;
}

Evas_Object* SurveyTest::popup() {
    Evas_Object* popup = m_survey->m_box;
    while (popup && strcmp(elm_object_widget_type_get(popup), "Elm_Popup"))
        popup = elm_object_parent_widget_get(popup);
    return popup;
}

::testing::AssertionResult SurveyTest::focusVisible(Evas_Object* focus) {
    if (!focus)
        return ::testing::AssertionFailure() << "no focus";
    const auto answers = boxItems("Elm_Radio");
    Evas_Object* view = m_survey->window();
    if (std::find(answers.begin(), answers.end(), focus) != answers.end())
        view = elm_object_parent_widget_get(m_survey->m_box);
    else if (focus != survey::m_Button[0] && focus != survey::m_Button[1])
        return ::testing::AssertionFailure() << "focus on a " << elm_object_widget_type_get(focus);
    if (!evas_object_visible_get(focus))
        return ::testing::AssertionFailure() << "focus hidden";
    return inside(focus, view);
}

::testing::AssertionResult inside(Evas_Object* inner, Evas_Object* outer) {
    Evas_Coord x, y, w, h, ox, oy, ow, oh;
    evas_object_geometry_get(inner, &x, &y, &w, &h);
    evas_object_geometry_get(outer, &ox, &oy, &ow, &oh);
    if (h <= 0 || x < ox || y < oy || x + w > ox + ow || y + h > oy + oh)
        return ::testing::AssertionFailure() << x << "," << y << " " << w << "x" << h << " not inside " << ox << "," << oy
                                             << " " << ow << "x" << oh;
    return ::testing::AssertionSuccess();
}

namespace {
struct Script {
    std::vector<std::string> keys;
    double pace;
    std::size_t next = 0;
    Ecore_Timer* timer = nullptr;
    Ecore_Idler* idler = nullptr;
};

Eina_Bool pressNextKey(void* data);

Eina_Bool armNextKey(void* data) {
    auto* script = static_cast<Script*>(data);
    script->idler = nullptr;
    script->timer = ecore_timer_add(script->pace, pressNextKey, script);
    return ECORE_CALLBACK_CANCEL;
}

// Each key waits for the loop to have gone idle after the one before (every event, job and
// zero-delay timer it caused handled), then for the pace: on a loaded machine the keys slow down
// instead of overtaking the survey. uiPtr's window may go with any key: each key goes to the
// window the survey has then.
Eina_Bool pressNextKey(void* data) {
    auto* script = static_cast<Script*>(data);
    script->timer = nullptr;
    if (uiPtr && uiPtr->window() && script->next < script->keys.size()) {
        const char* key = script->keys[script->next++].c_str();
        const char* text = !strcmp(key, "Return") ? "\r" : nullptr;
        evas_event_feed_key_down(evas_object_evas_get(uiPtr->window()), key, key, text, nullptr, 0, nullptr);
        if (uiPtr && uiPtr->window())
            evas_event_feed_key_up(evas_object_evas_get(uiPtr->window()), key, key, text, nullptr, 0, nullptr);
    }
    if (script->next < script->keys.size())
        script->idler = ecore_idler_add(armNextKey, script);
    return ECORE_CALLBACK_CANCEL;
}

Eina_Bool giveUp(void* data) {
    *static_cast<bool*>(data) = true;
    elm_exit();
    return ECORE_CALLBACK_CANCEL;
}
} // namespace

int SurveyTest::runApp(std::vector<std::string> args, std::vector<std::string> keys, double pace) {
    Script script{std::move(keys), pace};
    args.insert(args.begin(), "tavsurvey");
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    ui_app_lifecycle_callback_s callbacks{app_create, app_terminate, nullptr, nullptr, app_control};
    bool gaveUp = false;
    script.timer = ecore_timer_add(pace, pressNextKey, &script);
    Ecore_Timer* guard = ecore_timer_add(20.0, giveUp, &gaveUp);
    const int result = ui_app_main((int)argv.size(), argv.data(), &callbacks, nullptr);
    if (script.timer)
        ecore_timer_del(script.timer);
    if (script.idler)
        ecore_idler_del(script.idler);
    if (!gaveUp)
        ecore_timer_del(guard);
    EXPECT_FALSE(gaveUp) << "the survey did not end the loop";
    EXPECT_EQ(script.keys.size(), script.next) << "the survey ended before all keys were pressed";
    return result;
}

std::vector<int> SurveyTest::soundsPlayed() {
    std::vector<int> patterns;
    for (const auto& line : tavplat::journalRead("feedback"))
        if (line.rfind("play ", 0) == 0)
            patterns.push_back(std::stoi(line.substr(5)));
    return patterns;
}

std::vector<std::string> SurveyTest::appsLaunched() {
    std::vector<std::string> ids;
    for (const auto& record : tavplat::appfw::launches())
        ids.push_back(record.appId);
    return ids;
}
