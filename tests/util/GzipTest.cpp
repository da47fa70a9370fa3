#include "GzipCompressor.h"
#include "TestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <dlfcn.h>

namespace {

using tavplat::test::LogCapture;

bool g_failInflateInit = false;

std::vector<char> bytes(const std::string& s) { return {s.begin(), s.end()}; }
std::string str(const std::vector<char>& v) { return {v.begin(), v.end()}; }

std::vector<char> deflated(const std::string& s, int windowBits) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::vector<char> out(deflateBound(&z, s.size()));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
    z.avail_in = static_cast<uInt>(s.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace

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

    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i * 7919 % 1000) + " of the survey\n";
    GzipCompressor gz;
    ASSERT_EQ(gz.compress(bytes(text), dir.file("ours.gz")), Z_OK);
    std::string out;
    ASSERT_EQ(tavtest::run("gzip -dc " + dir.file("ours.gz"), &out), 0);
    EXPECT_EQ(out, text);

    // 100-fold (and more) expansion: the output buffer has to keep growing.
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
    EXPECT_THROW(GzipCompressor::compress({'x'}, dir.file("no/such/dir.gz")), eGzipError);
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Output file error: " + dir.file("no/such/dir.gz")));
    EXPECT_THROW(GzipCompressor::decompress(dir.file("missing.gz")), eGzipError);
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Input file error\n"));
    tavtest::writeFile(dir.file("plain.txt"), "not gzip\n");
    EXPECT_EQ(str(GzipCompressor::decompress(dir.file("plain.txt"))), "not gzip\n");

    EXPECT_TRUE(GzipCompressor::decompress(std::vector<char>{}).empty());
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Data empty"));

    const std::string text(5000, 'z');
    const std::vector<char> gzip = deflated(text, 31);
    ASSERT_EQ(str(GzipCompressor::decompress(gzip)), text);
    std::vector<char> badCrc = gzip;
    badCrc[badCrc.size() - 6] ^= 0x55;
    const std::vector<char> bad[] = {deflated(text, 15), deflated(text, -15), badCrc, {gzip.begin(), gzip.end() - 4},
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
}
