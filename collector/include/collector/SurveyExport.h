// The stored surveys as an operator takes them elsewhere: CSV for spreadsheets and JSON for
// programs, one row per survey with the answers as words (and Q3 as its 0-9 score).
#pragma once

#include "collector/SurveyStats.h"

#include <string>
#include <vector>

namespace collector {

struct SurveyRow {
    SurveyFact fact;
    std::string sessionId;
    std::string duid;
    std::string localSet;
};

// Column names of both exports, in order.
const std::vector<std::string>& exportColumns();

// One CSV field: quoted when needed (RFC 4180), and a text a spreadsheet would run as a formula
// (starting with = + - @, a tab or a carriage return) gets a leading apostrophe.
std::string csvField(const std::string& text);

// The whole CSV (UTF-8 with a byte order mark so that spreadsheets read it as UTF-8, CRLF
// line ends, a header line).
std::string surveysCsv(const std::vector<SurveyRow>& rows);
// A JSON array of objects keyed by the column names.
std::string surveysJson(const std::vector<SurveyRow>& rows);

} // namespace collector
