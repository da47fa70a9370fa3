#include "tavplat/platform.h"
#include "internal.h"

#include <fcntl.h>
#include <unistd.h>

namespace tavplat {

static std::string journalPath(const std::string& name) { return rootPath("journal/" + name + ".log"); }

void journalAppend(const std::string& name, const std::string& entry) {
    std::string line = entry;
    for (char& c : line)
        if (c == '\n')
            c = ' ';
    line += '\n';
    makeDirs(rootPath("journal"));
    const int fd = ::open(journalPath(name).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write per entry keeps entries of several processes whole.
    if (::write(fd, line.data(), line.size()) < 0) {
    }
    ::close(fd);
}

std::vector<std::string> journalRead(const std::string& name) {
    return detail::splitLines(detail::readFile(journalPath(name)));
}

void journalClear(const std::string& name) { ::unlink(journalPath(name).c_str()); }

} // namespace tavplat
