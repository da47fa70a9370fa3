// Helpers shared by the test programs.
#pragma once

#include <functional>
#include <string>

namespace tavtest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& data);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// Runs a shell command, returns its exit status (-1 if it could not run) and its stdout.
int run(const std::string& command, std::string* out = nullptr);
// Polls `ready` every few milliseconds until it holds (true) or `timeoutMs` has passed (false):
// the way a test waits for something another thread or process does, never a fixed sleep.
bool waitFor(const std::function<bool()>& ready, int timeoutMs);
// The folder of the running test program, for finding built tools next to it.
std::string selfDir();

} // namespace tavtest
