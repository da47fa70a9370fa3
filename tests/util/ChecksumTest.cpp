#include "Utils.h"

#include "TestSupport.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>

using tavplat::test::LogCapture;

TEST(Checksum, CheckValuesOfBothCrcs) {
    EXPECT_EQ(Utils::crc32String("123456789"), 0xCBF43926u);
    EXPECT_EQ(Utils::crc32String(""), 0u);
    EXPECT_EQ(Utils::crc64String("123456789"), 0x6C40DF5F0B497347ull);
    EXPECT_EQ(Utils::crc64String(""), 0u);
    const std::string s = "123456789";
    EXPECT_EQ(Utils::crc32Data(std::vector<char>(s.begin(), s.end())), 0xCBF43926u);
}

TEST(Checksum, FilesCoverTheShortLastBlock) {
    tavtest::TempDir dir;
    for (size_t size : {0u, 1023u, 1024u, 1025u, 4097u}) {
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i)
            data[i] = static_cast<char>((i * 131 + 7) & 0xFF);
        const std::string path = dir.file("f" + std::to_string(size));
        tavtest::writeFile(path, data);
        const uLong expected = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
        EXPECT_EQ(Utils::crc32File(path), expected) << size;
        EXPECT_EQ(Utils::crc64File(path), Utils::crc64String(data)) << size;
    }
}

TEST(Checksum, MissingFiles) {
    LogCapture cap;
    EXPECT_EQ(Utils::crc32File("/nonexistent/x"), 0u);
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Failed to open file /nonexistent/x"));
    EXPECT_THROW(Utils::crc64File("/nonexistent/x"), eUtilsErrors);
}

TEST(Encoding, Base32) {
    EXPECT_EQ(Utils::base32(0), "AAAAAAAAAAAAA");
    EXPECT_EQ(Utils::base32(1), "AAAAAAAAAAAAC");
    EXPECT_EQ(Utils::base32(UINT64_MAX), "7777777777776");
    // Top five bits select the first character.
    EXPECT_EQ(Utils::base32(0xF800000000000000ull), "7AAAAAAAAAAAA");
}

TEST(Encoding, CuttersAndControlCharacters) {
    EXPECT_EQ(Utils::extractLastNumbers("ab12-34cd"), "12-34");
    EXPECT_EQ(Utils::extractLastNumbers("7"), "7");

    std::string url = "s://h:8080/a/b?x=1", host, path;
    EXPECT_TRUE(Utils::extractUrlInfo(url, host, path));
    EXPECT_EQ(host, "s://h:8080");
    EXPECT_EQ(path, "/a/b?x=1");
    url = "host/p";
    Utils::extractUrlInfo(url, host, path);
    EXPECT_EQ(host, "host");
    EXPECT_EQ(path, "/p");

    std::string text = "a\tb\r\nc\x7f";
    Utils::RemoveControlChars(text);
    EXPECT_EQ(text, "abc");
    std::string accented = "\xc3\xa9";
    Utils::RemoveControlChars(accented);
    EXPECT_EQ(accented, "\xc3\xa9");
}

TEST(Conversion, NeverThrows) {
    LogCapture cap;
    EXPECT_EQ(StringToInteger::Convert(" 42abc"), 42);
    EXPECT_EQ(StringToInteger::Convert("-17"), -17);
    EXPECT_EQ(cap.countBody("Exception ERR std::stoi"), 0);
    EXPECT_EQ(StringToInteger::Convert("abc"), 0);
    EXPECT_EQ(StringToInteger::Convert("99999999999"), 0);
    EXPECT_EQ(StringToInteger::Convert("2147483648"), 0);
    EXPECT_EQ(StringToInteger::Convert(""), 0);
    EXPECT_EQ(cap.count(LOG_ID_MAIN, DLOG_WARN, "Exception ERR std::stoi"), 4);
    EXPECT_EQ(StringToInteger::Convert("-2147483648"), INT_MIN);

    EXPECT_EQ(IntegerToString::Convert(-7), "-7");
    EXPECT_EQ(IntegerToString::Convert(UINT_MAX), "4294967295");
    EXPECT_EQ(IntegerToString::Convert(2.5), "2.500000");
    const std::string huge = IntegerToString::Convert(-1e300);   // no truncation of long texts
    EXPECT_EQ(huge.size(), 1u + 301u + 7u);
    EXPECT_EQ(huge.substr(huge.size() - 7), ".000000");
}
