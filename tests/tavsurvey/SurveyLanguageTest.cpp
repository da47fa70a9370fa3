// The survey in every menu language: complete catalogs, English where a language has none (on
// screen and in the result document), Arabic mirrored and right to left, Han and Hangul in the
// weight of the Latin text beside them, and a pseudo-language 40% longer than English that
// must fit everywhere, high contrast and enlarge included. Screenshots go to <build>/screenshots.
#include "SurveyTestSupport.h"
#include "TavConstants.h"
#include "TestSupport.h"

#include <dirent.h>
#include <libintl.h>

#include <cstring>
#include <fstream>

extern "C" int _nl_msg_cat_cntr;

namespace {

Evas_Object* popupOf(Evas_Object* child) {
    while (child && strcmp(elm_object_widget_type_get(child), "Elm_Popup"))
        child = elm_object_parent_widget_get(child);
    return child;
}

// The theme object (edje) among `root` and its members that has the part.
Evas_Object* edjeWithPart(Evas_Object* root, const char* part) {
    const std::string type = evas_object_type_get(root);
    if (type == "edje" && edje_object_part_exists(root, part))
        return root;
    for (const char* primitive : {"rectangle", "image", "text", "textblock", "line", "polygon"})
        if (type == primitive)
            return nullptr;
    Evas_Object* found = nullptr;
    Eina_List* members = evas_object_smart_members_get(root);
    for (Eina_List* l = members; l && !found; l = eina_list_next(l))
        found = edjeWithPart(static_cast<Evas_Object*>(eina_list_data_get(l)), part);
    eina_list_free(members);
    return found;
}

Evas_Object* textPart(Evas_Object* widget, const char* part = "elm.text") {
    Evas_Object* edje = edjeWithPart(widget, part);
    return edje ? const_cast<Evas_Object*>(edje_object_part_object_get(edje, part)) : nullptr;
}

// The width a one-line text object needs for its whole text, ellipsis or not.
Evas_Coord naturalWidth(Evas_Object* text) {
    const char* font = nullptr;
    Evas_Font_Size size = 0;
    evas_object_text_font_get(text, &font, &size);
    Evas_Object* probe = evas_object_text_add(evas_object_evas_get(text));
    evas_object_text_font_set(probe, font, size);
    evas_object_text_text_set(probe, evas_object_text_text_get(text));
    Evas_Coord w = 0;
    evas_object_geometry_get(probe, nullptr, nullptr, &w, nullptr);
    evas_object_del(probe);
    return w;
}

struct Box {
    Evas_Coord x = 0, y = 0, w = 0, h = 0;
};
Box geometry(const Evas_Object* obj) {
    Box b;
    evas_object_geometry_get(obj, &b.x, &b.y, &b.w, &b.h);
    return b;
}

std::vector<std::string> catalogIds() {
    std::vector<std::string> ids;
    std::ifstream po(std::string(TAV_TEST_PO_DIR) + "/en.po");
    const std::string prefix = "msgid \"";
    for (std::string line; std::getline(po, line);)
        if (line.compare(0, prefix.size(), prefix) == 0 && line.size() > prefix.size() + 1)   // not the header's ""
            ids.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
    return ids;
}

} // namespace

class SurveyLanguageTest : public SurveyTest {
protected:
    TestSurvey& showIn(const char* language) {
        vconf_set_str(LANGUAGE, language);
        EXPECT_TRUE(setLanguage());
        return show();
    }
    Evas_Object* popup() { return popupOf(m_survey->m_box); }
    // The panel: the popup's own area, inside its full-screen backdrop.
    Box panel() {
        Evas_Object* edje = edjeWithPart(popup(), "base");
        Box b;
        edje_object_part_geometry_get(edje, "base", &b.x, &b.y, &b.w, &b.h);
        const Box e = geometry(edje);
        b.x += e.x;
        b.y += e.y;
        return b;
    }
    std::string title() { return elm_object_part_text_get(popup(), "title,text"); }

