// Inspection of the sound stand-ins, for tests and tools.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavplat::sound {

// What the WAV player reads from a file's header.
struct WavInfo {
    unsigned format = 0;          // 1 PCM, 3 float, 6 A-law, 7 mu-law, 0xFFFE extensible
    unsigned channels = 0;
    unsigned sampleRate = 0;
    unsigned bitsPerSample = 0;
    unsigned blockAlign = 0;
    uint64_t dataBytes = 0;       // the data present in the file (a short file is cut there)
    uint64_t durationMs() const;
};
// Empty when the file cannot be read or is not a usable WAV file; `error` says why.
std::optional<WavInfo> readWavHeader(const std::string& path, std::string* error = nullptr);

// Number of stream informations created and not yet destroyed.
int liveStreamInformation();

struct PlaybackState {
    std::string path;
    unsigned count = 0;           // passes asked for, 0 without end
    unsigned passesDone = 0;
};
std::vector<int> activePlaybacks();
std::optional<PlaybackState> playback(int id);

} // namespace tavplat::sound
