#include "Utils.h"

#include "TestSupport.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>
#include <vconf.h>
#include <zlib.h>

#include <climits>
#include <cstdio>
#include <thread>
#include <unistd.h>

using tavplat::FaultMode;
using tavplat::test::LogCapture;

TEST(Checksum, StringsDataAndFilesUpToTheShortLastBlock) {
    EXPECT_EQ(Utils::crc32String("123456789"), 0xCBF43926u);   // the standard check values
    EXPECT_EQ(Utils::crc64String("123456789"), 0x6C40DF5F0B497347ull);
    EXPECT_EQ(Utils::crc32Data({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xCBF43926u);
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
    EXPECT_EQ(Utils::crc64String(""), 0u);
    LogCapture cap;
    EXPECT_EQ(Utils::crc32File("/nonexistent/x"), 0u);
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Failed to open file /nonexistent/x"));
    EXPECT_THROW(Utils::crc64File("/nonexistent/x"), eUtilsErrors);
}

TEST(Encoding, Base32CuttersAndControlCharacters) {
    EXPECT_EQ(Utils::base32(0), "AAAAAAAAAAAAA");
    EXPECT_EQ(Utils::base32(1), "AAAAAAAAAAAAC");
    EXPECT_EQ(Utils::base32(UINT64_MAX), "7777777777776");
    EXPECT_EQ(Utils::base32(0xF800000000000000ull), "7AAAAAAAAAAAA");   // top five bits first

    EXPECT_EQ(Utils::extractLastNumbers("ab12-34cd"), "12-34");
    std::string url = "s://h:8080/a/b?x=1", host, path;
    EXPECT_TRUE(Utils::extractUrlInfo(url, host, path));
    EXPECT_EQ(host + " " + path, "s://h:8080 /a/b?x=1");
    url = "host/p";
    Utils::extractUrlInfo(url, host, path);
    EXPECT_EQ(host + " " + path, "host /p");

    std::string text = "a\tb\r\nc\x7f\xc3\xa9";
    Utils::RemoveControlChars(text);
    EXPECT_EQ(text, "abc\xc3\xa9");   // bytes of UTF-8 sequences are not control characters
}

TEST(Conversion, NeverThrows) {
    LogCapture cap;
    EXPECT_EQ(StringToInteger::Convert(" 42abc"), 42);
    EXPECT_EQ(StringToInteger::Convert("-2147483648"), INT_MIN);
    EXPECT_EQ(cap.countBody("Exception ERR std::stoi"), 0);
    for (const char* bad : {"abc", "99999999999", "2147483648", ""})
        EXPECT_EQ(StringToInteger::Convert(bad), 0) << bad;
    EXPECT_EQ(cap.count(LOG_ID_MAIN, DLOG_WARN, "Exception ERR std::stoi"), 4);

    EXPECT_EQ(IntegerToString::Convert(-7), "-7");
    EXPECT_EQ(IntegerToString::Convert(UINT_MAX), "4294967295");
    const std::string huge = IntegerToString::Convert(-1e300);   // no truncation of long texts
    EXPECT_EQ(huge.size(), 1u + 301u + 7u);
    EXPECT_EQ(huge.substr(huge.size() - 7), ".000000");
}

class DeviceIds : public ::testing::Test {
protected:
    void SetUp() override { tavplat::test::useRoot(m_dir.path()); }
    void TearDown() override { tavplat::test::clearFaults(); }
    tavtest::TempDir m_dir;
};

TEST_F(DeviceIds, ReadersReturnValuesOrFallbacksAndTheModelTypeDecidesJoinraSupport) {
    vconf_set_str("db/comss/hwduid", "DUID-1");
    EXPECT_EQ(Utils::getOpenApiDUID(), "DUID-1");
    tavplat::profileSet("info/128", "string", "T-ABCDEF-1234.5");
    vconf_set_str("db/comss/datavenversion", "T-INFOLINK2021-1002");
    EXPECT_EQ(Utils::getSmartTVClient(), "OTN-FW/T-ABCDEF-1234.5+T-DATAVEN/T-INFOLINK2021-1002+Vintre/1.1");

    LogCapture cap;
    vconf_unset("db/comss/hwduid");
    EXPECT_EQ(Utils::getOpenApiDUID(), "");
    EXPECT_EQ(cap.count(LOG_ID_SYSTEM, DLOG_WARN, "Failed getting DUID returning empty"), 1);

    tavplat::test::setFault("db/adagent/psid", FaultMode::Null);
    EXPECT_EQ(Utils::getPSID(), "");
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Failed getting PSID returning empty"));
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_INFO, "[### ID :  ###]"));

    tavplat::test::setFault("info/128", FaultMode::Fail);
    tavplat::test::setFault("db/comss/datavenversion", FaultMode::Null);
    EXPECT_EQ(Utils::getSmartTVClient(), "OTN-FW/ERROR-VIRMWARE-VERSION+T-DATAVEN/+Vintre/1.1");
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Failed to get firmware version\n"));
    EXPECT_TRUE(cap.has(LOG_ID_SYSTEM, DLOG_WARN, "Failed getting datavenVersion returning empty"));

    tavplat::test::setFault("info/90", FaultMode::Null);
    EXPECT_EQ(Utils::getDeviceLocalSet(), "");
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "FAILURE while getting local set\n"));

    // The model type decides the support; a type that cannot be read counts as supported.
    const char* key = "custom/com.kestova/featureconf/tv_model_type";
    for (auto [type, expected] : {std::pair{0, false}, {1, true}, {2, true}, {3, true}, {4, false}}) {
        tavplat::profileSet(key, "int", std::to_string(type));
        EXPECT_EQ(Utils::IsJoinraSuppported(), expected) << type;
    }
    tavplat::profileErase(key);
    EXPECT_TRUE(Utils::IsJoinraSuppported());
    EXPECT_TRUE(cap.has(LOG_ID_MAIN, DLOG_WARN, "Get TV Model Type failed"));
}

TEST_F(DeviceIds, ThreadNames) {
    std::thread([] {
        Utils::setThreadName("exactly15chars_");
        EXPECT_EQ(Utils::getThreadName(), "exactly15chars_");
        Utils::setThreadName("short");
        EXPECT_EQ(Utils::getThreadName(), "short");
    }).join();
}

TEST_F(DeviceIds, DebugMarkerFiles) {
    if (tavtest::fileExists("/etc/debug") || tavtest::fileExists("/etc/perf") || access("/etc", W_OK) != 0)
        GTEST_SKIP() << "needs a writable /etc without debug markers";
    EXPECT_FALSE(isDebug());
    tavtest::writeFile("/etc/perf", "");
    const bool withPerf = isDebug();   // read afresh, not cached
    std::remove("/etc/perf");
    EXPECT_TRUE(withPerf);
    EXPECT_FALSE(isDebug());
}
