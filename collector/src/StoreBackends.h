// The two implementations of Store, chosen by openStore from the --db text.
#pragma once

#include "collector/Store.h"

#include <memory>
#include <string>

namespace collector {

std::unique_ptr<Store> openSqliteStore(const std::string& path, Store::eOpenMode mode);
// `uri` is handed to libpq as it is.
std::unique_ptr<Store> openPostgresStore(const std::string& uri);

} // namespace collector
