// The survey in every menu language: complete catalogs, English where a language has none (on
// screen and in the result document), Arabic mirrored and right to left, Han and Hangul in the
// weight of the Latin text beside them, and a pseudo-language 40% longer than English that
// must fit everywhere, high contrast and enlarge included. Screenshots go to <build>/screenshots.
#include "SurveyTestSupport.h"
#include "TavConstants.h"
#include "TestSupport.h"

#include <libintl.h>

#include <cstring>
#include <filesystem>
#include <fstream>

extern "C" int _nl_msg_cat_cntr;

namespace {

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

} // namespace

class SurveyLanguageTest : public SurveyTest {
protected:
    void SetUp() override {
        SurveyTest::SetUp();
        elm_config_scale_set(2.0);   // the television's toolkit scale
    }
    TestSurvey& showIn(const char* language) {
        vconf_set_str(LANGUAGE, language);
        EXPECT_TRUE(setLanguage());
        return show();
    }
    // The panel: the popup's own area, inside its full-screen backdrop.
    Box panel() {
        Evas_Object* edje = edjeWithPart(popup(), "base");
        Box b;
        edje_object_part_geometry_get(edje, "base", &b.x, &b.y, &b.w, &b.h);
        b.x += geometry(edje).x;
        return b;
    }
    std::string title() { return elm_object_part_text_get(popup(), "title,text"); }

    // Every text of the popup is whole inside its own object: wrapped texts within their
    // labels, one-line texts within their part without an ellipsis; only the title may end in
    // one. Every widget stays inside the panel. Then a screenshot, survey_<name>.png.
    void expectEveryTextFits(const std::string& name) {
        SCOPED_TRACE(name);
        const Box panel = this->panel();
        const auto inPanel = [&](Evas_Object* obj, const std::string& text) {
            const Box b = geometry(obj);
            EXPECT_TRUE(b.x >= panel.x && b.x + b.w <= panel.x + panel.w)
                << text << " x " << b.x << "+" << b.w << " outside the panel " << panel.x << "+" << panel.w;
        };
        const auto wrappedFits = [&](Evas_Object* tb, const std::string& text, bool ellipsisAllowed) {
            ASSERT_NE(nullptr, tb) << text;
            Evas_Coord fw = 0, fh = 0;
            evas_object_textblock_size_formatted_get(tb, &fw, &fh);
            const Box b = geometry(tb);
            const bool ellipsis = ellipsisAllowed && std::string(evas_textblock_style_get(evas_object_textblock_style_get(tb)))
                                                             .find("ellipsis=") != std::string::npos;
            EXPECT_TRUE(ellipsis || (fw <= b.w && fh <= b.h)) << text << ": " << fw << "x" << fh << " in " << b.w << "x" << b.h;
            inPanel(tb, text);
        };
        std::vector<Evas_Object*> labels = boxItems("Elm_Label");
        if (m_survey->timeoutWarning())
            labels.push_back(m_survey->timeoutWarning());
        for (Evas_Object* label : labels)
            wrappedFits(textPart(label), elm_object_text_get(label), false);
        wrappedFits(textPart(popup(), "elm.text.title"), title(), true);
        std::vector<Evas_Object*> oneLine = boxItems("Elm_Radio");
        oneLine.insert(oneLine.end(), {survey::m_Button[0], survey::m_Button[1]});
        for (Evas_Object* widget : oneLine) {
            Evas_Object* text = textPart(widget);
            ASSERT_NE(nullptr, text);
            Evas_Coord partW = 0;
            edje_object_part_geometry_get(elm_layout_edje_get(widget), "elm.text", nullptr, nullptr, &partW, nullptr);
            EXPECT_LE(naturalWidth(text), partW) << elm_object_text_get(widget);
            inPanel(widget, elm_object_text_get(widget));
        }
        EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_" + name + ".png"));
    }
};

TEST_F(SurveyLanguageTest, EveryCatalogTranslatesEveryText) {
    std::vector<std::string> ids;   // every message id of the English catalog
    std::ifstream po(std::string(TAV_TEST_PO_DIR) + "/en.po");
    for (std::string line; std::getline(po, line);)
        if (line.rfind("msgid \"", 0) == 0 && line != "msgid \"\"")   // not the header's
            ids.push_back(line.substr(7, line.size() - 8));
    ASSERT_FALSE(ids.empty());
    std::vector<std::string> languages{"qps"};
    for (const auto& entry : std::filesystem::directory_iterator(TAV_TEST_PO_DIR))
        if (entry.path().extension() == ".po")
            languages.push_back(entry.path().stem());
    ASSERT_GT(languages.size(), 2u);
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

TEST_F(SurveyLanguageTest, TextsFollowTheMenuLanguageWithEnglishWhereItHasNoCatalog) {
    show();
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_en.png"));
    focusAfter({"Down", "Down"});
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_normal.png"));
    focusAfter({"Right"});
    EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_submit_focused.png"));
    // A regional variant without a catalog of its own takes its language's, question 3 composed in it.
    auto& s = showIn("de_AT.utf8");
    EXPECT_EQ("Umfrage zum Remote-Support", title());
    EXPECT_STREQ("Absenden", elm_object_text_get(survey::m_Button[0]));
    EXPECT_EQ("3. Wie wahrscheinlich ist es, dass Sie uns weiterempfehlen?<br>(0 = sehr unwahrscheinlich, 9 = sehr wahrscheinlich)",
              s.m_contentList[13].second);
    EXPECT_TRUE(uitest::snap(s.window(), "survey_de.png"));

    // Finnish has no catalog (and, usually, no locale on this machine): English throughout.
    showIn("fi_FI.utf8");
    EXPECT_EQ("Remote Support Satisfaction Survey", title());
    EXPECT_STREQ("Cancel", elm_object_text_get(survey::m_Button[1]));
    for (const char* type : {"Elm_Label", "Elm_Radio"})
        for (Evas_Object* item : boxItems(type))
            EXPECT_EQ(nullptr, strstr(elm_object_text_get(item), "SID_")) << elm_object_text_get(item);
    tavplat::makeDirs(SURVEY_DIR);
    ASSERT_EQ(0, m_survey->exportSurveyData());
    const std::string result = tavtest::readFile(SURVEY_RESULT_FILE);
    std::remove(SURVEY_RESULT_FILE.c_str());
    EXPECT_NE(std::string::npos, result.find("<question><![CDATA[1. Was your problem solved by the remote support service?]]>"
                                             "</question>\n<answer><![CDATA[Yes]]></answer>")) << result;
    EXPECT_EQ(std::string::npos, result.find("SID_")) << result;

    vconf_unset(LANGUAGE);
    EXPECT_FALSE(setLanguage());
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "Cannot set multilanguage mode"));
}

