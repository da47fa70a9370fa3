#include "GzipCompressor.h"

#include "TavLog.h"

#include <zlib.h>

#include <new>

namespace {

// Closes a gzip file on the paths that do not need gzclose's result.
struct GzFileCloser {
    gzFile file;
    ~GzFileCloser() {
        if (file)
            gzclose(file);
    }
};

// Ends an initialised inflate stream on every way out of decompress.
struct InflateEnder {
    z_stream* stream;
    ~InflateEnder() { inflateEnd(stream); }
};

// 15-bit window, gzip wrapper required (16 + 15): zlib-wrapped and raw deflate data are refused.
constexpr int kGzipWindowBits = 31;

} // namespace

int GzipCompressor::compress(const std::vector<char>& data, const std::string& path) {
    if (data.empty()) {
        SLOGW("Input vector error");
        throw eGzipFailed;
    }
    gzFile file = gzopen(path.c_str(), "wb");
    if (!file) {
        SLOGW("Output file error: %s", path.c_str());
        throw eGzipFailed;
    }
    gzwrite(file, data.data(), static_cast<unsigned>(data.size()));
    return gzclose(file);
}

std::vector<char> GzipCompressor::decompress(const std::string& path) {
    const GzFileCloser in{gzopen(path.c_str(), "rb")};
    if (!in.file) {
        SLOGW("Input file error\n");
        throw eGzipFailed;
    }
    std::vector<char> out;
    char byte;
    // A read error ends the data like the end of the file does.
    while (gzread(in.file, &byte, 1) >= 1)
        out.push_back(byte);
    return out;
}

std::vector<char> GzipCompressor::decompress(const std::vector<char>& data) {
    if (data.empty()) {
        SLOGW("Data empty");
        return {};
    }
    std::vector<unsigned char> input(data.begin(), data.end());
    std::vector<unsigned char> output(input.size(), 0);

    z_stream stream{};
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(input.size());
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) {
        SLOGW("Inflate init2 error");
        return {};
    }
    const InflateEnder ender{&stream};

    // The buffer grows by half the input size whenever it is full; an input of one byte cannot
    // grow it, and inflate then reports that it can make no progress.
    try {
        for (;;) {
            if (stream.total_out >= output.size())
                output.resize(output.size() + input.size() / 2, 0);
            stream.next_out = output.data() + stream.total_out;
            stream.avail_out = static_cast<uInt>(output.size() - stream.total_out);
            const int rc = inflate(&stream, Z_SYNC_FLUSH);
            if (rc == Z_STREAM_END) {
                LOGI("Decompression finished success");
                return std::vector<char>(output.begin(), output.begin() + stream.total_out);
            }
            if (rc != Z_OK)
                break;
        }
    } catch (const std::bad_alloc&) {
        // Out of memory for the growing buffer: reported like any other failure below.
    }
    SLOGW("inflate Error");
    return {};
}
