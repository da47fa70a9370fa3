// The survey object, its window and the popup built from the content list.

#include "TavSurveyUi.h"

#include "DevicePropertiesGeneral.h"
#include "EflTavRcuKeys.h"
#include "GzipCompressor.h"
#include "OpenApiConnection.h"
#include "Sound.h"
#include "TavConstants.h"
#include "TavLog.h"
#include "Utilities.h"
#include "Utils.h"
#include "XmlParser.h"

#include <Ecore_X.h>
#include <efl_assist.h>
#include <libintl.h>
#include <ui_orientation.h>
#include <vconf.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

// Exported by the toolkit but declared only in headers it does not install (or installs for its
// unstable interface): the classes behind `elm_popup_add` and its kind, the constructor step that
// makes such an object a legacy widget, and the style setter that may run before construction ends.
extern "C" {
const Efl_Class* elm_popup_class_get(void);
const Efl_Class* elm_scroller_class_get(void);
const Efl_Class* elm_label_class_get(void);
const Efl_Class* efl_ui_button_legacy_class_get(void);
const Efl_Class* efl_ui_radio_legacy_class_get(void);
void efl_canvas_object_legacy_ctor(Eo* obj);
Eina_Error efl_ui_widget_style_set(Eo* obj, const char* style);
}

namespace survey {

Evas_Object* m_Button[3] = {nullptr, nullptr, nullptr};
const std::string COMMA_SEPARATOR = ", ";
const std::string HOME_SCREEN_APP_ID = "org.vintre.firstscreen";
const char* const TIMEOUT_WARNING_KEY = "db/tavrin/survey/timeout_warning";
const char* const SCREEN_READER_KEY = "db/menu/system/accessibility/voiceguide";
const char* const TIMEOUT_WARNING_TEXT = "TV_SID_TAV_SURVEY_CLOSE_15_SEC_MSG";

namespace seams {
double popupTimeout = POPUP_TIMEOUT_SECONDS;
std::string themeDir;
int screenWidth = 0;
int screenHeight = 0;
double warningLead = TIMEOUT_WARNING_SECONDS;
void (*readOut)(const char* text) = elm_access_say;
} // namespace seams

namespace {

const char* const TEXT_DOMAIN = "tavrin";
const char* const HIGH_CONTRAST_KEY = "db/menu/system/accessibility/highcontrast";
const char* const ENLARGE_KEY = "db/menu/system/accessibility/focuszoom";
const char* const POPUP_STYLE = "C_PopupBasic_WhiteRightLarge";
const char* const SCROLLER_STYLE = "C_Scrollbar_White";
const char* const BUTTON_STYLE = "C_ButtonBasic_WhiteText";
const char* const RADIO_STYLE = "C_RadioButton_WhiteText";
const char* const LABEL_STYLE = "popup/TavSurveyPopupMedium";
const char* const LABEL_STYLE_CONTRAST = "popup/TavSurveyPopupMedium_Contrast";
const char* const WARNING_BACKING = "tav,backing";

// Layout factors, relative to the screen; single precision like the layout they come from.
constexpr float ANSWER_WIDTH = 0.39f;
constexpr float ROW_HEIGHT = 0.05f;
constexpr float TEXT_WIDTH = 0.4f;
constexpr float ROW_GAP = 0.0185f;

// A themed widget made with its final style. Styling it after `elm_*_add` would load and apply
// the default theme group first, only to replace it at once, and the popup has dozens of them.
Evas_Object* addStyled(const Efl_Class* widgetClass, Evas_Object* parent, const char* style) {
    return efl_add(widgetClass, parent, efl_canvas_object_legacy_ctor(efl_added),
                   efl_ui_widget_style_set(efl_added, style));
}

// A size designed for the application's base scale, at the toolkit's current scale.
int scaled(double size) {
    return (int)(size * elm_config_scale_get() / elm_app_base_scale_get() + 0.5);
}

// Where a theme file is read from: its installed path, or the same file name in the test seam's
// folder.
std::string themePath(const std::string& installed) {
    if (seams::themeDir.empty())
        return installed;
    return seams::themeDir + "/" + installed.substr(EDC_DIR.size());
}

const char* const SCROLL_JOB = "tav,scroll-job";

// Shows the rows around an answer (its question above it included). Up and Down then move the
// focus at once; the scroller would otherwise spend key presses scrolling towards an answer that
// is still out of sight.
void showWithNeighbours(Evas_Object* box, Evas_Object* answer) {
    Evas_Object* scroller = elm_object_parent_widget_get(box);
    Evas_Coord boxY = 0, y = 0, h = 0, padding = 0;
    // After a scroll the box has moved but lays its rows out again only later; the answer's
    // place must be read relative to the box as it is now.
    evas_smart_objects_calculate(evas_object_evas_get(box));
    evas_object_geometry_get(box, nullptr, &boxY, nullptr, nullptr);
    evas_object_geometry_get(answer, nullptr, &y, nullptr, &h);
    elm_box_padding_get(box, nullptr, &padding);
    const Evas_Coord margin = 2 * (h + padding);
    elm_scroller_region_show(scroller, 0, y - boxY - margin, 1, h + 2 * margin);
}

// Once the focus has settled: a move from a button into the body passes over the first answer,
// and on a busy loop the scroller may go back to that answer's rows after ours.
void showFocusedAnswer(void* data) {
    auto* box = static_cast<Evas_Object*>(data);
    evas_object_data_del(box, SCROLL_JOB);
    Evas_Object* focus = elm_object_focused_object_get(box);
    if (focus && elm_object_parent_widget_get(focus) == box)
        showWithNeighbours(box, focus);
}

void keepNeighboursInView(void* data, Evas_Object* answer, void*) {
    auto* box = static_cast<Evas_Object*>(data);
    showWithNeighbours(box, answer);
    if (!evas_object_data_get(box, SCROLL_JOB))
        evas_object_data_set(box, SCROLL_JOB, ecore_job_add(showFocusedAnswer, box));
}

void cancelScrollJob(void*, Evas*, Evas_Object* box, void*) {
    if (auto* job = static_cast<Ecore_Job*>(evas_object_data_del(box, SCROLL_JOB)))
        ecore_job_del(job);
}

// 0 when the setting cannot be read; the caller logs that, so that its name tells which setting.
bool readAccessibilitySetting(const char* key, int& value) {
    value = 0;
    if (vconf_get_int(key, &value) == VCONF_OK)
        return true;
    value = 0;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Object and window

TavSurveyUi::TavSurveyUi(std::string pinCode, std::string sessionId, std::string url)
    : m_url(std::move(url)), m_sessionId(std::move(sessionId)), m_pinCode(std::move(pinCode)) {}

TavSurveyUi::~TavSurveyUi() {
    stopTimeoutWarning();
    for (int*& selection : m_selections) {
        delete selection;
        selection = nullptr;
    }
    if (m_window) {
        evas_object_event_callback_del_full(m_window, EVAS_CALLBACK_DEL, windowDeleted, this);
        evas_object_del(m_window);
        m_window = nullptr;
    }
}

void TavSurveyUi::prepareWindow() {
    LOGI("Prepare Survey Window");
    ea_config_text_scale_set(getEnlargeMode() ? 1 : 0);

    m_window = elm_win_add(nullptr, "tavSurvey", ELM_WIN_DIALOG_BASIC);
    // The window is auto-deleted when the window manager closes it; forget it then, so that
    // nothing deletes it a second time.
    evas_object_event_callback_add(m_window, EVAS_CALLBACK_DEL, windowDeleted, this);
    elm_win_autodel_set(m_window, EINA_TRUE);
    elm_win_alpha_set(m_window, EINA_TRUE);
    elm_win_focus_highlight_enabled_set(m_window, EINA_TRUE);
    elm_object_focus_allow_set(m_window, EINA_TRUE);
    elm_win_title_set(m_window, "tavSurvey");

    const bool mirrored = ua_UI_orientation_get() == 1;
    elm_config_mirrored_set(mirrored);
    // Texts with no direction of their own (question 3's digits) follow the layout's.
    evas_object_paragraph_direction_set(m_window, mirrored ? EVAS_BIDI_DIRECTION_RTL : EVAS_BIDI_DIRECTION_NEUTRAL);

    elm_win_screen_size_get(m_window, nullptr, nullptr, &m_screenWidth, &m_screenHeight);
    if (seams::screenWidth > 0 && seams::screenHeight > 0) {
        m_screenWidth = seams::screenWidth;
        m_screenHeight = seams::screenHeight;
    }
    LOGI("Screen resolution: %d %d", m_screenWidth, m_screenHeight);
    // The television's window manager gives a dialog the whole screen; elsewhere the window
    // takes it itself.
    elm_win_borderless_set(m_window, EINA_TRUE);
    evas_object_move(m_window, 0, 0);
    evas_object_resize(m_window, m_screenWidth, m_screenHeight);

    UI::initializeRCUKeysHandling(m_window);
    m_keysGrabbed = true;
}

void TavSurveyUi::releaseRemoteKeys() {
    if (m_window && m_keysGrabbed)
        UI::freeRCUKeysHandling(m_window);
    m_keysGrabbed = false;
}

void TavSurveyUi::windowDeleted(void* data, Evas*, Evas_Object* obj, void*) {
    auto* survey = static_cast<TavSurveyUi*>(data);
    if (survey && survey->m_window == obj)
        survey->m_window = nullptr;
}

void TavSurveyUi::destroySurveyWindow() {
    LOGI("Destroy survey window");
    stopTimeoutWarning();
    if (m_window) {
        releaseRemoteKeys();
        Evas_Object* window = m_window;
        m_window = nullptr;
        evas_object_event_callback_del_full(window, EVAS_CALLBACK_DEL, windowDeleted, this);
        evas_object_del(window);
    }
    elm_exit();
}

// An unreadable setting counts as off. Its warning has no text: the prefix (this function's
// name) says which setting it was.
int TavSurveyUi::getHighContrast() {
    int value = 0;
    if (!readAccessibilitySetting(HIGH_CONTRAST_KEY, value))
        SLOGW("");
    return value;
}

int TavSurveyUi::getEnlargeMode() {
    int value = 0;
    if (!readAccessibilitySetting(ENLARGE_KEY, value))
        SLOGW("");
    return value;
}

void TavSurveyUi::prepareDialogInformations() {
    m_buttonLabels.clear();
    m_buttonLabels.push_back("TV_SID_UPPER_SUBMIT");
    m_buttonLabels.push_back("SID_CANCEL");
}

// ---------------------------------------------------------------------------------------------
// Popup

void TavSurveyUi::showSurveyPopup() {
    LOGI("Show Survey Popup");
    const std::string scale[] = {"COM_SID_VERY_SATISFIED",        "TV_SID_TAV_SATISFIED",
                                 "TV_SID_TAV_SOMEWHAT_SATISFIED", "TV_SID_TAV_NEUTRAL",
                                 "TV_SID_TAV_SOMEWHAT_DISSATISFIED", "TV_SID_TAV_DISASSTISFIED",
                                 "TV_SID_TAV_VERY_DISSATISFIED"};
    auto add = [this](const char* kind, const std::string& text) { m_contentList.emplace_back(kind, text); };
    auto addScale = [&] {
        for (const auto& answer : scale)
            add("answer", answer);
    };

    m_contentList.clear();
    add("title", "TV_SID_TAV_TAVRIN_STISFATCTION_SURVEY");
    add("description", "TV_SID_TAV_CUSTOMER_SATISFACTION_TAVS");
    add("question", "TV_SID_TAV_1_PROBLEM_REMOTE_SERVICE");
    add("answer", "SID_YES_KR_NE");
    add("answer", "COM_SID_NO");
    add("question", "TV_SID_TAV_2_HOW_SATISFIED_OVERALL");
    addScale();
    // Question 3 is two texts on two lines, composed in the current language.
    add("question", std::string(dgettext(TEXT_DOMAIN, "TV_SID_TAV_3_BAED_ON_TAV_MSG")) + "<br>" +
                        dgettext(TEXT_DOMAIN, "TV_SID_TAV_ON_SCAL_0_9_MSG"));
    for (const char* digit : {"COM_SID_9", "COM_SID_8", "COM_SID_7", "COM_SID_6", "COM_SID_5",
                              "COM_SID_4", "COM_SID_3", "SID_2", "COM_SID_1", "COM_SID_0"})
        add("answer", digit);
    add("question", "TV_SID_TAV_4_HOW_SATISFIED_MSG");
    addScale();
    add("question", "TV_SID_TAV_5_HOW_SATISFIED_MSG");
    addScale();

    addSurveyPopup();
}

void TavSurveyUi::addSurveyPopup() {
    LOGI("Add Survey Popup");
    prepareDialogInformations();
    std::string readOut;

    if (!m_window) {
        SLOGW("Main window error");
        return;
    }
    if (m_contentList.empty()) {
        SLOGW("No data");
        return;
    }

    if (getEnlargeMode() == 1)
        elm_object_scale_set(m_window, 1.2);

    for (const std::string& installed : {RADIO_BUTTON_EDJ, FOCUS_EDJ}) {
        const std::string path = themePath(installed);
        LOGI("Loading edj file from: %s", path.c_str());
        elm_theme_overlay_add(nullptr, path.c_str());
    }

    elm_object_part_content_unset(m_window, nullptr);
    elm_config_focus_highlight_enabled_set(EINA_TRUE);
    elm_win_focus_highlight_enabled_set(m_window, EINA_TRUE);
    // The answers scroll into view themselves (keepNeighboursInView); the toolkit's own scroll
    // to the focus comes a frame later and could undo theirs.
    elm_config_focus_autoscroll_mode_set(ELM_FOCUS_AUTOSCROLL_MODE_NONE);

    Evas_Object* popup = addStyled(elm_popup_class_get(), m_window, POPUP_STYLE);
    // A full-height panel at the screen's right edge (left edge when mirrored).
    elm_popup_align_set(popup, 1.0, ELM_NOTIFY_ALIGN_FILL);
    if (getHighContrast() == 0)
        ea_apply_color_pick(popup);
    elm_popup_timeout_set(popup, seams::popupTimeout);

    std::size_t start = 0;
    if (m_contentList.front().first == "title") {
        elm_object_domain_translatable_part_text_set(popup, "title,text", TEXT_DOMAIN,
                                                     m_contentList.front().second.c_str());
        const char* shown = elm_object_part_text_get(popup, "title,text");
        readOut = std::string(shown ? shown : "") + COMMA_SEPARATOR;
        start = 1;
    }

    elm_popup_content_text_wrap_type_set(popup, ELM_WRAP_WORD);
    elm_object_focus_allow_set(popup, EINA_TRUE);
    evas_object_smart_callback_add(popup, "timeout", cancelButtonClickedCb, this);

    Evas_Object* scroller = addStyled(elm_scroller_class_get(), popup, SCROLLER_STYLE);
    elm_object_signal_emit(scroller, "elm,action,scroll", "elm");
    elm_scroller_bounce_set(scroller, EINA_TRUE, EINA_FALSE);
    elm_scroller_policy_set(scroller, ELM_SCROLLER_POLICY_OFF, ELM_SCROLLER_POLICY_ON);
    evas_object_propagate_events_set(scroller, EINA_TRUE);
    evas_object_size_hint_align_set(scroller, EVAS_HINT_FILL, EVAS_HINT_FILL);
    evas_object_size_hint_weight_set(scroller, EVAS_HINT_EXPAND, EVAS_HINT_EXPAND);
    // The body is as wide as its widest text and never scrolls sideways: a sideways scroll
    // would swallow the Right key on its way to Submit.
    elm_scroller_content_min_limit(scroller, EINA_TRUE, EINA_FALSE);
    elm_object_content_set(popup, scroller);
    elm_object_focus_allow_set(scroller, EINA_FALSE);

    const int W = m_screenWidth;
    const int H = m_screenHeight;
    m_box = elm_box_add(scroller);
    elm_box_horizontal_set(m_box, EINA_FALSE);
    elm_box_align_set(m_box, 0.5, 0.5);
    elm_box_padding_set(m_box, 0, (int)(H * ROW_GAP));
    elm_object_content_set(scroller, m_box);
    elm_object_focus_allow_set(m_box, EINA_TRUE);
    evas_object_smart_callback_add(m_box, "unfocused", unfocusedItemCb, this);
    evas_object_event_callback_add(m_box, EVAS_CALLBACK_DEL, cancelScrollJob, nullptr);
    evas_object_show(m_box);

    for (std::size_t i = 0; i < m_buttonLabels.size() && i < sizeof(m_Button) / sizeof(m_Button[0]); ++i) {
        Evas_Object* button = addStyled(efl_ui_button_legacy_class_get(), popup, BUTTON_STYLE);
        m_Button[i] = button;
        elm_object_domain_translatable_text_set(button, TEXT_DOMAIN, m_buttonLabels[i]);
        const std::string part = "button" + std::to_string(i + 1);
        elm_object_part_content_set(popup, part.c_str(), button);
        setButtonIconImage(button, (int)i);
        const std::string label = m_buttonLabels[i];
        evas_object_smart_callback_add(button, "clicked",
                                       (label == "SID_CANCEL" || label == "SID_NO") ? cancelButtonClickedCb
                                                                                    : okButtonClickedCb,
                                       this);
        evas_object_smart_callback_add(button, "focused", focusedItemCb, this);
        evas_object_event_callback_priority_add(elm_layout_edje_get(button), EVAS_CALLBACK_KEY_DOWN,
                                                EVAS_CALLBACK_PRIORITY_BEFORE, onButtonKeyPress, this);
        // Nothing lies below the buttons; the answers out of sight under the body would.
        // (The toolkit links both ways: Up is set when an answer takes the focus.)
        elm_object_focus_next_object_set(button, button, ELM_FOCUS_DOWN);
        elm_access_info_cb_set(button, ACCESS_NAME, accessCallback, this);
    }

    // Answer sizes; the "+ 1" bounds are fused multiply-adds like the rest of the layout.
    const Evas_Coord answerMinW = scaled(W * (double)ANSWER_WIDTH);
    const Evas_Coord answerMaxW = scaled(std::fma((double)W, (double)ANSWER_WIDTH, 1.0));
    const Evas_Coord rowMinH = scaled(H * ROW_HEIGHT);
    const Evas_Coord rowMaxH = scaled(std::fma((float)H, ROW_HEIGHT, 1.0f));
    const Evas_Coord textW = scaled(W * TEXT_WIDTH);
    const Evas_Coord textMinW = scaled(std::fma((float)W, TEXT_WIDTH, -1.0f));
    const Evas_Coord textMinH = scaled(std::fma((float)H, ROW_HEIGHT, -1.0f));

    bool newQuestion = true;
    int state = 0;
    Evas_Object* firstAnswer = nullptr;
    Evas_Object* lastAnswer = nullptr;
    for (std::size_t i = start; i < m_contentList.size(); ++i) {
        const auto& [kind, text] = m_contentList[i];
        if (kind == "answer") {
            Evas_Object* radio = addStyled(efl_ui_radio_legacy_class_get(), popup, RADIO_STYLE);
            if (newQuestion) {
                m_questionGroups.emplace_back(radio, readOut);
                readOut.clear();
                m_selections.push_back(new int(1));
                state = 1;
            } else {
                elm_radio_group_add(radio, m_questionGroups.back().first);
                ++state;
            }
            evas_object_paragraph_direction_set(radio, evas_object_paragraph_direction_get(m_window));
            elm_object_domain_translatable_text_set(radio, TEXT_DOMAIN, text.c_str());
            elm_radio_state_value_set(radio, state);
            elm_radio_value_pointer_set(radio, m_selections.back());
            elm_box_pack_end(m_box, radio);

            elm_access_info_set(radio, ACCESS_NAME, m_questionGroups.front().second.c_str());
            elm_access_info_set(radio, ACCESS_INFO, dgettext(TEXT_DOMAIN, text.c_str()));

            evas_object_size_hint_min_set(radio, answerMinW, rowMinH);
            evas_object_size_hint_max_set(radio, answerMaxW, rowMaxH);
            evas_object_size_hint_align_set(radio, 1.0, 0.5);

            switch (m_questionGroups.size()) {
            case 1: evas_object_smart_callback_add(radio, "focused", focusedItemFirstQuestionCb, this); break;
            case 2: evas_object_smart_callback_add(radio, "focused", focusedItemSecondQuestionCb, this); break;
            case 3: evas_object_smart_callback_add(radio, "focused", focusedItemThirdQuestionCb, this); break;
            case 4: evas_object_smart_callback_add(radio, "focused", focusedItemFourthQuestionCb, this); break;
            case 5: evas_object_smart_callback_add(radio, "focused", focusedItemFifthQuestionCb, this); break;
            default: SLOGW("Not handle ui part"); break;
            }

            evas_object_smart_callback_add(radio, "focused", keepNeighboursInView, m_box);
            evas_object_show(radio);
            if (!firstAnswer)
                firstAnswer = radio;
            // Up and Down walk the answers in order (and both ways), whether or not the next
            // one is in sight yet.
            if (lastAnswer)
                elm_object_focus_next_object_set(lastAnswer, radio, ELM_FOCUS_DOWN);
            lastAnswer = radio;
            elm_object_focus_next_object_set(radio, m_Button[0], ELM_FOCUS_RIGHT);
            newQuestion = false;
        } else {
            Evas_Object* label = addStyled(elm_label_class_get(), m_box,
                                           getHighContrast() == 1 ? LABEL_STYLE_CONTRAST : LABEL_STYLE);
            elm_object_domain_translatable_text_set(label, TEXT_DOMAIN, text.c_str());
            readOut = std::string(dgettext(TEXT_DOMAIN, text.c_str())) + COMMA_SEPARATOR;
            elm_label_line_wrap_set(label, ELM_WRAP_WORD);
            evas_object_size_hint_max_set(label, textW, rowMinH);
            evas_object_size_hint_min_set(label, textMinW, textMinH);
            // A word-wrapped label has no width of its own and recomputes its minimum from its
            // text; the wrap width keeps it as wide as the layout wants it.
            elm_label_wrap_width_set(label, textMinW);
            elm_box_pack_end(m_box, label);
            evas_object_show(label);
            newQuestion = true;
        }
    }

    // Past the last answer comes the primary action, never Cancel.
    if (lastAnswer)
        elm_object_focus_next_object_set(lastAnswer, m_Button[0], ELM_FOCUS_DOWN);

    Evas_Object* spacer = evas_object_rectangle_add(evas_object_evas_get(m_box));
    evas_object_color_set(spacer, 0, 0, 0, 0);
    evas_object_resize(spacer, 0, 10);
    elm_box_pack_end(m_box, spacer);
    evas_object_show(spacer);

    evas_object_event_callback_add(popup, EVAS_CALLBACK_KEY_UP, onKeyUnpress, this);
    evas_object_event_callback_add(popup, EVAS_CALLBACK_KEY_DOWN, onKeyPress, this);
    evas_object_show(popup);

    if (firstAnswer) {
        elm_object_focus_allow_set(firstAnswer, EINA_TRUE);
        elm_object_focus_set(firstAnswer, EINA_TRUE);
        evas_object_show(firstAnswer);
    }

    deviceinfo::Sound sound;
    sound.playAUISound(deviceinfo::AUI_SOUND_POPUP);

    m_itemFocused = false;
    evas_object_show(m_window);
    restartTimeoutWarning();
}

void TavSurveyUi::hideSurveyPopup() {
    LOGI("Hide survey popup");
    stopTimeoutWarning();
    if (m_window) {
        evas_object_hide(m_window);
        // The unmap request waits in the display connection until the loop runs again, and an
        // upload may block the loop for minutes: the survey must leave the screen now.
        if (elm_win_xwindow_get(m_window))
            ecore_x_sync();
    }
    deviceinfo::Utilities::appLaunch(HOME_SCREEN_APP_ID);
}

void TavSurveyUi::setButtonIconImage(Evas_Object* button, int index) {
    const char* name = index == 1 ? "r_close_cancel" : "r_ok_done_allow";
    Evas_Object* icon = elm_icon_add(button);
    elm_icon_standard_set(icon, name);
    elm_object_part_content_set(button, "icon", icon);
}

// ---- Idle time-out warning ------------------------------------------------------------------

bool TavSurveyUi::timeoutWarningEnabled() {
    int value = 0;
    if (vconf_get_int(TIMEOUT_WARNING_KEY, &value) == VCONF_OK)
        return value != 0;
    return vconf_get_int(SCREEN_READER_KEY, &value) == VCONF_OK && value == 1;
}

void TavSurveyUi::stopTimeoutWarning() {
    if (m_warningTimer)
        ecore_timer_del(m_warningTimer);
    m_warningTimer = nullptr;
    if (m_warningLabel) {
        evas_object_hide(m_warningLabel);
        evas_object_hide(static_cast<Evas_Object*>(evas_object_data_get(m_warningLabel, WARNING_BACKING)));
    }
}

void TavSurveyUi::restartTimeoutWarning() {
    stopTimeoutWarning();
    const double delay = seams::popupTimeout - seams::warningLead;
    if (m_window && delay > 0 && timeoutWarningEnabled())
        m_warningTimer = ecore_timer_add(delay, warnOfTimeout, this);
}

// A line over the foot of the popup's body, so that the questions keep their place.
Eina_Bool TavSurveyUi::warnOfTimeout(void* data) {
    auto* survey = static_cast<TavSurveyUi*>(data);
    survey->m_warningTimer = nullptr;
    Evas_Object* body = survey->m_box ? elm_object_parent_widget_get(survey->m_box) : nullptr;
    if (!survey->m_window || !body)
        return ECORE_CALLBACK_CANCEL;
    LOGI("Time-out warning");
    Evas_Object*& label = survey->m_warningLabel;
    if (!label) {
        label = addStyled(elm_label_class_get(), survey->m_window,
                          survey->getHighContrast() == 1 ? LABEL_STYLE_CONTRAST : LABEL_STYLE);
        elm_object_domain_translatable_text_set(label, TEXT_DOMAIN, TIMEOUT_WARNING_TEXT);
        elm_label_line_wrap_set(label, ELM_WRAP_WORD);
        // The panel's colour behind the line hides the rows it covers; it goes with the line.
        Evas_Object* backing = elm_bg_add(label);
        if (survey->getHighContrast() == 1)
            elm_bg_color_set(backing, 0, 0, 0);
        else
            elm_bg_color_set(backing, 22, 26, 36);
        evas_object_data_set(label, WARNING_BACKING, backing);
        // It goes with the window.
        evas_object_event_callback_add(label, EVAS_CALLBACK_DEL, [](void* data, Evas*, Evas_Object*, void*) {
            static_cast<TavSurveyUi*>(data)->m_warningLabel = nullptr;
        }, survey);
    }
    Evas_Coord x = 0, y = 0, w = 0, h = 0, minH = 0;
    evas_object_geometry_get(body, &x, &y, &w, &h);
    elm_label_wrap_width_set(label, w);
    evas_object_smart_calculate(label);
    evas_object_size_hint_min_get(label, nullptr, &minH);
    evas_object_move(label, x, y + h - minH);
    evas_object_resize(label, w, minH);
    auto* backing = static_cast<Evas_Object*>(evas_object_data_get(label, WARNING_BACKING));
    const Evas_Coord gap = minH / 3;
    evas_object_move(backing, x, y + h - minH - gap);
    evas_object_resize(backing, w, minH + gap);
    evas_object_layer_set(backing, EVAS_LAYER_MAX - 1);
    evas_object_layer_set(label, EVAS_LAYER_MAX - 1);
    evas_object_stack_below(backing, label);
    evas_object_show(backing);
    evas_object_show(label);
    seams::readOut(dgettext(TEXT_DOMAIN, TIMEOUT_WARNING_TEXT));
    return ECORE_CALLBACK_CANCEL;
}

} // namespace survey

// Behaviour of the shown survey: focus moves, screen-reader read-out, UI sounds, remote-control
// keys, Submit and Cancel.
namespace survey {

namespace {

const int NO_QUESTION = 5;

void playSound(deviceinfo::SoundAUIType type) {
    deviceinfo::Sound sound;
    sound.playAUISound(type);
}

} // namespace

// ---- Submit and Cancel ----------------------------------------------------------------------

void TavSurveyUi::okButtonClickedCb(void* data, Evas_Object*, void*) {
    playSound(deviceinfo::AUI_SOUND_CONFIRM);
    auto* survey = static_cast<TavSurveyUi*>(data);
    if (!survey)
        return;
    const int retVal = survey->exportSurveyData();
    if (retVal != 0) {
        LOGI("Unable to export survey result retVal:[%d]", retVal);
        survey->hideSurveyPopup();
        survey->destroySurveyWindow();
        return;
    }
    survey->hideSurveyPopup();
    // The remote belongs to the home screen while the upload runs; this loop cannot serve it.
    survey->releaseRemoteKeys();
    survey->sendSurveyResult();
    survey->destroySurveyWindow();
    LOGD("Send survey result successfully");
}

void TavSurveyUi::cancelButtonClickedCb(void* data, Evas_Object*, void*) {
    playSound(deviceinfo::AUI_SOUND_CANCEL);
    auto* survey = static_cast<TavSurveyUi*>(data);
    if (!survey || !survey->m_window)
        return;
    survey->hideSurveyPopup();
    survey->destroySurveyWindow();
}

// ---- Keys -----------------------------------------------------------------------------------

void TavSurveyUi::onKeyPress(void* data, Evas*, Evas_Object* obj, void* event_info) {
    auto* survey = static_cast<TavSurveyUi*>(data);
    if (!survey) {
        SLOGW("Null pointer passed as a parameter - nothing to do");
        return;
    }
    const auto* ev = static_cast<const Evas_Event_Key_Down*>(event_info);
    const std::string keyName = ev && ev->keyname ? ev->keyname : "";
    const std::string key = ev && ev->key ? ev->key : "";
    LOGI("RCU Key: %s", keyName.c_str());

    // Every key restarts the idle time-out. A key that closed the survey (Return on a button)
    // has already deleted the popup with the window.
    if (survey->m_window) {
        elm_popup_timeout_set(obj, seams::popupTimeout);
        survey->restartTimeoutWarning();
    }

    if (keyName == "XF86PowerOff") {
        LOGI("Power key pressed");
        survey->hideSurveyPopup();
    }
    if (survey->m_keySoundPlayed)
        survey->m_keySoundPlayed = false;
    else
        survey->playEventSound(obj, key);
    survey->m_itemFocused = false;
    if (survey->m_boxUnfocused) {
        if (survey->m_window && m_Button[0])
            elm_object_focus_set(m_Button[0], EINA_TRUE);
        survey->m_boxUnfocused = false;
    }
    if (keyName == "XF86Back" || keyName == "XF86Exit")
        cancelButtonClickedCb(data, nullptr, nullptr);
}

// Return on a button is taken by the button, and its click closes the survey before the popup
// hears of the key. The key's own sound is played here, as the toolkit hands the key to the
// focused button, so that it still comes before the click's sound.
void TavSurveyUi::onButtonKeyPress(void* data, Evas*, Evas_Object* obj, void* event_info) {
    auto* survey = static_cast<TavSurveyUi*>(data);
    const auto* ev = static_cast<const Evas_Event_Key_Down*>(event_info);
    if (!survey || !ev || !ev->key || strcmp(ev->key, "Return") != 0 || (ev->event_flags & EVAS_EVENT_FLAG_ON_HOLD))
        return;
    survey->playEventSound(obj, ev->key);
    survey->m_keySoundPlayed = true;
}

void TavSurveyUi::onKeyUnpress(void*, Evas*, Evas_Object*, void* event_info) {
    const auto* ev = static_cast<const Evas_Event_Key_Up*>(event_info);
    LOGI("RCU Key: %s", ev && ev->keyname ? ev->keyname : "");
}

void TavSurveyUi::playEventSound(Evas_Object*, const std::string& key) {
    if (key == "Return")
        playSound(deviceinfo::AUI_SOUND_CONFIRM);
    else if (key == "XF86Back")
        playSound(deviceinfo::AUI_SOUND_CANCEL);
    else if (key == "Down" || key == "Up" || key == "Left" || key == "Right")
        playSound(m_itemFocused ? deviceinfo::AUI_SOUND_MOVE_ITEM : deviceinfo::AUI_SOUND_MOVE);
}

// ---- Focus and read-out ---------------------------------------------------------------------

void TavSurveyUi::focusedItemCb(void* data, Evas_Object*, void*) {
    LOGI("Focused object");
    auto* survey = static_cast<TavSurveyUi*>(data);
    if (!survey) {
        LOGI("ERROR: Failed to get TavSurveyUi pointer");
        return;
    }
    survey->m_itemFocused = true;
    survey->m_currentQuestion = NO_QUESTION;
    survey->m_lastReadQuestion = NO_QUESTION;
}

void TavSurveyUi::unfocusedItemCb(void* data, Evas_Object*, void*) {
    LOGI("UnFocused Box");
    auto* survey = static_cast<TavSurveyUi*>(data);
    if (!survey) {
        LOGI("ERROR: Failed to get TavSurveyUi pointer");
        return;
    }
    survey->m_boxUnfocused = true;
}

// Each answer's focus callback logs under its own name, so the log tells which question it was.
void TavSurveyUi::focusedQuestionItem(void* data, Evas_Object* obj, int question) {
    auto* survey = static_cast<TavSurveyUi*>(data);
    // Up from either button, and the way back from Submit (Left; Right when mirrored), lead to
    // the answer the viewer left, not to whatever answer lies nearest on screen. The toolkit
    // links both ways, so the answer's own Down link is put back afterwards.
    Evas_Object* down = elm_object_focus_next_object_get(obj, ELM_FOCUS_DOWN);
    for (Evas_Object* button : {m_Button[1], m_Button[0]})
        if (button)
            elm_object_focus_next_object_set(button, obj, ELM_FOCUS_UP);
    if (m_Button[0])
        elm_object_focus_next_object_set(m_Button[0], obj, elm_config_mirrored_get() ? ELM_FOCUS_RIGHT : ELM_FOCUS_LEFT);
    if (down)
        elm_object_focus_next_object_set(obj, down, ELM_FOCUS_DOWN);
    survey->m_itemFocused = true;
    survey->m_currentQuestion = question - 1;
    questionRead(survey, obj);
}

#define TAV_FOCUSED_QUESTION_CB(name, question)                          \
    void TavSurveyUi::name(void* data, Evas_Object* obj, void*) {        \
        LOGI("Focused object");                                          \
        if (!data) {                                                     \
            SLOGW("No data");                                            \
            return;                                                      \
        }                                                                \
        focusedQuestionItem(data, obj, question);                        \
    }
TAV_FOCUSED_QUESTION_CB(focusedItemFirstQuestionCb, 1)
TAV_FOCUSED_QUESTION_CB(focusedItemSecondQuestionCb, 2)
TAV_FOCUSED_QUESTION_CB(focusedItemThirdQuestionCb, 3)
TAV_FOCUSED_QUESTION_CB(focusedItemFourthQuestionCb, 4)
TAV_FOCUSED_QUESTION_CB(focusedItemFifthQuestionCb, 5)
#undef TAV_FOCUSED_QUESTION_CB

void TavSurveyUi::questionRead(TavSurveyUi* survey, Evas_Object* obj) {
    if (!survey) {
        LOGI("ERROR: Failed to get TavSurveyUi pointer");
        return;
    }
    // The question is read with the first answer focused in it, not again within it.
    if (survey->m_currentQuestion != survey->m_lastReadQuestion &&
        survey->m_currentQuestion >= 0 && survey->m_currentQuestion < (int)survey->m_questionGroups.size()) {
        survey->m_lastReadQuestion = survey->m_currentQuestion;
        elm_access_info_set(obj, ACCESS_NAME, survey->m_questionGroups[survey->m_currentQuestion].second.c_str());
    } else {
        elm_access_info_set(obj, ACCESS_NAME, "");
    }
}

char* TavSurveyUi::accessCallback(void* data, Evas_Object* obj) {
    auto* survey = static_cast<TavSurveyUi*>(data);
    if (!survey) {
        SLOGW("No input data");
        return nullptr;
    }
    const char* shown = elm_object_text_get(obj);
    // (An empty message id would fetch the catalog's header.)
    const char* label = shown && *shown ? dgettext(TEXT_DOMAIN, shown) : "";

    Eina_Strbuf* buffer = eina_strbuf_new();
    if (survey->m_buttonLabelRead) {
        eina_strbuf_append(buffer, label);
    } else {
        LOGD("Label wasn't read yet");
        survey->m_buttonLabelRead = true;
        eina_strbuf_append_printf(buffer, "%s, %s", survey->m_readOutPrefix.c_str(), label);
    }
    char* result = eina_strbuf_string_steal(buffer);
    eina_strbuf_free(buffer);
    LOGD("%s", result);
    return result;
}

} // namespace survey

// The result document: every question with its selected value and the question and answer
// texts as the viewer saw them.
namespace survey {

namespace {

const char* translated(const std::string& id) { return id.empty() ? "" : dgettext(TEXT_DOMAIN, id.c_str()); }

} // namespace

int TavSurveyUi::exportSurveyData() {
    LOGI("Exporting survey results to file: %s", SURVEY_RESULT_FILE.c_str());
    if (m_selections.empty()) {
        SLOGW("Input data size error");
        return -1;
    }
    FILE* file = fopen(SURVEY_RESULT_FILE.c_str(), "w");
    if (!file) {
        SLOGW("File opening error");
        return -1;
    }

    fputs("<result>", file);
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < m_selections.size(); ++i) {
        // The scan resumes at the previous item's chosen answer.
        while (cursor < m_contentList.size() && m_contentList[cursor].first != "question")
            ++cursor;
        if (cursor >= m_contentList.size())
            continue;
        const std::string& question = m_contentList[cursor].second;
        const int selected = m_selections[i] ? *m_selections[i] : 0;
        // A radio group only stores positions of its own answers; anything else has no answer.
        if (selected < 0 || cursor + (std::size_t)selected >= m_contentList.size()) {
            SLOGW("Selection %d of question %zu is out of range", selected, i + 1);
            continue;
        }
        cursor += (std::size_t)selected;
        const std::string& answer = m_contentList[cursor].second;
        fprintf(file, "<item index=\"%zu\" selected=\"%d\">\n", i + 1, selected);
        fprintf(file, "<question><![CDATA[%s]]></question>\n", translated(question));
        fprintf(file, "<answer><![CDATA[%s]]></answer>\n", translated(answer));
        fputs("</item>\n", file);
    }
    fputs("</result>\n", file);
    fclose(file);
    return 0;
}

} // namespace survey

// The upload of the result document: envelope with the television's identity, gzip, CRC-32,
// multipart POST to the launch URL, reply check, removal of both files.
namespace survey {

namespace seams {
int uploadTimeout = UPLOAD_TIMEOUT_SECONDS;

void applyEnvironment() {
    if (const char* v = std::getenv("TAVSURVEY_POPUP_TIMEOUT"); v && std::atof(v) > 0)
        popupTimeout = std::atof(v);
    if (const char* v = std::getenv("TAVSURVEY_UPLOAD_TIMEOUT"); v && std::atoi(v) > 0)
        uploadTimeout = std::atoi(v);
}
} // namespace seams

namespace {

void removeSurveyFile(const std::string& path) {
    if (std::remove(path.c_str()) != 0)
        LOGW("Can't remove survey file %s", path.c_str());
}

} // namespace

void TavSurveyUi::sendSurveyResult() {
    deviceinfo::DevicePropertiesGeneral device;

    std::string result;
    {
        // Read-write without truncation: the document must exist, and is left untouched.
        std::fstream file(SURVEY_RESULT_FILE, std::ios::in | std::ios::out | std::ios::binary);
        if (!file.is_open()) {
            SLOGW("File opening error");
            return;
        }
        result.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::string envelope;
    envelope += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    envelope += "<survey>\n";
    envelope += "<deviceinfo>\n";
    envelope += "<DUID>" + device.getDUID("") + "</DUID>\n";
    envelope += "<LocalSet>" + device.getLocalSet(deviceinfo::MENU_VALUE_CURRENT, "") + "</LocalSet>\n";
    envelope += "<Country>" + device.getCountryCode("") + "</Country>\n";
    envelope += "<Model_Name>" + device.getModelName("") + "</Model_Name>\n";
    envelope += "<Firmware_Version>" + device.getFirmCode("") + "</Firmware_Version>\n";
    envelope += "</deviceinfo>\n";
    envelope += result;
    envelope += "</survey>\n";

    const std::string uploadFile = deviceinfo::Utilities::getFileName(deviceinfo::FILE_SURVEY);
    try {
        GzipCompressor::compress(std::vector<char>(envelope.begin(), envelope.end()), uploadFile);
    } catch (eGzipError) {
        // Nothing can be sent without the file. The survey still closes, and no file is left
        // behind: a half-written upload file or a result document would only be stale later.
        SLOGW("Upload file cannot be written: %s", uploadFile.c_str());
        std::remove(uploadFile.c_str());
        removeSurveyFile(SURVEY_RESULT_FILE);
        return;
    }

    char crc[16];
    std::snprintf(crc, sizeof crc, "%u", static_cast<unsigned>(Utils::crc32File(uploadFile)));
    const std::vector<openapi::HTTPHeader> headers = {
        {"pincode", m_pinCode},
        {"duid", device.getDUID("")},
        {"crc32", crc},
        {"category", "TAVAS"},
        {"sessionid", m_sessionId},
        {"source", "survey"},
        {"Date", device.getDateOfPurchase("")},
        {"Year", device.getProductYear("")},
    };

    std::string response;
    if (!openapi::isHttpsUrl(m_url)) {
        // The upload carries the PIN code and the device id: never in clear. Handled like a
        // failed request, so both files still go.
        SLOGW("Upload refused: the URL is not https");
    } else {
        try {
            openapi::OpenApiConnection connection;
            connection.PostFile(m_url, headers, uploadFile, &response, seams::uploadTimeout);
        } catch (openapi::OpenApiErrorCode code) {
            SLOGW("Open api connection error: %d", static_cast<int>(code));
        }
    }

    XmlParser reply(response);
    const std::string stat = reply.getProperty("/rsp", "stat");
    const std::string crcValue = reply.getProperty("/rsp/crc", "value");
    if (stat != "ok")
        SLOGW("Response answer: %s, file crc: %s", stat.c_str(), crcValue.c_str());

    removeSurveyFile(uploadFile);
    removeSurveyFile(SURVEY_RESULT_FILE);
}

} // namespace survey
