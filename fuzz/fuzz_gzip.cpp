// GzipCompressor::decompress on arbitrary bytes, checked against a plain zlib inflate of the same
// bytes: a complete gzip stream (anything after its end is ignored) gives exactly its content,
// anything else an empty result.
#include "FuzzSupport.h"
#include "GzipCompressor.h"

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace {

// The reference: one gzip member, inflated in one go into a buffer that grows as needed.
bool inflateGzip(const uint8_t* data, size_t size, std::vector<char>& out) {
    z_stream zs{};
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        return false;
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    int rc = Z_OK;
    char buf[16384];
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
    }
    inflateEnd(&zs);
    return rc == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<char> input(data, data + size);
    const std::vector<char> result = GzipCompressor::decompress(input);
    std::vector<char> expected;
    if (inflateGzip(data, size, expected))
        FUZZ_CHECK(result == expected);
    else
        FUZZ_CHECK(result.empty());
    return 0;
}
