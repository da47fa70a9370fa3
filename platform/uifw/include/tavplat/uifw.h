// The UI framework stand-in seen from tests and tools: the command-line form of a launch request.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tavplat::uifw {

// "--key value" and "--key=value" pairs, in order. False (with a message in `error`) for any
// other argument or a key without a value. argv[0] is the program and is skipped.
bool parseLaunchArguments(int argc, char** argv,
                          std::vector<std::pair<std::string, std::string>>& extras,
                          std::string& error);

} // namespace tavplat::uifw
