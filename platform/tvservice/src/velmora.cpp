#include "Velmora.h"
#include "tavtv/test_control.h"

#include "common.h"

#include <atomic>

using tavplat::FaultMode;
using tavtv::detail::fault;
using tavtv::detail::profileInt;
using tavtv::detail::storeInt;

namespace {

std::atomic<int> g_created{0};
std::atomic<int> g_destroyed{0};

template <typename T>
T* track(T* session) {
    ++g_created;
    return session;
}

class TunerControl : public ITunerControl {
public:
    int GetSignalStrength(int tuner, unsigned char* strength) override {
        tavplat::journalAppend("velmora", "GetSignalStrength tuner=" + std::to_string(tuner));
        if (fault("ITunerControl::GetSignalStrength") != FaultMode::None || !strength || tuner < 0)
            return 0;
        auto v = profileInt("tv/signal_strength");
        if (!v || *v < 0 || *v > 255)
            return 0;
        *strength = static_cast<unsigned char>(*v);
        return 1;
    }

    int GetSNR(uint32_t* snr) override {
        if (fault("ITunerControl::GetSNR") != FaultMode::None || !snr)
            return 0;
        auto v = tavplat::profileInt("tv/snr");
        if (!v || *v < 0 || *v > UINT32_MAX)
            return 0;
        *snr = static_cast<uint32_t>(*v);
        return 1;
    }
};

class VideoControl : public IVideoControl {
public:
    int GetPictureSize(int* size) override {
        if (fault("IVideoControl::GetPictureSize") != FaultMode::None || !size)
            return -1;
        auto v = profileInt("tv/picture_size");
        if (!v)
            return -1;
        *size = *v;
        return 0;
    }

    int SetPictureSize(int size, int /*apply*/) override {
        if (fault("IVideoControl::SetPictureSize") != FaultMode::None || size < 0)
            return -1;
        return storeInt("tv/picture_size", size) ? 0 : -1;
    }
};

class ServiceNavigation : public IServiceNavigation {
public:
    int GetTvMode(TSTvMode& mode) override {
        if (fault("IServiceNavigation::GetTvMode") != FaultMode::None)
            return -1;
        auto antenna = profileInt("tv/pip_antenna_mode");
        auto service = profileInt("tv/pip_service_mode");
        if (!antenna)
            return -1;
        mode.SetAntennaMode(static_cast<EAntennaMode>(*antenna));
        mode.SetServiceMode(static_cast<EServiceMode>(service.value_or(SERVICE_MODE_NONE)));
        return 0;
    }

    // A service mode of SERVICE_MODE_NONE leaves the stored one as it is.
    int SetTvMode(const TSTvMode& mode, const std::string& /*reason*/) override {
        if (fault("IServiceNavigation::SetTvMode") != FaultMode::None || mode.AntennaMode() < ANTENNA_MODE_NONE)
            return -1;
        if (!storeInt("tv/pip_antenna_mode", mode.AntennaMode()))
            return -1;
        if (mode.ServiceMode() != SERVICE_MODE_NONE && !storeInt("tv/pip_service_mode", mode.ServiceMode()))
            return -1;
        return 0;
    }
};

} // namespace

std::string TSTvMode::Marshal() const {
    return "antenna=" + std::to_string(m_antennaMode) + ";service=" + std::to_string(m_serviceMode);
}

namespace Velmora {

// Sessions and tuner queries are journalled ("velmora") with the profile and tuner they name,
// which pick the picture path and the tuner on the television.
static void record(const std::string& entry) { tavplat::journalAppend("velmora", entry); }

int CreateTunerControl(EProfile profile, int flags, ITunerControl** control) {
    record("CreateTunerControl profile=" + std::to_string(static_cast<int>(profile)) + " flags=" + std::to_string(flags));
    if (!control)
        return -1;
    if (fault("Velmora::CreateTunerControl") != FaultMode::None)
        return -1;
    *control = track(new TunerControl);
    return 0;
}

int CreateVideoControl(EProfile profile, int flags, IVideoControl** control) {
    record("CreateVideoControl profile=" + std::to_string(static_cast<int>(profile)) + " flags=" + std::to_string(flags));
    if (!control)
        return -1;
    if (fault("Velmora::CreateVideoControl") != FaultMode::None)
        return -1;
    *control = track(new VideoControl);
    return 0;
}

int CreateServiceNavigation(EProfile profile, int flags, IServiceNavigation** navigation) {
    record("CreateServiceNavigation profile=" + std::to_string(static_cast<int>(profile)) + " flags=" + std::to_string(flags));
    if (!navigation)
        return -1;
    if (fault("Velmora::CreateServiceNavigation") != FaultMode::None)
        return -1;
    *navigation = track(new ServiceNavigation);
    return 0;
}

void Destroy(ITvsSession* session) {
    if (!session)
        return;
    fault("Velmora::Destroy");   // only a delay applies: releasing cannot fail
    ++g_destroyed;
    delete session;
}

} // namespace Velmora

namespace tavtv::test {

SessionCounts velmoraSessions() { return {g_created.load(), g_destroyed.load()}; }

void resetVelmoraSessions() {
    g_created = 0;
    g_destroyed = 0;
}

} // namespace tavtv::test
