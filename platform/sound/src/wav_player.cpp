#include <wav_player.h>
#include <sound_manager.h>

#include "internal.h"
#include "tavplat/platform.h"
#include "tavplat/sound_control.h"

#include <dlog.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

const char* const kTag = "WAV_PLAYER";
const char* const kJournal = "wav_player";
// A sound without samples still takes a little time per pass, so an endless loop of it does
// not spin.
const std::chrono::milliseconds kMinimumPass(10);

struct Playback {
    int id = 0;
    std::string path;
    unsigned count = 0;
    std::chrono::milliseconds pass{0};
    wav_player_playback_completed_cb callback = nullptr;
    void* userData = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    bool stopRequested = false;
    bool finished = false;
    unsigned passesDone = 0;
    std::thread::id thread;
};

// Playbacks that run; one leaves the table when it is stopped or has called its callback.
struct Registry {
    std::mutex mutex;
    std::map<int, std::shared_ptr<Playback>> active;
    int nextId = 1;
};

Registry& registry() {
    static auto* r = new Registry;   // player threads may outlive static destruction
    return *r;
}

bool takeFromRegistry(int id, std::shared_ptr<Playback>* out) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.active.find(id);
    if (it == r.active.end())
        return false;
    if (out)
        *out = it->second;
    r.active.erase(it);
    return true;
}

void run(std::shared_ptr<Playback> p) {
    {
        std::unique_lock<std::mutex> lock(p->mutex);
        p->thread = std::this_thread::get_id();
        while (p->count == 0 || p->passesDone < p->count) {
            if (p->changed.wait_for(lock, p->pass, [&] { return p->stopRequested; }))
                break;
            ++p->passesDone;
        }
    }
    // Whoever takes the playback out of the table owns its ending: a stop, or this completion.
    if (takeFromRegistry(p->id, nullptr)) {
        tavplat::journalAppend(kJournal, "complete " + std::to_string(p->id));
        dlog_print(DLOG_INFO, kTag, "playback %d completed after %u passes", p->id, p->passesDone);
        if (p->callback)
            p->callback(p->id, p->userData);
    }
    std::lock_guard<std::mutex> lock(p->mutex);
    p->finished = true;
    p->changed.notify_all();
}

} // namespace

namespace tavplat::sound {

std::vector<int> activePlaybacks() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<int> ids;
    for (const auto& entry : r.active)
        ids.push_back(entry.first);
    return ids;
}

std::optional<PlaybackState> playback(int id) {
    std::shared_ptr<Playback> p;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.active.find(id);
        if (it == r.active.end())
            return std::nullopt;
        p = it->second;
    }
    std::lock_guard<std::mutex> lock(p->mutex);
    return PlaybackState{p->path, p->count, p->passesDone};
}

} // namespace tavplat::sound

extern "C" {

int wav_player_start_loop(const char* path, sound_stream_info_h stream_info, unsigned int count,
                          wav_player_playback_completed_cb callback, void* user_data, int* id) {
    if (!path || !*path || !id)
        return WAV_PLAYER_ERROR_INVALID_PARAMETER;
    if (tavplat::checkFault("wav_player_start_loop").mode != tavplat::FaultMode::None)
        return WAV_PLAYER_ERROR_INVALID_OPERATION;
    if (stream_info && !tavplat::sound::detail::streamInfoLive(stream_info))
        return WAV_PLAYER_ERROR_INVALID_PARAMETER;
    std::string why;
    const auto header = tavplat::sound::readWavHeader(path, &why);
    if (!header) {
        dlog_print(DLOG_WARN, kTag, "%s: %s", path, why.c_str());
        return why == "cannot open the file" ? WAV_PLAYER_ERROR_INVALID_PARAMETER
                                             : WAV_PLAYER_ERROR_FORMAT_NOT_SUPPORTED;
    }

    auto p = std::make_shared<Playback>();
    p->path = path;
    p->count = count;
    p->pass = std::max(kMinimumPass, std::chrono::milliseconds(header->durationMs()));
    p->callback = callback;
    p->userData = user_data;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        p->id = r.nextId++;
        r.active[p->id] = p;
    }
    // The stream type decides the output path on the television; recorded so that it can be seen.
    int streamType = -1;
    const std::string stream = stream_info && sound_manager_get_type_from_stream_information_internal(stream_info, &streamType) == 0
                                   ? std::to_string(streamType) : "none";
    tavplat::journalAppend(kJournal, "start " + std::to_string(p->id) + " " + p->path + " count=" +
                                         std::to_string(count) + " ms=" + std::to_string(p->pass.count()) +
                                         " stream=" + stream);
    dlog_print(DLOG_INFO, kTag, "playback %d of %s (%u channels, %u Hz, %lld ms a pass)", p->id, path,
               header->channels, header->sampleRate, static_cast<long long>(p->pass.count()));
    *id = p->id;
    std::thread(run, p).detach();
    return WAV_PLAYER_ERROR_NONE;
}

int wav_player_stop(int id) {
    if (tavplat::checkFault("wav_player_stop").mode != tavplat::FaultMode::None)
        return WAV_PLAYER_ERROR_INVALID_OPERATION;
    std::shared_ptr<Playback> p;
    if (!takeFromRegistry(id, &p))
        return WAV_PLAYER_ERROR_INVALID_OPERATION;
    std::unique_lock<std::mutex> lock(p->mutex);
    p->stopRequested = true;
    p->changed.notify_all();
    // Wait for the player thread to end, unless this is that thread (a completion callback
    // stopping another playback is fine; its own id is no longer in the table).
    if (p->thread != std::this_thread::get_id())
        p->changed.wait(lock, [&] { return p->finished; });
    tavplat::journalAppend(kJournal, "stop " + std::to_string(id));
    dlog_print(DLOG_INFO, kTag, "playback %d stopped after %u passes", id, p->passesDone);
    return WAV_PLAYER_ERROR_NONE;
}

} // extern "C"
