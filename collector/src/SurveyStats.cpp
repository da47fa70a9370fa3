#include "collector/SurveyStats.h"

#include "collector/Json.h"
#include "SurveyLanguages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <unordered_map>

namespace collector {

namespace {

constexpr size_t kQ1 = 0, kQ3 = 2;
constexpr std::array<size_t, 3> kSatisfactionQuestions = {1, 3, 4};  // Q2, Q4, Q5

// Howard Hinnant's days_from_civil / civil_from_days.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Counts of one group of surveys: everything the figures are computed from.
struct Tally {
    int64_t surveys = 0;
    std::array<std::array<int64_t, kMaxAnswers>, kQuestionCount> answers{};

    void add(const SurveyFact& f) {
        ++surveys;
        for (size_t q = 0; q < kQuestionCount; ++q) {
            const int s = f.selected[q];
            if (s >= 1 && s <= kAnswersPerQuestion[q])
                ++answers[q][static_cast<size_t>(s - 1)];
        }
    }
    int64_t answered(size_t q) const {
        int64_t n = 0;
        for (int64_t c : answers[q])
            n += c;
        return n;
    }
    // Share of the first answer of Q1 ("yes"), or of the two best of a satisfaction question.
    double topShare(size_t q, size_t top) const {
        const int64_t n = answered(q);
        int64_t hits = 0;
        for (size_t a = 0; a < top; ++a)
            hits += answers[q][a];
        return n ? static_cast<double>(hits) / static_cast<double>(n) : NAN;
    }
    // Q3's answers run from 9 down to 0: selected 1 is a 9.
    double recommendMean() const {
        const int64_t n = answered(kQ3);
        int64_t sum = 0;
        for (size_t a = 0; a < 10; ++a)
            sum += answers[kQ3][a] * static_cast<int64_t>(9 - a);
        return n ? static_cast<double>(sum) / static_cast<double>(n) : NAN;
    }
};

void writeFigures(JsonWriter& j, const Tally& t) {
    j.field("surveys", t.surveys);
    j.field("problemSolved", t.topShare(kQ1, 1));
    j.field("problemSolvedAnswered", t.answered(kQ1));
    for (size_t q : kSatisfactionQuestions)
        j.field("q" + std::to_string(q + 1) + "TopTwo", t.topShare(q, 2));
    j.field("recommendMean", t.recommendMean());
}

void writeBreakdown(JsonWriter& j, const std::string& name, const std::map<std::string, Tally>& groups) {
    j.key(name).beginArray();
    for (const auto& [key, tally] : groups) {
        j.beginObject().field("key", key);
        writeFigures(j, tally);
        j.endObject();
    }
    j.endArray();
}

} // namespace

int64_t dayNumber(const std::string& date) {
    unsigned y = 0, m = 0, d = 0;
    int used = 0;
    if (date.size() != 10 || std::sscanf(date.c_str(), "%4u-%2u-%2u%n", &y, &m, &d, &used) != 3 || used != 10 ||
        date[4] != '-' || date[7] != '-' || !std::all_of(date.begin(), date.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == '-';
        }))
        throw std::invalid_argument("not a date: " + date);
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1970 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && leap))
        throw std::invalid_argument("not a date: " + date);
    return daysFromCivil(y, m, d);
}

std::string dateOfDay(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return buf;
}

std::string todayUtc() {
    return dateOfDay(static_cast<int64_t>(std::time(nullptr)) / 86400);
}

SurveyFact factOf(const Envelope& envelope, const std::string& receivedAt) {
    SurveyFact f;
    f.receivedAt = receivedAt;
    f.country = envelope.device.country;
    f.model = envelope.device.modelName;
    f.firmware = envelope.device.firmwareVersion;
    for (const SurveyItem& item : envelope.items) {
        if (item.index >= 1 && item.index <= kQuestionCount)
            f.selected[static_cast<size_t>(item.index - 1)] = item.selected;
        if (item.index == 1)
            f.language = surveyLanguage(item.question);
    }
    return f;
}

std::string surveyLanguage(const std::string& firstQuestionText) {
    for (const auto& [language, text] : kFirstQuestionTexts)
        if (firstQuestionText == text)
            return language;
    return "";
}

std::string SurveyFilter::toExclusiveTime() const {
    return dateOfDay(dayNumber(to) + 1) + " 00:00:00";
}

bool SurveyFilter::matches(const SurveyFact& f) const {
    return (country.empty() || f.country == country) && (model.empty() || f.model == model) &&
           (firmware.empty() || f.firmware == firmware) && (language.empty() || f.language == language);
}

SurveyFilter parseFilter(const std::map<std::string, std::string>& query, const std::string& today) {
    const auto get = [&](const char* name) {
        const auto it = query.find(name);
        return it == query.end() ? std::string() : it->second;
    };
    SurveyFilter f;
    f.to = get("to").empty() ? today : get("to");
    f.from = get("from").empty() ? dateOfDay(dayNumber(f.to) - 29) : get("from");
    const int64_t from = dayNumber(f.from), to = dayNumber(f.to);
    if (to < from)
        throw std::invalid_argument("the range ends before it starts");
    if (to - from > 3700)
        throw std::invalid_argument("the range is longer than ten years");
    f.country = get("country");
    f.model = get("model");
    f.firmware = get("firmware");
    f.language = get("language");
    return f;
}

std::string answerLabel(int question, int selected) {
    static const char* const kSatisfaction[] = {"Very satisfied",        "Satisfied",    "Somewhat satisfied",
                                                "Neutral",               "Somewhat dissatisfied",
                                                "Dissatisfied",          "Very dissatisfied"};
    if (question < 1 || question > kQuestionCount || selected < 1 || selected > kAnswersPerQuestion[question - 1])
        return "";
    if (question == 1)
        return selected == 1 ? "Yes" : "No";
    if (question == 3)
        return std::to_string(10 - selected);
    return kSatisfaction[selected - 1];
}

