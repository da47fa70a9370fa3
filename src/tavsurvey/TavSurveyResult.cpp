// The result document: every question with its selected value and the question and answer
// texts as the viewer saw them.
#include "TavSurveyUi.h"

#include "TavConstants.h"
#include "TavLog.h"

#include <libintl.h>

#include <cstdio>

namespace survey {

namespace {

const char* const TEXT_DOMAIN = "tavrin";

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
