// Helpers shared by the test programs.
#pragma once

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
// The folder of the running test program, for finding built tools next to it.
std::string selfDir();

} // namespace tavtest
