// TV service library (stand-in): tuner control, video control and service navigation sessions.
// Values come from the device profile ("tv/..." keys) and writes persist there. Every call
// consults the fault switch of its own name ("Velmora::CreateTunerControl",
// "ITunerControl::GetSNR", ...), so a test can make it fail or be slow.
#pragma once

#include <cstdint>
#include <string>

// Which client a session serves; the numbers belong to the television's service layer.
enum EProfile : int {
    PROFILE_MAIN = 1,
    PROFILE_PIP = 101,
};

enum EAntennaMode : int {
    ANTENNA_MODE_NONE = -1,
    ANTENNA_MODE_AIR = 0,
    ANTENNA_MODE_CABLE = 1,
    ANTENNA_MODE_SATELLITE = 2,
};

enum EServiceMode : int {
    SERVICE_MODE_NONE = -1,
    SERVICE_MODE_ATV = 0,
    SERVICE_MODE_DTV = 1,
};

// Base of the values that cross the service layer's process boundary.
class TCMarshalable {
public:
    virtual ~TCMarshalable() = default;
    // "<field>=<value>;..." form of the value, as it would travel.
    virtual std::string Marshal() const = 0;
};

class TSTvMode : public TCMarshalable {
public:
    TSTvMode(EAntennaMode antennaMode, EServiceMode serviceMode)
        : m_antennaMode(antennaMode), m_serviceMode(serviceMode) {}

    EAntennaMode AntennaMode() const { return m_antennaMode; }
    EServiceMode ServiceMode() const { return m_serviceMode; }
    void SetAntennaMode(EAntennaMode mode) { m_antennaMode = mode; }
    void SetServiceMode(EServiceMode mode) { m_serviceMode = mode; }
    std::string Marshal() const override;

private:
    EAntennaMode m_antennaMode;
    EServiceMode m_serviceMode;
};

// A session with the service layer; every session is released with Velmora::Destroy.
class ITvsSession {
public:
    virtual ~ITvsSession() = default;
};

class ITunerControl : public ITvsSession {
public:
    // Signal strength of tuner `tuner` (1 = the main tuner); returns 1 on success.
    virtual int GetSignalStrength(int tuner, unsigned char* strength) = 0;
    // Signal-to-noise ratio in hundredths of a dB; returns 1 on success.
    virtual int GetSNR(uint32_t* snr) = 0;
};

class IVideoControl : public ITvsSession {
public:
    // Negative on failure.
    virtual int GetPictureSize(int* size) = 0;
    virtual int SetPictureSize(int size, int apply) = 0;
};

class IServiceNavigation : public ITvsSession {
public:
    // Negative on failure.
    virtual int GetTvMode(TSTvMode& mode) = 0;
    virtual int SetTvMode(const TSTvMode& mode, const std::string& reason) = 0;
};

namespace Velmora {
// 0 on success (the session is stored in *control); non-zero and no session on failure.
int CreateTunerControl(EProfile profile, int flags, ITunerControl** control);
// The result is not meaningful to callers: a session was created when *control is non-null.
int CreateVideoControl(EProfile profile, int flags, IVideoControl** control);
int CreateServiceNavigation(EProfile profile, int flags, IServiceNavigation** navigation);
// Releases any session created above; null is ignored.
void Destroy(ITvsSession* session);
} // namespace Velmora
