#pragma once

#include <string>
#include <vector>

namespace tavplat::detail {

extern const char* const kSeedProfile;
extern const char* const kSeedVconf;

std::string readFile(const std::string& path, bool* ok = nullptr);
std::vector<std::string> splitLines(const std::string& text);
// Splits "<key> <type> <value...>" (value may hold blanks); false for blank/comment lines.
bool splitRecord(const std::string& line, std::string& key, std::string& type, std::string& value);
// Seeds the settings store of a fresh root (the vconf side of seeding).
void seedVconf(const std::string& root);
// Forgets cached state tied to the previous root (watches, log file).
void onRootChanged();
void dlogRootChanged();

} // namespace tavplat::detail
