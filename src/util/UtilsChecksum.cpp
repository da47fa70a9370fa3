#include "Utils.h"

#include "TavLog.h"

#include <boost/crc.hpp>
#include <boost/iostreams/device/file.hpp>
#include <boost/iostreams/stream.hpp>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

using Crc32 = boost::crc_optimal<32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, true>;
using Crc64 = boost::crc_optimal<64, 0x42F0E1EBA9EA3693ULL, 0, 0, false, false>;

const char kBase32Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
const char kDigits[] = "0123456789";

} // namespace

uint32_t Utils::crc32Data(const std::vector<char>& data) {
    Crc32 crc;
    crc.process_bytes(data.data(), data.size());
    return crc.checksum();
}

uint32_t Utils::crc32String(const std::string& text) {
    Crc32 crc;
    crc.process_bytes(text.data(), text.size());
    return crc.checksum();
}

uint32_t Utils::crc32File(const std::string& path) {
    Crc32 crc;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        LOGW("Failed to open file %s", path.c_str());
        return crc.checksum();
    }
    char block[1024];
    do {
        in.read(block, sizeof block);
        crc.process_bytes(block, static_cast<size_t>(in.gcount()));
    } while (in);
    return crc.checksum();
}

uint64_t Utils::crc64String(const std::string& text) {
    Crc64 crc;
    crc.process_bytes(text.data(), text.size());
    return crc.checksum();
}

uint64_t Utils::crc64File(const std::string& path) {
    namespace io = boost::iostreams;
    io::file_source source(path, std::ios::binary);
    if (!source.is_open())
        throw eUtilsFileOpenError;
    io::stream<io::file_source> in(source);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    return crc64String(content);
}

std::string Utils::base32(uint64_t value) {
    // 64 bits and one trailing zero bit make 13 groups of five.
    std::string out(13, 'A');
    for (int i = 0; i < 12; ++i)
        out[i] = kBase32Alphabet[(value >> (59 - 5 * i)) & 0x1F];
    out[12] = kBase32Alphabet[(value & 0xF) << 1];
    return out;
}

std::string Utils::extractLastNumbers(const std::string& text) {
    const size_t first = text.find_first_of(kDigits);
    const size_t last = text.find_last_of(kDigits);
    return text.substr(first, last - first + 1);
}

bool Utils::extractUrlInfo(std::string& url, std::string& host, std::string& path) {
    const size_t scheme = url.find("//");
    const size_t from = scheme == std::string::npos ? 1 : scheme + 2;
    const size_t slash = url.find('/', from);
    host = url.substr(0, slash);
    path = slash == std::string::npos ? std::string() : url.substr(slash);
    return true;
}

void Utils::RemoveControlChars(std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text)
        if (!std::iscntrl(static_cast<int>(static_cast<signed char>(c))))
            kept.push_back(c);
    text.swap(kept);
}

static std::string formatNumber(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static std::string formatNumber(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

std::string IntegerToString::Convert(int value) {
    try {
        return formatNumber("%d", value);
    } catch (...) {
        LOGW("Exception ERR std::to_string");
        return "";
    }
}

std::string IntegerToString::Convert(unsigned int value) {
    try {
        return formatNumber("%u", value);
    } catch (...) {
        LOGW("Exception ERR std::to_string");
        return "";
    }
}

std::string IntegerToString::Convert(double value) {
    try {
        // "%f" of the largest doubles needs over 300 characters.
        char buf[400];
        const int n = std::snprintf(buf, sizeof buf, "%f", value);
        return n < 0 ? std::string() : std::string(buf);
    } catch (...) {
        LOGW("Exception ERR std::to_string");
        return "";
    }
}

int StringToInteger::Convert(const std::string& text) {
    errno = 0;
    const char* begin = text.c_str();
    char* end = nullptr;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        LOGW("Exception ERR std::stoi");
        return 0;
    }
    return static_cast<int>(value);
}
