// The two string cutters of Utils on texts that meet their preconditions (others are skipped):
// extractLastNumbers gets texts holding a decimal digit, extractUrlInfo URLs with a "/" after
// the authority. Checked: the cut-out number runs from the first to the last digit of the text;
// host and path put together give the URL back, the path starts at the first "/" after the
// authority and the host holds none there.
#include "FuzzSupport.h"
#include "Utils.h"

#include <cstdint>
#include <string>

namespace {

const char kDigits[] = "0123456789";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void checkNumbers(const std::string& text) {
    const size_t first = text.find_first_of(kDigits);
    if (first == std::string::npos)
        return;
    const std::string numbers = Utils::extractLastNumbers(text);
    FUZZ_CHECK(!numbers.empty() && isDigit(numbers.front()) && isDigit(numbers.back()));
    FUZZ_CHECK(text.compare(first, numbers.size(), numbers) == 0);
    FUZZ_CHECK(text.find_first_of(kDigits, first + numbers.size()) == std::string::npos);
}

void checkUrl(const std::string& text) {
    // Where the authority ends: after "//", or from the second character when there is none.
    const size_t scheme = text.find("//");
    const size_t from = scheme == std::string::npos ? 1 : scheme + 2;
    const size_t slash = text.find('/', from);
    if (slash == std::string::npos)
        return;
    std::string url = text;
    std::string host = "stale host";
    std::string path = "stale path";
    FUZZ_CHECK(Utils::extractUrlInfo(url, host, path));
    FUZZ_CHECK(url == text);
    FUZZ_CHECK(host + path == url);
    FUZZ_CHECK(!path.empty() && path[0] == '/');
    FUZZ_CHECK(host.size() == slash);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkNumbers(text);
    checkUrl(text);
    return 0;
}
