#include "tavplat/sound_control.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace tavplat::sound {
namespace {

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
unsigned le16(const unsigned char* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }

bool fail(std::string* error, const char* why) {
    if (error)
        *error = why;
    return false;
}

// Checks a format chunk's numbers: the player has to know how long the sound lasts.
bool usableFormat(const WavInfo& w, std::string* error) {
    switch (w.format) {
    case 1:
    case 0xFFFE:
        if (w.bitsPerSample != 8 && w.bitsPerSample != 16 && w.bitsPerSample != 24 && w.bitsPerSample != 32)
            return fail(error, "unsupported sample size");
        break;
    case 3:
        if (w.bitsPerSample != 32 && w.bitsPerSample != 64)
            return fail(error, "unsupported sample size");
        break;
    case 6:
    case 7:
        if (w.bitsPerSample != 8)
            return fail(error, "unsupported sample size");
        break;
    default:
        return fail(error, "unsupported sample format");
    }
    if (w.channels < 1 || w.channels > 8)
        return fail(error, "unsupported channel count");
    if (w.sampleRate < 1000 || w.sampleRate > 384000)
        return fail(error, "unsupported sample rate");
    if (w.blockAlign != w.channels * (w.bitsPerSample / 8))
        return fail(error, "block size does not match the format");
    return true;
}

} // namespace

uint64_t WavInfo::durationMs() const {
    const uint64_t bytesPerSecond = uint64_t(sampleRate) * blockAlign;
    return bytesPerSecond ? dataBytes * 1000 / bytesPerSecond : 0;
}

std::optional<WavInfo> readWavHeader(const std::string& path, std::string* error) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        fail(error, "cannot open the file");
        return std::nullopt;
    }
    unsigned char riff[12];
    if (std::fread(riff, 1, sizeof riff, file.get()) != sizeof riff || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        fail(error, "not a RIFF/WAVE file");
        return std::nullopt;
    }
    WavInfo info;
    bool haveFormat = false;
    unsigned char head[8];
    // Chunks follow one another, each padded to an even size; unknown ones are skipped.
    while (std::fread(head, 1, sizeof head, file.get()) == sizeof head) {
        const uint32_t size = le32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0) {
            unsigned char fmt[40] = {};
            if (size < 16 || size > sizeof fmt || std::fread(fmt, 1, size, file.get()) != size) {
                fail(error, "broken format chunk");
                return std::nullopt;
            }
            info.format = le16(fmt);
            info.channels = le16(fmt + 2);
            info.sampleRate = le32(fmt + 4);
            info.blockAlign = le16(fmt + 12);
            info.bitsPerSample = le16(fmt + 14);
            if (!usableFormat(info, error))
                return std::nullopt;
            haveFormat = true;
            if ((size & 1) && std::fseek(file.get(), 1, SEEK_CUR) != 0)
                break;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) {
                fail(error, "data before the format chunk");
                return std::nullopt;
            }
            // A file cut short plays what it holds.
            const long start = std::ftell(file.get());
            if (start < 0 || std::fseek(file.get(), 0, SEEK_END) != 0) {
                fail(error, "cannot read the data chunk");
                return std::nullopt;
            }
            const long end = std::ftell(file.get());
            const uint64_t present = end > start ? uint64_t(end - start) : 0;
            info.dataBytes = std::min<uint64_t>(size, present);
            return info;
        } else if (std::fseek(file.get(), long(size) + (size & 1), SEEK_CUR) != 0) {
            break;
        }
    }
    fail(error, haveFormat ? "no data chunk" : "no format chunk");
    return std::nullopt;
}

} // namespace tavplat::sound
