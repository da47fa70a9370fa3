// Answers about the television itself: identity, network adapters, tuner, picture settings,
// power counters, menu language code and the service's server address. Every answer is text;
// nothing is cached, so each call asks its platform source again. Construct one on the stack
// for the calls at hand.
#pragma once

#include "DeviceInfoTypes.h"

#include <map>
#include <string>

namespace deviceinfo {

class DevicePropertiesGeneral {
public:
    // `param` is ignored everywhere except by getFactoryTavServer; callers pass "".

    // ---- identity ----
    std::string getModelName(const std::string& param);
    std::string getSerialNumber(const std::string& param) const;
    std::string getFirmwareVersion(const std::string& param);
    std::string getFirmCode(const std::string& param);
    std::string getModelId(eMenuValueType type, const std::string& param);
    std::string getLocalSet(eMenuValueType type, const std::string& param);
    std::string getSWBuildDate(const std::string& param);
    std::string getSystemRelease();
    std::string getCountryCode(const std::string& param);
    std::string getDateOfPurchase(const std::string& param);
    std::string getProductYear(const std::string& param);
    std::string getProductType(eMenuValueType type, const std::string& param);
    std::string getDeviceType(eMenuValueType type, const std::string& param);
    std::string getCordiaVersion(const std::string& param);
    std::string getDUID(const std::string& param);
    // Key material: may hold zero bytes; its length is the one the key store reports.
    std::string getnESN(const std::string& param);
    std::string getLanguageCode(eMenuValueType type, const std::string& param);

    // ---- network adapters ----
    std::string getBluetoothAddr(const std::string& param);
    std::string getWifiMACAddr(const std::string& param);

    // ---- web application service (throw Excpn<eTavCommandResultCode> on failure) ----
    std::string getHubSite(const std::string& param);
    std::string getDatavenFirmcode(const std::string& param);

    // ---- tuner ----
    std::string getSignalStrength(eMenuValueType type, const std::string& param);
    std::string getSNRLevel(const std::string& param);

    // ---- picture and antenna; the setters throw Excpn<eTavCommandResultCode> "Failed." ----
    std::string getPictureSize(const std::string& param);
    void setPictureSize(const std::string& value);
    std::string getPIPAerial(const std::string& param);
    void setPIPAerial(const std::string& value);
    std::string getGrayscaleValue(const std::string& param);
    void setGrayscaleValue(const std::string& value);
    void setQorvHDRPlusMode(const std::string& value);
    void setQorvPictureMode(const std::string& value);

    // ---- power counters ----
    std::string getVccFailCount();
    std::string getWatchDogCount();

    // ---- server address and software-update identity ----
    std::string getGpmTAVUrl();
    // Not safe to call from several threads at once: rewrites s_serverUrlByType.
    std::string getFactoryTavServer(eMenuValueType type, const std::string& param);
    // Throws std::out_of_range for a build date shorter than 10 characters.
    std::string getOTNSWUFirmCode(const std::string& param);
    std::string getOTNSWUVersion(const std::string& param);

    // Locale name ("ko_KR.utf8") -> two-letter language code of the service.
    static const std::map<std::string, std::string> s_languageCodeMap;

private:
    // Server type (0 operating, 1 development, 2 developing) -> base URL.
    static std::map<int, std::string> s_serverUrlByType;

    std::string m_otnVersion;
    std::string m_otnBuildDate;
};

} // namespace deviceinfo
