// The dashboard's figures: one compact row per stored survey ("facts"), the operator's filter,
// and the summary the page draws (trend, problem solved, satisfaction, recommendation, the
// breakdowns by country and model, the values the filters can take).
#pragma once

#include "collector/Upload.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace collector {

// What the dashboard needs of a stored survey; written beside the upload when it is stored.
struct SurveyFact {
    int64_t id = 0;
    std::string receivedAt;  // UTC, "YYYY-MM-DD hh:mm:ss"
    std::string country;
    std::string model;
    std::string firmware;
    std::string language;  // menu language the survey was shown in ("en", "de", ...), "" unknown
    std::array<int, kQuestionCount> selected{};  // 0 = question not in the upload
    // Shortcuts a bulk reader may fill: the day of receivedAt (days since 1970-01-01), and a
    // small number that is the same for facts with the same four device values. -1: not given.
    int64_t day = -1;
    int device = -1;
};

// The facts of an accepted upload.
SurveyFact factOf(const Envelope& envelope, const std::string& receivedAt);

// The menu language a survey was shown in, recognised from its first question's translated text
// (the upload carries no language of its own); "" when no catalog of ours has that text.
std::string surveyLanguage(const std::string& firstQuestionText);

struct SurveyFilter {
    std::string from;  // first day, "YYYY-MM-DD" (UTC)
    std::string to;    // last day, included
    std::string country, model, firmware, language;  // empty: any

    // The date range as bounds on the received time: from <= t < toExclusive.
    std::string fromTime() const { return from + " 00:00:00"; }
    std::string toExclusiveTime() const;
    // Everything but the date range, which the database query applies.
    bool matches(const SurveyFact& fact) const;
};

// Reads "from", "to", "country", "model", "firmware", "language" of a query string. Missing
// dates give the 30 days up to `today`. Throws std::invalid_argument for a date that is not a
// real "YYYY-MM-DD" day, `to` before `from`, or a range over 3,700 days.
SurveyFilter parseFilter(const std::map<std::string, std::string>& query, const std::string& today);

// Days since 1970-01-01 of "YYYY-MM-DD"; throws std::invalid_argument when it is no real day.
int64_t dayNumber(const std::string& date);
std::string dateOfDay(int64_t day);
// Today in UTC.
std::string todayUtc();

// Ranges longer than this many days are drawn by week (weeks start on Monday).
constexpr int kMaxDailyBuckets = 62;

// The summary as JSON, from the surveys in the filter's date range (other filters not applied
// yet: the filters' choices are taken from all of them), handed in one at a time.
class SummaryBuilder {
public:
    explicit SummaryBuilder(const SurveyFilter& filter);  // throws like dayNumber
    ~SummaryBuilder();
    void add(const SurveyFact& fact);
    std::string json() const;

private:
    struct State;
    SurveyFilter m_filter;
    std::unique_ptr<State> m_state;
};

std::string summaryJson(const std::vector<SurveyFact>& inRange, const SurveyFilter& filter);

// Answer texts of the export (English, whatever language the survey was shown in).
std::string answerLabel(int question, int selected);

} // namespace collector
