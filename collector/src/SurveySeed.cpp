#include "collector/SurveySeed.h"

#include "collector/SurveyStats.h"
#include "SurveyLanguages.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace collector {

namespace {

struct Market {
    const char* country;
    const char* language;  // code in the catalogs
    const char* localSet;
    int weight;
    double solvedRate;
};
const Market kMarkets[] = {
    {"DE", "de", "KTM_EU_KDEU", 30, 0.78}, {"FR", "fr", "KTM_EU_KFRA", 18, 0.71},
    {"ES", "es", "KTM_EU_KESP", 12, 0.69}, {"GB", "en", "KTM_EU_KGBR", 16, 0.74},
    {"KR", "ko", "KTM_AS_KKOR", 14, 0.83}, {"US", "en", "KTM_NA_KUSA", 10, 0.66},
};
struct Device {
    const char* model;
    const char* firmware[2];
};
const Device kDevices[] = {
    {"QE55Q80TV", {"T-KTMDEUC-1234.5", "T-KTMDEUC-1240.1"}},
    {"QE65S95C", {"T-KTMAKUC-1310.2", "T-KTMAKUC-1322.0"}},
    {"UE43TU7000", {"T-NKL5AUC-2110.3", "T-NKL5AUC-2111.0"}},
    {"UE50AU8000", {"T-KTSUDEUC-1105.4", "T-KTSUDEUC-1107.2"}},
};

const char* firstQuestion(const std::string& language) {
    for (const auto& [code, text] : kFirstQuestionTexts)
        if (language == code)
            return text;
    return kFirstQuestionTexts[0].second;
}

UploadRecord makeSurvey(std::mt19937_64& rng, int64_t n, int64_t firstDay, int days) {
    std::uniform_int_distribution<int> weight(0, 99);
    int w = weight(rng);
    const Market* m = &kMarkets[0];
    for (const Market& candidate : kMarkets) {
        m = &candidate;
        if ((w -= candidate.weight) < 0)
            break;
    }
    const Device& d = kDevices[std::uniform_int_distribution<size_t>(0, std::size(kDevices) - 1)(rng)];
    const char* firmware = d.firmware[std::uniform_int_distribution<int>(0, 1)(rng)];
    const int64_t day = firstDay + std::uniform_int_distribution<int64_t>(0, days - 1)(rng);
    const int second = std::uniform_int_distribution<int>(0, 86399)(rng);
    char time[32];
    std::snprintf(time, sizeof time, " %02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);

    UploadRecord r;
    r.receivedAt = dateOfDay(day) + time;
    r.remoteAddr = "192.0.2." + std::to_string(1 + n % 250);
    char id[32];
    std::snprintf(id, sizeof id, "%08llX", static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
    r.sessionId = std::string("S-") + id;
    r.pinCode = std::to_string(1000 + rng() % 9000);
    std::snprintf(id, sizeof id, "T-%s-%06lld", m->country, static_cast<long long>(n));
    r.duid = id;
    r.category = kCategory;
    r.source = kSource;
    r.purchaseDate = "2024-05-17";
    r.productYear = "24";
    r.fileName = "Survey_seed.zip";
    r.crc32 = static_cast<uint32_t>(rng());
    r.envelope.device = {r.duid, m->localSet, m->country, d.model, firmware};

    // A solved problem moves every satisfaction answer towards the top of its scale.
    const bool solved = std::bernoulli_distribution(m->solvedRate)(rng);
    std::normal_distribution<double> mood(solved ? 1.6 : 4.6, 1.3);
    const auto scale = [&](int answers) { return std::clamp(static_cast<int>(mood(rng) + 0.5), 1, answers); };
    const std::array<int, kQuestionCount> selected = {solved ? 1 : 2, scale(7),
                                                      std::clamp(static_cast<int>(mood(rng) * 1.4 + 0.5), 1, 10),
                                                      scale(7), scale(7)};
    // Now and then a viewer leaves the last question out (an older survey had four).
    const int asked = std::bernoulli_distribution(0.03)(rng) ? 4 : 5;
    for (int q = 1; q <= asked; ++q) {
        const int s = selected[static_cast<size_t>(q - 1)];
        r.envelope.items.push_back({q, s, q == 1 ? firstQuestion(m->language) : std::to_string(q) + ".",
                                    answerLabel(q, s)});
    }
    r.envelopeXml = "<survey/>";
    r.fileSize = r.envelopeXml.size();
    return r;
}

} // namespace

int64_t seedSurveys(Store& store, const SeedOptions& o) {
    std::mt19937_64 rng(o.randomSeed);
    const int days = std::max(o.days, 1);
    const int64_t firstDay = dayNumber(o.endDay.empty() ? todayUtc() : o.endDay) - (days - 1);
    int64_t stored = 0;
    for (int64_t done = 0; done < o.count;) {
        const int64_t batch = std::min<int64_t>(1000, o.count - done);
        store.transaction([&](SqlSession& s) {
            for (int64_t i = 0; i < batch; ++i)
                stored += Store::insertIn(s, makeSurvey(rng, done + i, firstDay, days)).duplicate ? 0 : 1;
        });
        done += batch;
    }
    return stored;
}

} // namespace collector
