#include "collector/SurveyExport.h"

#include "collector/Json.h"

namespace collector {

namespace {

std::vector<std::string> values(const SurveyRow& r) {
    const SurveyFact& f = r.fact;
    std::vector<std::string> v = {std::to_string(f.id), f.receivedAt, r.sessionId, r.duid,    f.country,
                                  f.model,              f.firmware,   r.localSet,  f.language};
    for (int q = 1; q <= kQuestionCount; ++q)
        v.push_back(answerLabel(q, f.selected[static_cast<size_t>(q - 1)]));
    return v;
}

} // namespace

const std::vector<std::string>& exportColumns() {
    static const std::vector<std::string> kColumns = {
        "id",      "received_utc",    "session_id",        "duid",
        "country", "model",           "firmware",          "local_set",
        "menu_language",   "q1_problem_solved", "q2_overall_satisfaction",
        "q3_recommend_0_9", "q4_explanation_satisfaction", "q5_time_satisfaction"};
    return kColumns;
}

std::string csvField(const std::string& text) {
    std::string t = text;
    if (!t.empty() && (t[0] == '=' || t[0] == '+' || t[0] == '-' || t[0] == '@' || t[0] == '\t' || t[0] == '\r'))
        t.insert(t.begin(), '\'');
    if (t.find_first_of(",\"\r\n") == std::string::npos)
        return t;
    std::string out = "\"";
    for (char c : t) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string surveysCsv(const std::vector<SurveyRow>& rows) {
    std::string out = "\xEF\xBB\xBF";
    out.reserve(rows.size() * 160 + 256);
    const auto line = [&](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i)
                out += ',';
            out += csvField(fields[i]);
        }
        out += "\r\n";
    };
    line(exportColumns());
    for (const SurveyRow& r : rows)
        line(values(r));
    return out;
}

std::string surveysJson(const std::vector<SurveyRow>& rows) {
    std::string out;
    out.reserve(rows.size() * 400 + 16);
    JsonWriter j(out);
    const auto& columns = exportColumns();
    j.beginArray();
    for (const SurveyRow& r : rows) {
        const std::vector<std::string> v = values(r);
        j.beginObject();
        j.field(columns[0], r.fact.id);
        for (size_t i = 1; i < columns.size(); ++i) {
            j.key(columns[i]);
            // Q3's score is a number; an unanswered question is null, not "".
            if (v[i].empty() && i >= 9)
                j.null();
            else if (columns[i] == "q3_recommend_0_9")
                j.value(std::stoi(v[i]));
            else
                j.value(v[i]);
        }
        j.endObject();
    }
    j.endArray();
    out += '\n';
    return out;
}

} // namespace collector
