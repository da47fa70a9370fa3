// Made-up surveys for demonstrations, screenshots and the dashboard's benchmark: countries,
// models, firmware and menu languages of a plausible fleet, answers that hang together (a
// solved problem comes with better satisfaction), spread over the days before a given one.
#pragma once

#include "collector/Store.h"

#include <cstdint>
#include <string>

namespace collector {

struct SeedOptions {
    int64_t count = 1000;
    int days = 90;            // received over this many days ...
    std::string endDay;       // ... up to and including this one ("YYYY-MM-DD"); empty: today (UTC)
    uint64_t randomSeed = 1;  // the same seed gives the same surveys
};

// Stores the surveys through the normal insert, a thousand to a transaction; gives how many.
int64_t seedSurveys(Store& store, const SeedOptions& options);

} // namespace collector