    // Every text of the popup is whole inside its own object: wrapped texts within their
    // labels, one-line texts within their part without an ellipsis; only the title may end in
    // one. Every widget stays inside the panel.
    void expectEveryTextFits(const std::string& what) {
        SCOPED_TRACE(what);
        const Box panel = this->panel();
        const auto inPanel = [&](Evas_Object* obj, const std::string& name) {
            const Box b = geometry(obj);
            EXPECT_TRUE(b.x >= panel.x && b.x + b.w <= panel.x + panel.w)
                << name << " x " << b.x << "+" << b.w << " outside the panel " << panel.x << "+" << panel.w;
        };
        std::vector<Evas_Object*> labels = boxItems("Elm_Label");
        if (m_survey->timeoutWarning())
            labels.push_back(m_survey->timeoutWarning());
        for (Evas_Object* label : labels) {
            Evas_Object* tb = textPart(label);
            ASSERT_NE(nullptr, tb);
            Evas_Coord fw = 0, fh = 0;
            evas_object_textblock_size_formatted_get(tb, &fw, &fh);
            const Box b = geometry(tb);
            const std::string text = elm_object_text_get(label);
            EXPECT_LE(fw, b.w) << text;
            EXPECT_LE(fh, b.h) << text;
            inPanel(label, text);
        }
        std::vector<Evas_Object*> oneLine = boxItems("Elm_Radio");
        oneLine.push_back(survey::m_Button[0]);
        oneLine.push_back(survey::m_Button[1]);
        for (Evas_Object* widget : oneLine) {
            Evas_Object* text = textPart(widget);
            ASSERT_NE(nullptr, text);
            Evas_Coord partW = 0;
            edje_object_part_geometry_get(elm_layout_edje_get(widget), "elm.text", nullptr, nullptr, &partW, nullptr);
            const std::string shown = elm_object_text_get(widget);
            EXPECT_LE(naturalWidth(text), partW) << shown;
            inPanel(widget, shown);
        }
        Evas_Object* titleText = textPart(popup(), "elm.text.title");
        ASSERT_NE(nullptr, titleText);
        Evas_Coord fw = 0, fh = 0;
        evas_object_textblock_size_formatted_get(titleText, &fw, &fh);
        const Box t = geometry(titleText);
        const bool ellipsis = std::string(evas_textblock_style_get(evas_object_textblock_style_get(titleText)))
                                  .find("ellipsis=") != std::string::npos;
        EXPECT_TRUE(ellipsis || (fw <= t.w && fh <= t.h)) << title() << ": " << fw << "x" << fh << " in " << t.w << "x" << t.h;
        inPanel(titleText, "title");
    }
};

TEST_F(SurveyLanguageTest, EveryCatalogTranslatesEveryText) {
    const auto ids = catalogIds();
    ASSERT_GE(ids.size(), 29u);
    DIR* dir = opendir(TAV_TEST_PO_DIR);
    ASSERT_NE(nullptr, dir);
    std::vector<std::string> languages{"qps"};
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".po") == 0)
            languages.push_back(name.substr(0, name.size() - 3));
    }
    closedir(dir);
    EXPECT_GE(languages.size(), 15u);
    vconf_set_str(LANGUAGE, "C.UTF-8");
    ASSERT_TRUE(setLanguage());
    // One language at a time, without the English fallback: a missing text shows as its id.
    for (const auto& language : languages) {
        setenv("LANGUAGE", language.c_str(), 1);
        ++_nl_msg_cat_cntr;
        for (const auto& id : ids)
            EXPECT_STRNE(id.c_str(), dgettext("tavrin", id.c_str())) << language << " " << id;
    }
}

TEST_F(SurveyLanguageTest, WithoutACatalogTheSurveyIsEnglishOnScreenAndInTheResult) {
    // Finnish has no catalog (and, usually, no locale on this machine): English throughout.
    auto& s = showIn("fi_FI.utf8");
    EXPECT_EQ("Remote Support Satisfaction Survey", title());
    EXPECT_STREQ("Submit", elm_object_text_get(survey::m_Button[0]));
    EXPECT_STREQ("Cancel", elm_object_text_get(survey::m_Button[1]));
    for (const char* type : {"Elm_Label", "Elm_Radio"})
        for (Evas_Object* item : boxItems(type))
            EXPECT_EQ(nullptr, strstr(elm_object_text_get(item), "SID_")) << elm_object_text_get(item);
    EXPECT_STREQ("Very satisfied", elm_object_text_get(boxItems("Elm_Radio")[2]));
    tavplat::makeDirs(SURVEY_DIR);
    ASSERT_EQ(0, s.exportSurveyData());
    const std::string result = tavtest::readFile(SURVEY_RESULT_FILE);
    std::remove(SURVEY_RESULT_FILE.c_str());
    EXPECT_NE(std::string::npos, result.find("<question><![CDATA[1. Was your problem solved by the remote support service?]]>"))
        << result;
    EXPECT_NE(std::string::npos, result.find("<answer><![CDATA[Yes]]></answer>")) << result;
    EXPECT_EQ(std::string::npos, result.find("SID_")) << result;

    // A regional variant without a catalog of its own takes its language's.
    showIn("de_AT.utf8");
    EXPECT_EQ("Umfrage zum Remote-Support", title());
    showIn("it_IT.utf8");
    EXPECT_EQ("Sondaggio di soddisfazione sull'assistenza remota", title());
    EXPECT_STREQ("Annulla", elm_object_text_get(survey::m_Button[1]));
}

TEST_F(SurveyLanguageTest, TextsFollowTheMenuLanguage) {
    elm_config_scale_set(2.0);
    show();
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_en.png"));
    auto& s = showIn("de_DE.utf8");
    EXPECT_STREQ("Absenden", elm_object_text_get(survey::m_Button[0]));
    EXPECT_STREQ("Nein", elm_object_text_get(boxItems("Elm_Radio")[1]));
    EXPECT_EQ("Umfrage zum Remote-Support", title());
    EXPECT_EQ("3. Wie wahrscheinlich ist es, dass Sie uns weiterempfehlen?<br>(0 = sehr unwahrscheinlich, 9 = sehr wahrscheinlich)",
              s.m_contentList[13].second);
    EXPECT_TRUE(uitest::snap(s.window(), "survey_de.png"));
    vconf_unset(LANGUAGE);
    EXPECT_FALSE(setLanguage());
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "Cannot set multilanguage mode"));
}