struct SummaryBuilder::State {
    int64_t first = 0;
    bool weekly = false;
    int64_t firstBucket = 0;
    std::vector<Tally> series;
    Tally all;
    std::map<std::string, Tally> byCountry, byModel;
    std::map<std::string, int64_t> countries, models, firmwares, languages;
    // A year has few days but 100,000s of surveys: each day's text is parsed once.
    std::unordered_map<std::string, int64_t> dayCache;
    struct Device {
        bool known = false;
        bool matches = false;
        std::array<int64_t*, 4> counts{};  // in the choices of country, model, firmware, language
        Tally* country = nullptr;
        Tally* model = nullptr;
    };
    std::vector<Device> devices;

    // 1970-01-01 was a Thursday: day + 3 counts from a Monday.
    int64_t bucketOf(int64_t day) const { return weekly ? day - ((day + 3) % 7 + 7) % 7 : day; }
};

SummaryBuilder::SummaryBuilder(const SurveyFilter& filter) : m_filter(filter), m_state(std::make_unique<State>()) {
    State& st = *m_state;
    st.first = dayNumber(filter.from);
    const int64_t last = dayNumber(filter.to);
    st.weekly = last - st.first + 1 > kMaxDailyBuckets;
    st.firstBucket = st.bucketOf(st.first);
    st.series.resize(static_cast<size_t>((st.bucketOf(last) - st.firstBucket) / (st.weekly ? 7 : 1) + 1));
}

SummaryBuilder::~SummaryBuilder() = default;

void SummaryBuilder::add(const SurveyFact& f) {
    State& st = *m_state;
    // The string work is done once per device: later facts of it reuse where it went.
    State::Device scratch;
    State::Device* d = &scratch;
    if (f.device >= 0) {
        if (static_cast<size_t>(f.device) >= st.devices.size())
            st.devices.resize(static_cast<size_t>(f.device) + 1);
        d = &st.devices[static_cast<size_t>(f.device)];
    }
    if (!d->known) {
        d->known = true;
        d->counts = {&st.countries[f.country], &st.models[f.model], &st.firmwares[f.firmware],
                     &st.languages[f.language]};
        d->matches = m_filter.matches(f);
        if (d->matches) {
            d->country = &st.byCountry[f.country];
            d->model = &st.byModel[f.model];
        }
    }
    for (int64_t* n : d->counts)
        ++*n;
    if (!d->matches)
        return;
    st.all.add(f);
    d->country->add(f);
    d->model->add(f);
    int64_t day = f.day;
    if (day < 0) {
        const std::string date = f.receivedAt.substr(0, 10);
        auto known = st.dayCache.find(date);
        if (known == st.dayCache.end()) {
            int64_t parsed = -1;
            try {
                parsed = dayNumber(date);
            } catch (const std::invalid_argument&) {
            }
            known = st.dayCache.emplace(date, parsed).first;
        }
        day = known->second;
        if (day < 0)
            return;
    }
    const int64_t index = (st.bucketOf(day) - st.firstBucket) / (st.weekly ? 7 : 1);
    if (index >= 0 && static_cast<size_t>(index) < st.series.size())
        st.series[static_cast<size_t>(index)].add(f);
}

std::string SummaryBuilder::json() const {
    const State& st = *m_state;
    const SurveyFilter& filter = m_filter;
    std::string out;
    JsonWriter j(out);
    j.beginObject();
    j.key("filter").beginObject();
    j.field("from", filter.from).field("to", filter.to).field("country", filter.country);
    j.field("model", filter.model).field("firmware", filter.firmware).field("language", filter.language);
    j.endObject();
    j.key("totals").beginObject();
    writeFigures(j, st.all);
    j.endObject();

    j.field("bucket", st.weekly ? "week" : "day");
    j.key("series").beginArray();
    for (size_t i = 0; i < st.series.size(); ++i) {
        const Tally& t = st.series[i];
        j.beginObject().field("start", dateOfDay(st.firstBucket + static_cast<int64_t>(i) * (st.weekly ? 7 : 1)));
        j.field("surveys", t.surveys);
        j.field("problemSolved", t.topShare(kQ1, 1));
        j.field("problemSolvedAnswered", t.answered(kQ1));
        j.endObject();
    }
    j.endArray();

    j.key("distributions").beginObject();
    for (size_t q = 0; q < kQuestionCount; ++q) {
        j.key("q" + std::to_string(q + 1)).beginArray();
        for (int a = 0; a < kAnswersPerQuestion[q]; ++a)
            j.value(st.all.answers[q][static_cast<size_t>(a)]);
        j.endArray();
    }
    j.endObject();

    writeBreakdown(j, "byCountry", st.byCountry);
    writeBreakdown(j, "byModel", st.byModel);

    j.key("choices").beginObject();
    for (const auto& [name, values] :
         {std::pair<const char*, const std::map<std::string, int64_t>&>{"country", st.countries},
          {"model", st.models},
          {"firmware", st.firmwares},
          {"language", st.languages}}) {
        j.key(name).beginArray();
        for (const auto& [v, n] : values)
            j.beginObject().field("value", v).field("surveys", n).endObject();
        j.endArray();
    }
    j.endObject();
    j.endObject();
    return out;
}

std::string summaryJson(const std::vector<SurveyFact>& inRange, const SurveyFilter& filter) {
    SummaryBuilder b(filter);
    for (const SurveyFact& f : inRange)
        b.add(f);
    return b.json();
}

} // namespace collector
