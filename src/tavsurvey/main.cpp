// tavsurvey: the after-support satisfaction survey. Started by the remote-support service with
// the launch extras "url", "pincode" and "sessionid" (on a desktop: tavsurvey --url URL
// --pincode PIN --sessionid ID). Lifecycle under the platform's UI loop: toolkit extensions and
// language at create, one survey per launch request, clean-up at terminate.
#include "TavSurveyApp.h"

#include "TavLog.h"
#include "TavSurveyUi.h"

#include <Elementary.h>
#include <efl_assist.h>
#include <vconf.h>
#include <voice_control_elm.h>

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <exception>

// gettext's counter of catalog changes: raising it drops the translations it has cached, which
// were looked up along the previous language's search list.
extern "C" int _nl_msg_cat_cntr;

survey::TavSurveyUi* uiPtr = nullptr;

namespace survey {
const std::string LOCALE_DIR = "/usr/apps/org.tizen.tavrin/shared/locale";
namespace seams {
std::string localeDir;
} // namespace seams
} // namespace survey

namespace {

const char* const LANGUAGE_KEY = "db/menu_widget/language";
const char* const TEXT_DOMAIN = "tavrin";
// All sizes of the survey are designed for this toolkit scale.
const double BASE_SCALE = 2.0;

// Reads one extra of the launch request into `value`; false when it is missing or unreadable.
bool readExtra(app_control_h request, const char* key, std::string& value) {
    char* data = nullptr;
    if (app_control_get_extra_data(request, key, &data) == APP_CONTROL_ERROR_NONE && data) {
        value = data;
        free(data);
        return true;
    }
    free(data);
    return false;
}

// A menu language such as "pt_BR.utf8" as its locale ("pt_BR") and language ("pt").
struct LanguageName {
    std::string locale;
    std::string base;
    explicit LanguageName(const std::string& language)
        : locale(language.substr(0, language.find_first_of(".@"))), base(locale.substr(0, locale.find('_'))) {}
};

// gettext's search list: "pt_BR:pt:en". English comes last, so that a language without a
// catalog of ours shows (and reports) English texts rather than message ids.
std::string catalogSearchList(const LanguageName& name) {
    std::string list = name.locale;
    if (name.base != name.locale)
        list += ":" + name.base;
    if (name.base != "en")
        list += ":en";
    return list;
}

// Han and Hangul have no bold face in the toolkit's default fonts: they would be drawn thin
// beside bold Latin text. The languages that use them get the font made for them, whose Latin
// letters then share its weights; every other language keeps the theme's fonts.
void setScriptFonts(const LanguageName& name) {
    const char* family = nullptr;
    if (name.base == "ja")
        family = "Noto Sans CJK JP";
    else if (name.base == "ko")
        family = "Noto Sans CJK KR";
    else if (name.locale == "zh_TW" || name.locale == "zh_HK")
        family = "Noto Sans CJK TC";
    else if (name.base == "zh")
        family = "Noto Sans CJK SC";
    if (!family) {
        for (const char* textClass : {"tav_text", "tav_text_bold", "tav_textblock_bold"})
            edje_text_class_del(textClass);
        return;
    }
    const std::string bold = std::string(family) + ":style=Bold";
    edje_text_class_set("tav_text", family, 0);
    edje_text_class_set("tav_text_bold", bold.c_str(), 0);
    // In a wrapped text's format a space ends the font name unless escaped.
    std::string escaped;
    for (char c : bold)
        escaped += c == ' ' ? std::string("\\ ") : std::string(1, c);
    edje_text_class_set("tav_textblock_bold", escaped.c_str(), 0);
}

} // namespace

bool app_create(void*) {
    LOGI("Survey popup Create");
    ea_init(0, 0);
    vc_elm_initialize();
    vc_elm_set_auto_register_mode(1, 1);
    elm_app_base_scale_set(BASE_SCALE);
    return setLanguage();
}

bool setLanguage() {
    char* language = vconf_get_str(LANGUAGE_KEY);
    if (!language) {
        SLOGW("Cannot set multilanguage mode");
        return false;
    }
    const LanguageName name(language);
    setenv("LANGUAGE", catalogSearchList(name).c_str(), 1);
    elm_language_set(language);
    // "C" ignores LANGUAGE: where the system lacks the language's locale, its catalog (or the
    // English one) is still used.
    const char* messages = setlocale(LC_MESSAGES, nullptr);
    if (!messages || !std::strcmp(messages, "C") || !std::strcmp(messages, "POSIX"))
        setlocale(LC_MESSAGES, "C.UTF-8");
    ++_nl_msg_cat_cntr;
    setScriptFonts(name);
    LOGI("Set language: %s", language);
    free(language);
    const std::string& dir = survey::seams::localeDir.empty() ? survey::LOCALE_DIR : survey::seams::localeDir;
    bindtextdomain(TEXT_DOMAIN, dir.c_str());
    bind_textdomain_codeset(TEXT_DOMAIN, "UTF-8");
    return true;
}

void app_control(app_control_h request, void*) {
    LOGI("Survey popup Control");
    std::string pinCode;
    std::string sessionId;
    std::string url;
    // A missing extra ends the application once the request has been handled; the survey is
    // still built.
    const std::pair<const char*, std::string*> extras[] = {{"pincode", &pinCode}, {"sessionid", &sessionId}, {"url", &url}};
    for (const auto& [key, value] : extras) {
        if (!readExtra(request, key, *value)) {
            LOGW("get %s data failed.", key);
            elm_exit();
        }
    }

    uiPtr = new survey::TavSurveyUi(pinCode, sessionId, url);
    uiPtr->prepareWindow();
    uiPtr->showSurveyPopup();
}

void app_terminate(void*) {
    LOGI("Survey popup terminate");
    ea_shutdown();
    vc_elm_deinitialize();
    if (uiPtr) {
        delete uiPtr;
        uiPtr = nullptr;
    }
    ui_app_exit();
}

// The test programs link the lifecycle callbacks above and bring their own main().
#ifndef TAVSURVEY_NO_MAIN
int main(int argc, char** argv) {
    try {
        LOGD("Starting tav survey app");
        survey::seams::applyEnvironment();
        ui_app_lifecycle_callback_s callbacks{};
        callbacks.create = app_create;
        callbacks.terminate = app_terminate;
        callbacks.pause = nullptr;
        callbacks.resume = nullptr;
        callbacks.app_control = app_control;
        const int result = ui_app_main(argc, argv, &callbacks, nullptr);
        if (result != 0)
            SLOGW("app_main() is failed. err = %d", result);
        return result;
    } catch (const std::exception& e) {
        LOGE("EXCEPTION: %s", e.what());
        return 0;
    }
}
#endif
