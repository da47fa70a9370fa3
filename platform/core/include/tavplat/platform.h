// Shared machinery of the platform stand-ins: where their state lives, the editable device
// profile, call journals that tests and people can read, and the fault switches that tests set.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavplat {

// Root directory of the emulated television: $TAV_PLATFORM_ROOT, else $HOME/.tavplatform,
// else /tmp/tavplatform. Created and seeded with a default television on first use.
std::string root();
// A path below the root ("vconf", "device.profile", ...); parent folders are not created.
std::string rootPath(const std::string& relative);

// Writes `data` to `path` atomically (temporary file in the same folder, then rename),
// creating missing parent folders. False when any step fails.
bool writeFileAtomic(const std::string& path, const std::string& data);
bool makeDirs(const std::string& path);

// ---- Device profile: <root>/device.profile, lines of "<key> <type> <value>" ----
// Types: string, int, bool, bytes (hex, for values that may hold zero bytes).
// Keys: "info/<n>" (system_info integer keys), "custom/<key>" (system_info custom keys),
// "settings/<n>" (system settings) and free names used by the other stand-ins ("tv/snr" ...).
struct ProfileValue {
    std::string type;
    std::string value;
};
std::optional<ProfileValue> profileGet(const std::string& key);
std::optional<std::string> profileString(const std::string& key);
std::optional<long long> profileInt(const std::string& key);
std::optional<bool> profileBool(const std::string& key);
std::optional<std::vector<unsigned char>> profileBytes(const std::string& key);
// Why `value` is no value of `type` ("" when it is one): what profileSet refuses.
std::string profileValueError(const std::string& type, const std::string& value);
// Stores the value in the profile file (replacing the line of the key, or appending one). False
// for a key with blanks, an unknown type or a value that its type cannot read back.
bool profileSet(const std::string& key, const std::string& type, const std::string& value);
bool profileErase(const std::string& key);

// ---- Journals: <root>/journal/<name>.log, one entry per line, appended by any process ----
void journalAppend(const std::string& name, const std::string& entry);
std::vector<std::string> journalRead(const std::string& name);
void journalClear(const std::string& name);

// ---- Fault switches (set by tests through test_control.h; read by the stand-ins) ----
enum class FaultMode { None, Fail, Null };
struct Fault {
    FaultMode mode = FaultMode::None;
    int delayMs = 0;
};
// The fault set for a call or key name. A set delay has already been slept when this returns.
Fault checkFault(const std::string& name);
// True when a fault makes the call `call` fail (mode Fail or Null); with a tag, the failure is
// also logged under that tag, as the platform's services log their own errors.
bool callFails(const char* call, const char* tag = nullptr);

} // namespace tavplat
