// Behaviour of the shown survey: focus moves, screen-reader read-out, UI sounds, remote-control
// keys, Submit and Cancel.
#include "TavSurveyUi.h"

#include "Sound.h"
#include "TavLog.h"

#include <libintl.h>

namespace survey {

namespace {

const char* const TEXT_DOMAIN = "tavrin";
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
    if (survey->m_window)
        elm_popup_timeout_set(obj, seams::popupTimeout);

    if (keyName == "XF86PowerOff") {
        LOGI("Power key pressed");
        survey->hideSurveyPopup();
    }
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
