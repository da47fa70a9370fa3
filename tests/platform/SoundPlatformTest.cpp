// The WAV player's header check and real-time loop, and the TV sound manager's stored state.
#include <sound_manager.h>
#include <vconf.h>
#include <wav_player.h>

#include "TestSupport.h"
#include "tavplat/platform.h"
#include "tavplat/sound_control.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace sound = tavplat::sound;

namespace {

void put(std::string& w, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        w += char(v >> (8 * i));
}
std::string fmtChunk(unsigned format, unsigned channels, unsigned rate, unsigned bits) {
    std::string c = "fmt ";
    put(c, 16, 4); put(c, format, 2); put(c, channels, 2); put(c, rate, 4);
    put(c, rate * channels * bits / 8, 4); put(c, channels * bits / 8, 2); put(c, bits, 2);
    return c;
}
// RIFF/WAVE around the given chunks; `data` bytes are declared, `present` written.
std::string wav(const std::string& chunksBefore, uint32_t declared, uint32_t present) {
    std::string w = "RIFF____WAVE" + chunksBefore + "data";
    put(w, declared, 4);
    return w.append(present, '\0');
}

struct Completion {
    std::atomic<int> calls{0};
    std::atomic<int> id{0};
    static void cb(int id, void* self) {
        auto* c = static_cast<Completion*>(self);
        c->id = id;
        c->calls++;
        EXPECT_EQ(WAV_PLAYER_ERROR_INVALID_OPERATION, wav_player_stop(id));   // already ended
    }
};

} // namespace

TEST(WavPlayer, HeaderCheck) {
    tavtest::TempDir dir;
    auto check = [&](const std::string& bytes, std::string* why = nullptr) {
        tavtest::writeFile(dir.file("f.wav"), bytes);
        return sound::readWavHeader(dir.file("f.wav"), why);
    };
    // A padded odd-sized chunk before the format is skipped; 8000 bytes of 16-bit stereo 8 kHz = 250 ms.
    std::string list = "LIST";
    put(list, 3, 4);
    list += "abc";
    list += '\0';
    auto info = check(wav(list + fmtChunk(1, 2, 8000, 16), 8000, 8000));
    ASSERT_TRUE(info);
    EXPECT_EQ(250u, info->durationMs());
    // A file cut short plays what it holds.
    info = check(wav(fmtChunk(1, 1, 8000, 16), 16000, 1600));
    ASSERT_TRUE(info);
    EXPECT_EQ(100u, info->durationMs());

    std::string why;
    EXPECT_FALSE(check("RIFF____AVI LIST", &why));
    EXPECT_EQ("not a RIFF/WAVE file", why);
    EXPECT_FALSE(check(wav(fmtChunk(0x55, 2, 44100, 16), 100, 100), &why));   // compressed
    EXPECT_EQ("unsupported sample format", why);
    EXPECT_FALSE(check(wav(fmtChunk(1, 0, 44100, 16), 100, 100)));
    EXPECT_FALSE(check(wav("", 100, 100), &why));
    EXPECT_EQ("data before the format chunk", why);
    EXPECT_FALSE(check("RIFF____WAVE" + fmtChunk(1, 1, 8000, 8), &why));
    EXPECT_EQ("no data chunk", why);
    EXPECT_FALSE(sound::readWavHeader(dir.file("absent.wav")));

    int id = -7;
    EXPECT_EQ(WAV_PLAYER_ERROR_INVALID_PARAMETER, wav_player_start_loop(dir.file("absent.wav").c_str(), nullptr, 0, nullptr, nullptr, &id));
    EXPECT_EQ(WAV_PLAYER_ERROR_FORMAT_NOT_SUPPORTED, wav_player_start_loop(dir.file("f.wav").c_str(), nullptr, 0, nullptr, nullptr, &id));
    EXPECT_EQ(-7, id);
}

TEST(WavPlayer, CountedLoopCompletesInRealTime) {
    tavtest::TempDir dir;
    tavtest::writeFile(dir.file("t.wav"), wav(fmtChunk(1, 1, 8000, 16), 480, 480));   // 30 ms
    sound_stream_info_h info = nullptr;
    ASSERT_EQ(0, sound_manager_create_stream_information_internal(107, nullptr, nullptr, &info));
    Completion done;
    int id = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, wav_player_start_loop(dir.file("t.wav").c_str(), info, 3, &Completion::cb, &done, &id));
    EXPECT_EQ(0, sound_manager_destroy_stream_information(info));   // the playback does not need it
    ASSERT_TRUE(tavtest::waitFor([&] { return done.calls > 0; }, 3000));
    EXPECT_EQ(1, done.calls.load());
    EXPECT_EQ(id, done.id.load());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));   // 3 passes of 30 ms
    EXPECT_TRUE(sound::activePlaybacks().empty());
    const auto journal = tavplat::journalRead("wav_player");
    ASSERT_EQ(2u, journal.size());
    EXPECT_EQ("complete " + std::to_string(id), journal[1]);

    // A destroyed stream information is refused; a stopped playback never completes.
    EXPECT_EQ(WAV_PLAYER_ERROR_INVALID_PARAMETER, wav_player_start_loop(dir.file("t.wav").c_str(), info, 1, nullptr, nullptr, &id));
    ASSERT_EQ(0, wav_player_start_loop(dir.file("t.wav").c_str(), nullptr, 1, &Completion::cb, &done, &id));
    EXPECT_EQ(0, wav_player_stop(id));   // returns once the playback's thread is done with it
    EXPECT_EQ(1, done.calls.load());
    EXPECT_EQ("stop " + std::to_string(id), tavplat::journalRead("wav_player").back());
}

TEST(SoundManager, StateIsKeptInTheSettingsStore) {
    int level = -1;
    ASSERT_EQ(0, sound_manager_get_tv_master_volume(&level));
    EXPECT_EQ(20, level);   // a television that was never set
    EXPECT_EQ(SOUND_MANAGER_ERROR_INVALID_PARAMETER, sound_manager_set_tv_master_volume(101));
    EXPECT_EQ(SOUND_MANAGER_ERROR_INVALID_PARAMETER, sound_manager_set_tv_master_volume(-1));
    ASSERT_EQ(0, sound_manager_set_tv_master_volume(0));
    int stored = -1;
    ASSERT_EQ(0, vconf_get_int("db/sound-manager/tv/master_volume", &stored));
    EXPECT_EQ(0, stored);
    ASSERT_EQ(0, vconf_set_int("db/sound-manager/tv/master_volume", 64));   // e.g. another process
    ASSERT_EQ(0, sound_manager_get_tv_master_volume(&level));
    EXPECT_EQ(64, level);

    ASSERT_EQ(0, sound_manager_set_tv_master_mute(true));
    bool muted = false;
    ASSERT_EQ(0, sound_manager_get_tv_master_mute(&muted));
    EXPECT_TRUE(muted);
    tavplat::test::setFault("db/sound-manager/tv/master_mute", tavplat::FaultMode::Fail);
    EXPECT_NE(0, sound_manager_get_tv_master_mute(&muted));
    tavplat::test::clearFaults();
    EXPECT_EQ(SOUND_MANAGER_ERROR_INVALID_PARAMETER, sound_manager_set_speaker_selection(static_cast<sound_manager_speaker_e>(9)));
}