TEST_F(SurveyLanguageTest, ArabicIsMirroredAndRightToLeft) {
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

    showIn("en_US.utf8");
    EXPECT_FALSE(elm_config_mirrored_get());
}

TEST_F(SurveyLanguageTest, HanAndHangulUseTheBoldFaceOfTheirScript) {
    const std::pair<const char*, std::string> languages[] = {
        {"ja_JP.utf8", "Noto Sans CJK JP"}, {"zh_CN.utf8", "Noto Sans CJK SC"}, {"ko_KR.utf8", "Noto Sans CJK KR"},
        {"en_US.utf8", "Sans"}};
    for (const auto& [language, family] : languages) {
        SCOPED_TRACE(language);
        showIn(language);
        const auto radios = boxItems("Elm_Radio");
        const auto font = [](Evas_Object* text) {
            const char* name = nullptr;
            evas_object_text_font_get(text, &name, nullptr);
            return std::string(name ? name : "");
        };
        // The focused answer and the buttons bold.
        EXPECT_EQ((std::vector<std::string>{family + ":style=Bold", family, family + ":style=Bold"}),
                  (std::vector<std::string>{font(textPart(radios[0])), font(textPart(radios[1])), font(textPart(survey::m_Button[0]))}));
        // Wrapped texts: the name escaped, so that its spaces do not end it.
        std::string escaped;
        for (char c : family)
            escaped += c == ' ' ? std::string("\\ ") : std::string(1, c);
        for (Evas_Object* tb : {textPart(boxItems("Elm_Label")[1]), textPart(popup(), "elm.text.title")}) {
            const std::string style = evas_textblock_style_get(evas_object_textblock_style_get(tb));
            EXPECT_NE(std::string::npos, style.find("font=" + escaped + ":style=Bold")) << style;
        }
        if (!strcmp(language, "ja_JP.utf8"))
            expectEveryTextFits("ja");
        else if (!strcmp(language, "ko_KR.utf8")) {
            EXPECT_TRUE(uitest::snap(m_survey->window(), "survey_ko.png"));
        }
    }
}

TEST_F(SurveyLanguageTest, ThePseudoLanguageFitsEverywhereAndAccessibilityChangesTheLook) {
    // The idle time-out warning shown at once, so that it is measured too; it is on without the
    // screen reader, and said as shown.
    vconf_set_int(survey::TIMEOUT_WARNING_KEY, 1);
    survey::seams::warningLead = survey::seams::popupTimeout - 0.1;
    showIn("qps_PS.utf8");
    ASSERT_EQ('[', title()[0]) << "the pseudo-language catalog is not in use";
    ASSERT_NE(nullptr, m_survey->timeoutWarning());
    EXPECT_EQ('[', elm_object_text_get(m_survey->timeoutWarning())[0]);
    EXPECT_EQ(std::vector<std::string>{elm_object_text_get(m_survey->timeoutWarning())}, s_spoken);
    expectEveryTextFits("pseudo");
    // High contrast: its own text style, no colour pick; enlarge 2 enlarges the text, only 1 the window.
    const auto expectLook = [&](const char* style, double scale, const std::vector<std::string>& assist) {
        for (Evas_Object* text : boxItems("Elm_Label"))
            EXPECT_STREQ(style, elm_object_style_get(text));
        EXPECT_DOUBLE_EQ(scale, elm_object_scale_get(m_survey->window()));
        EXPECT_EQ(assist, tavplat::journalRead("efl_assist"));
        tavplat::journalClear("efl_assist");
    };
    expectLook("popup/TavSurveyPopupMedium", 1.0, {"ea_config_text_scale_set 0", "ea_apply_color_pick elm_popup"});
    vconf_set_int(HIGH_CONTRAST, 1);
    vconf_set_int(ENLARGE, 2);
    show();
    expectLook("popup/TavSurveyPopupMedium_Contrast", 1.0, {"ea_config_text_scale_set 1"});
    expectEveryTextFits("pseudo_high_contrast");
    vconf_set_int(HIGH_CONTRAST, 0);
    vconf_set_int(ENLARGE, 1);
    show();
    expectLook("popup/TavSurveyPopupMedium", 1.2, {"ea_config_text_scale_set 1", "ea_apply_color_pick elm_popup"});
    expectEveryTextFits("pseudo_enlarged");
    EXPECT_EQ(uitest::toolkitErrors(), m_errorsBefore);
}
