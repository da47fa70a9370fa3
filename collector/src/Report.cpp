#include "collector/Report.h"

#include "collector/Text.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace collector {

namespace {

// Characters, not bytes: cells hold escaped UTF-8.
size_t columns(const std::string& cell) {
    size_t n = 0;
    for (const char ch : cell)
        n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return n;
}

// Left-aligned columns as wide as their widest cell, two spaces apart.
std::string table(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> width;
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) {
            if (width.size() <= c)
                width.push_back(0);
            width[c] = std::max(width[c], columns(row[c]));
        }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size())
                line += std::string(width[c] - columns(row[c]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += "  " + line + "\n";
    }
    return out;
}

// Right-aligned number column of the counts table.
std::string cell(int value, int width = 4) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%*d", width, value);
    return buf;
}

} // namespace

std::string formatReport(const std::vector<StoredSurvey>& surveys, const AnswerCounts& counts) {
    std::ostringstream out;
    out << "Stored surveys: " << surveys.size() << "\n";
    if (!surveys.empty()) {
        std::vector<std::vector<std::string>> rows;
        rows.push_back({"id", "received (UTC)", "session", "pincode", "duid", "model", "country",
                        "answers Q1-Q5"});
        for (const StoredSurvey& s : surveys) {
            std::string answers;
            for (int v : s.selected)
                answers += (answers.empty() ? "" : " ") + (v ? std::to_string(v) : std::string("-"));
            // What a television sent is printed only escaped: it could hold terminal commands.
            rows.push_back({std::to_string(s.id), escapeControls(s.receivedAt), escapeControls(s.sessionId),
                            escapeControls(s.pinCode), escapeControls(s.duid), escapeControls(s.modelName),
                            escapeControls(s.country), answers});
        }
        out << "\n" << table(rows);
    }

    out << "\nAnswer counts (columns: answer position as listed on the television)\n";
    out << "  question ";
    for (int a = 1; a <= kMaxAnswers; ++a)
        out << cell(a);
    out << "  total\n";
    for (int q = 0; q < kQuestionCount; ++q) {
        out << "  Q" << q + 1 << "       ";
        int total = 0;
        for (int a = 0; a < kMaxAnswers; ++a) {
            if (a < kAnswersPerQuestion[static_cast<size_t>(q)]) {
                const int n = counts[static_cast<size_t>(q)][static_cast<size_t>(a)];
                total += n;
                out << cell(n);
            } else {
                out << "    ";
            }
        }
        out << "  " << cell(total, 5) << "\n";
    }
    out << "\n  Q1: 1 yes, 2 no.  Q2, Q4, Q5: 1 very satisfied ... 7 very dissatisfied.\n"
           "  Q3 (score 9 to 0): answer 1 is score 9, answer 10 is score 0.\n";
    return out.str();
}

} // namespace collector