TEST_F(SurveyLanguageTest, ArabicIsMirroredAndRightToLeft) {
    elm_config_scale_set(2.0);
    showIn("ar_AE.utf8");
    EXPECT_EQ("استبيان الرضا عن الدعم عن بُعد", title());
    EXPECT_TRUE(elm_config_mirrored_get());
    EXPECT_TRUE(elm_object_mirrored_get(popup()));
    // The panel at the screen's left edge, each radio's circle right of its text, the texts
    // set from the right.
    const Box panel = this->panel();
    EXPECT_EQ(0, panel.x);
    EXPECT_LT(panel.w, 1920 / 2);
    for (Evas_Object* radio : boxItems("Elm_Radio")) {
        Evas_Coord ringX = 0;
        edje_object_part_geometry_get(elm_layout_edje_get(radio), "ring", &ringX, nullptr, nullptr, nullptr);
        const Box text = geometry(textPart(radio));
        ringX += geometry(radio).x;
        EXPECT_LE(text.x + text.w, ringX) << elm_object_text_get(radio);
        EXPECT_GE(text.x + text.w, ringX - 40) << elm_object_text_get(radio) << ": not next to its circle";
    }
    for (Evas_Object* label : boxItems("Elm_Label")) {
        Evas_Object* tb = textPart(label);
        Evas_Coord x = 0, w = 0;
        ASSERT_TRUE(evas_object_textblock_line_number_geometry_get(tb, 0, &x, nullptr, &w, nullptr));
        EXPECT_NEAR(geometry(tb).w, x + w, 2) << elm_object_text_get(label);
        EXPECT_GT(x, 0) << elm_object_text_get(label);
    }
    expectEveryTextFits("ar");
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_ar.png"));

    showIn("en_US.utf8");
    EXPECT_FALSE(elm_config_mirrored_get());
}

TEST_F(SurveyLanguageTest, HanAndHangulUseTheBoldFaceOfTheirScript) {
    elm_config_scale_set(2.0);
    const std::pair<const char*, std::string> languages[] = {
        {"ja_JP.utf8", "Noto Sans CJK JP"}, {"zh_CN.utf8", "Noto Sans CJK SC"}, {"ko_KR.utf8", "Noto Sans CJK KR"}, {"en_US.utf8", "Sans"}};
    for (const auto& [language, family] : languages) {
        SCOPED_TRACE(language);
        showIn(language);
        const auto radios = boxItems("Elm_Radio");
        const char* font = nullptr;
        evas_object_text_font_get(textPart(radios[0]), &font, nullptr);   // focused: bold
        EXPECT_STREQ((family + ":style=Bold").c_str(), font);
        evas_object_text_font_get(textPart(radios[1]), &font, nullptr);
        EXPECT_STREQ(family.c_str(), font);
        evas_object_text_font_get(textPart(survey::m_Button[0]), &font, nullptr);
        EXPECT_STREQ((family + ":style=Bold").c_str(), font);
        // Wrapped texts: the name escaped, so that its spaces do not end it.
        std::string escaped;
        for (char c : family)
            escaped += c == ' ' ? std::string("\\ ") : std::string(1, c);
        for (Evas_Object* tb : {textPart(boxItems("Elm_Label")[1]), textPart(popup(), "elm.text.title")}) {
            const std::string style = evas_textblock_style_get(evas_object_textblock_style_get(tb));
            EXPECT_NE(std::string::npos, style.find("font=" + escaped + ":style=Bold")) << style;
        }
        if (!strcmp(language, "ja_JP.utf8")) {
            EXPECT_STREQ("送信", elm_object_text_get(survey::m_Button[0]));
            expectEveryTextFits(language);
            EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_ja.png"));
        }
        if (!strcmp(language, "ko_KR.utf8")) {
            EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_ko.png"));
        }
    }
}

TEST_F(SurveyLanguageTest, ThePseudoLanguageFitsEverywhere) {
    elm_config_scale_set(2.0);   // the television's toolkit scale
    // The idle time-out warning line shown at once, so that it is measured too.
    vconf_set_int(survey::TIMEOUT_WARNING_KEY, 1);
    survey::seams::warningLead = survey::seams::popupTimeout - 0.1;
    showIn("qps_PS.utf8");
    ASSERT_EQ('[', title()[0]) << "the pseudo-language catalog is not in use";
    ASSERT_NE(nullptr, m_survey->timeoutWarning());
    EXPECT_EQ('[', elm_object_text_get(m_survey->timeoutWarning())[0]);
    expectEveryTextFits("normal");
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_pseudo.png"));
    vconf_set_int(HIGH_CONTRAST, 1);
    show();
    expectEveryTextFits("high contrast");
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_pseudo_high_contrast.png"));
    vconf_set_int(HIGH_CONTRAST, 0);
    vconf_set_int(ENLARGE, 1);
    show();
    expectEveryTextFits("enlarged");
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_pseudo_enlarged.png"));
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore);
}
