#include "GzipCompressor.h"
#include "TestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <dlfcn.h>

using tavplat::test::LogCapture;

static bool g_failInflateInit = false;

static std::vector<char> bytes(const std::string& s) { return {s.begin(), s.end()}; }
static std::string str(const std::vector<char>& v) { return {v.begin(), v.end()}; }

// Lets a test make stream set-up fail; everything else goes to zlib's own inflateInit2_.
extern "C" int inflateInit2_(z_streamp strm, int windowBits, const char* version, int size) {
    using Real = int (*)(z_streamp, int, const char*, int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "inflateInit2_"));
    return g_failInflateInit ? Z_MEM_ERROR : real(strm, windowBits, version, size);
}

TEST(Gzip, InteroperatesWithSystemGzip) {
    tavtest::TempDir dir;
    ASSERT_EQ(GzipCompressor::compress({'Q'}, dir.file("one.gz")), Z_OK);
    EXPECT_EQ(GzipCompressor::decompress(dir.file("one.gz")), std::vector<char>{'Q'});

    std::string text, out;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i * 7919 % 1000) + " of the survey\n";
    GzipCompressor gz;
    ASSERT_EQ(gz.compress(bytes(text), dir.file("ours.gz")), Z_OK);
    ASSERT_EQ(tavtest::run("gzip -dc " + dir.file("ours.gz"), &out), 0);
    EXPECT_EQ(out, text);

    // More than 100-fold expansion: the output buffer has to keep growing.
    const std::string big = std::string(300000, 'a') + text;
    tavtest::writeFile(dir.file("theirs"), big);
    ASSERT_EQ(tavtest::run("gzip -9 " + dir.file("theirs")), 0);
    const std::vector<char> packed = bytes(tavtest::readFile(dir.file("theirs.gz")));
    ASSERT_GE(big.size(), packed.size() * 100);
    LogCapture log;
    EXPECT_EQ(str(gz.decompress(packed)), big);
    EXPECT_TRUE(log.has(LOG_ID_MAIN, DLOG_INFO, "Decompression finished success"));
    EXPECT_EQ(str(GzipCompressor::decompress(dir.file("theirs.gz"))), big);
}

TEST(Gzip, FailuresAreReported) {
    tavtest::TempDir dir;
    LogCapture log;
    EXPECT_THROW(GzipCompressor::compress({}, dir.file("empty.gz")), eGzipError);
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Input vector error"));
    EXPECT_FALSE(tavtest::fileExists(dir.file("empty.gz")));
    EXPECT_THROW(GzipCompressor::compress({'x'}, dir.file("no/dir.gz")), eGzipError);
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Output file error: " + dir.file("no/dir.gz")));
    EXPECT_THROW(GzipCompressor::decompress(dir.file("missing.gz")), eGzipError);
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Input file error\n"));
    tavtest::writeFile(dir.file("plain.txt"), "not gzip\n");
    EXPECT_EQ(str(GzipCompressor::decompress(dir.file("plain.txt"))), "not gzip\n");
    EXPECT_TRUE(GzipCompressor::decompress(std::vector<char>{}).empty());
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Data empty"));

    const std::string text(5000, 'z');
    GzipCompressor::compress(bytes(text), dir.file("z.gz"));
    const std::vector<char> gzip = bytes(tavtest::readFile(dir.file("z.gz")));
    std::vector<char> zlib(compressBound(text.size())), badCrc = gzip;
    uLongf zlibSize = zlib.size();
    compress(reinterpret_cast<Bytef*>(zlib.data()), &zlibSize, reinterpret_cast<const Bytef*>(text.data()), text.size());
    zlib.resize(zlibSize);
    badCrc[gzip.size() - 6] ^= 0x55;
    // zlib-wrapped, raw deflate (gzip without its 10-byte header), bad CRC, cut short, one byte
    const std::vector<char> bad[] = {zlib, {gzip.begin() + 10, gzip.end()}, badCrc, {gzip.begin(), gzip.end() - 4},
                                     {gzip.begin(), gzip.begin() + gzip.size() / 2}, {gzip[0]}};
    for (const std::vector<char>& data : bad) {
        log.clear();
        EXPECT_TRUE(GzipCompressor::decompress(data).empty());
        EXPECT_EQ(log.count(LOG_ID_SYSTEM, DLOG_WARN, "inflate Error"), 1);
    }
    g_failInflateInit = true;
    EXPECT_TRUE(GzipCompressor::decompress(gzip).empty());
    g_failInflateInit = false;
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Inflate init2 error"));
    EXPECT_EQ(str(GzipCompressor::decompress(gzip)), text);
}
