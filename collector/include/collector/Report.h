// The text report of the collector: the stored surveys, then per question how often each answer
// was chosen.
#pragma once

#include "collector/Store.h"

#include <string>
#include <vector>

namespace collector {

std::string formatReport(const std::vector<StoredSurvey>& surveys, const AnswerCounts& counts);

} // namespace collector
