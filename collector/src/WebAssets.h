// The dashboard's page, scripts and style, built into the program from collector/web.
#pragma once

#include <string_view>

namespace collector {

struct WebAsset {
    const char* name;  // file name in collector/web
    const char* type;  // Content-Type
    std::string_view data;
};

const WebAsset* findWebAsset(std::string_view name);

} // namespace collector
