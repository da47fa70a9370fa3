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
// As writeFileAtomic, but an existing file is left as it is (true then too).
bool writeFileIfAbsent(const std::string& path, const std::string& data);
// The name of a temporary file for `name` in the same folder ("tmp" for a write, "del" for a
// removal), and the pid of the process that made it (-1 when `name` is no such name).
std::string tempName(const std::string& name, const char* kind);
long tempOwner(const std::string& name);
// Seeds the settings store of a fresh root (the vconf side of seeding).
void seedVconf(const std::string& root);
// Forgets cached state tied to the previous root (watches, log file).
void onRootChanged();
void dlogRootChanged();

} // namespace tavplat::detail
