// Tuner, picture, antenna and power-counter operations of DevicePropertiesGeneral.
#include "DevicePropertiesGeneral.h"

#include "Excpn.h"
#include "TavLog.h"
#include "Utils.h"

#include <IPowerControl.h>
#include <Velmora.h>
#include <qorv.h>
#include <system_info.h>

#include <cstdint>
#include <sstream>

namespace deviceinfo {

namespace {

const char kHdrPlusSupportKey[] = "com.kestova/featureconf/hdr_plus_support";
constexpr int kQorvSource = 1;
constexpr int kTunerSuccess = 1;

// A TV service session, released with Velmora::Destroy on every path out of the operation.
template <typename T>
class Session {
public:
    Session() = default;
    ~Session() { Velmora::Destroy(m_session); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    T** out() { return &m_session; }
    T* operator->() const { return m_session; }
    explicit operator bool() const { return m_session != nullptr; }

private:
    T* m_session = nullptr;
};

[[noreturn]] void failed() { throw Excpn<eTavCommandResultCode>("Failed.", TAV_COMMAND_RESULT_FAILURE); }

} // namespace

// ---------------------------------------------------------------- tuner

std::string DevicePropertiesGeneral::getSignalStrength(eMenuValueType type, const std::string&) {
    if (type == MENU_VALUE_DEFAULT)
        return "";
    LOGD("creating tuner control object");
    Session<ITunerControl> tuner;
    if (Velmora::CreateTunerControl(PROFILE_MAIN, 0, tuner.out()) != 0) {
        SLOGW("FAILURE while creating tuner control object");
        return "";
    }
    LOGD("getting signal strength");
    unsigned char strength = 0;
    const int rc = tuner->GetSignalStrength(1, &strength);
    LOGD("got signal strength %u", static_cast<unsigned>(strength));
    if (rc != kTunerSuccess) {
        SLOGW("FAILURE while getting signal strength");
        return "";
    }
    const std::string text = std::to_string(static_cast<unsigned>(strength)) + " dB";
    LOGI("signal strength: %s", text.c_str());
    return text;
}

std::string DevicePropertiesGeneral::getSNRLevel(const std::string&) {
    LOGD("%s", "getting snr level");
    Session<ITunerControl> tuner;
    if (Velmora::CreateTunerControl(PROFILE_MAIN, 0, tuner.out()) != 0) {
        SLOGW("FAILURE while creating tuner control object");
        return "";
    }
    LOGI("getting snr level");
    uint32_t level = 0;
    const int rc = tuner->GetSNR(&level);
    LOGD("got snr level %d", static_cast<int>(level));
    if (rc != kTunerSuccess) {
        SLOGW("FAILURE while getting SNR level %d", rc);
        return "0";
    }
    // The tuner reports hundredths of a dB; the default stream format drops trailing zeros.
    const uint32_t whole = level / 100;
    const uint32_t hundredths = level % 100;
    std::ostringstream out;
    out << (hundredths / 100.0 + whole) << " dB";
    const std::string text = out.str();
    LOGI("snr level: %s", text.c_str());
    return text;
}

// ---------------------------------------------------------------- picture and antenna

std::string DevicePropertiesGeneral::getPictureSize(const std::string&) {
    std::string result = "0";
    Session<IVideoControl> video;
    Velmora::CreateVideoControl(PROFILE_MAIN, 0, video.out());
    if (!video) {
        SLOGW("VideoControl is NULL !!");
        return result;
    }
    int size = 0;
    if (video->GetPictureSize(&size) < 0) {
        SLOGW("Failed to get PictureSize!!");
        return result;
    }
    return std::to_string(size);
}

void DevicePropertiesGeneral::setPictureSize(const std::string& value) {
    Session<IVideoControl> video;
    Velmora::CreateVideoControl(PROFILE_MAIN, 0, video.out());
    const int size = StringToInteger::Convert(value);
    if (!video) {
        SLOGW("VideoControl is NULL");
        failed();
    }
    if (video->SetPictureSize(size, 1) < 0) {
        SLOGW("Failed to set PictureSize!!");
        failed();
    }
}

std::string DevicePropertiesGeneral::getPIPAerial(const std::string&) {
    std::string result = "0";
    Session<IServiceNavigation> navigation;
    Velmora::CreateServiceNavigation(PROFILE_PIP, 0, navigation.out());
    TSTvMode mode(ANTENNA_MODE_NONE, SERVICE_MODE_NONE);
    if (!navigation) {
        SLOGW("ServiceNavigation is NULL");
        return result;
    }
    if (navigation->GetTvMode(mode) < 0) {
        SLOGW("Failed to get Aerial !!");
        return result;
    }
    return std::to_string(static_cast<int>(mode.AntennaMode()));
}

void DevicePropertiesGeneral::setPIPAerial(const std::string& value) {
    Session<IServiceNavigation> navigation;
    Velmora::CreateServiceNavigation(PROFILE_PIP, 0, navigation.out());
    const int antenna = StringToInteger::Convert(value);
    if (!navigation) {
        SLOGW("ServiceNavigation is NULL");
        failed();
    }
    const TSTvMode mode(static_cast<EAntennaMode>(antenna), SERVICE_MODE_NONE);
    if (navigation->SetTvMode(mode, "") < 0) {
        SLOGW("Failed to set Aerial!!");
        failed();
    }
}

std::string DevicePropertiesGeneral::getGrayscaleValue(const std::string&) {
    int value = 0;
    qorv_get_video_gray_onoff(&value);
    LOGD("Grayscale value = [%d]", value);
    return std::to_string(value);
}

void DevicePropertiesGeneral::setGrayscaleValue(const std::string& value) {
    const int number = StringToInteger::Convert(value);
    qorv_set_video_gray_onoff(number);
    LOGD("Grayscale value is set to [%d]", number);
}

void DevicePropertiesGeneral::setQorvHDRPlusMode(const std::string& value) {
    LOGI("");
    try {
        const int requested = std::stoi(value);
        int current = 0;
        const int readResult = qorv_get_hdr_plus_mode(&current, kQorvSource);
        LOGD("Current QORV Value: %d", current);
        if (readResult == 0 && current == requested) {
            LOGD("Values are alreday equal");
            return;
        }
        const int rc = qorv_set_hdr_plus_mode(requested, kQorvSource);
        if (rc != 0)
            SLOGW("Operation failed, error: %d", rc);
    } catch (const std::exception& e) {
        SLOGW("[ERROR] %s", e.what());
    }
}

void DevicePropertiesGeneral::setQorvPictureMode(const std::string& value) {
    LOGI("");
    try {
        const int requested = std::stoi(value);
        bool hdrPlusSupported = false;
        if (system_info_get_custom_bool(kHdrPlusSupportKey, &hdrPlusSupported) == SYSTEM_INFO_ERROR_NONE &&
            hdrPlusSupported) {
            // With HDR+ on the picture mode is fixed by the panel; writing it would be ignored.
            int hdrMode = 0;
            const int readResult = qorv_get_hdr_plus_mode(&hdrMode, kQorvSource);
            LOGD("Current QORV Value: %d", hdrMode);
            if (readResult == 0 && hdrMode == 1) {
                LOGI("HDR Mode is ON. No need to set Picture Mode");
                return;
            }
        }
        const int rc = qorv_set_picture_mode(0, requested, kQorvSource);
        if (rc != 0)
            SLOGW("Operation failed, error: %d", rc);
    } catch (const std::exception& e) {
        SLOGW("[ERROR] %s", e.what());
    }
}

// ---------------------------------------------------------------- power counters

std::string DevicePropertiesGeneral::getVccFailCount() {
    unsigned int count = 0;
    if (IPowerControl::getInstance()->GetVccFailCount(&count) < 0) {
        SLOGW("fail to get power fail count");
        return "";
    }
    return std::to_string(count);
}

std::string DevicePropertiesGeneral::getWatchDogCount() {
    unsigned int count = 0;
    if (IPowerControl::getInstance()->GetWatchDogCount(&count) < 0) {
        SLOGW("fail to get watchdog count");
        return "";
    }
    return std::to_string(count);
}

} // namespace deviceinfo
