// Identity, network adapters, web application service, language code, server address and
// software-update identity of DevicePropertiesGeneral. Tuner, picture and power operations
// are in DevicePropertiesTv.cpp.
#include "DevicePropertiesGeneral.h"

#include "DevicePropertiesSystem.h"
#include "PlatformText.h"

#include "Excpn.h"
#include "TavConfig.h"
#include "TavLog.h"
#include "Utils.h"

#include <algorithm>
#include <bluetooth.h>
#include <dekk.h>
#include <lumo.h>
#include <system_info.h>
#include <system_settings.h>
#include <vconf.h>
#include <wifi.h>

#include <cstring>
#include <iomanip>
#include <sstream>
#include <vector>

namespace deviceinfo {

using detail::readPlatformText;
using detail::TextRead;

namespace {

// Integer keys of the platform's system information and system settings services.
constexpr int kInfoSystemRelease = 7;
constexpr int kInfoBuildDate = 8;
constexpr int kInfoLocalSet = 90;
constexpr int kInfoServerType = 126;
constexpr int kInfoFirmwareVersion = 128;
constexpr int kInfoSerialNumber = 187;
constexpr int kInfoModelName = 292;
constexpr int kSettingDateOfPurchase = 10001;
constexpr int kSettingCountryCode = 10036;

const char kProductYearKey[] = "com.kestova/featureconf/product.tv_year";
const char kProductTypeKey[] = "com.kestova/featureconf/product.product_type";
const char kGpmUrlKey[] = "rtc/db/comss/gpmurl/tav";

constexpr int kEsnBufferSize = 16384;

TextRead infoText(int key, std::string& out) {
    return readPlatformText([key](char** raw) { return system_info_get_value_string(key, raw); }, out);
}

TextRead settingText(int key, std::string& out) {
    return readPlatformText([key](char** raw) { return system_settings_get_value_string(key, raw); }, out);
}

// The identity getters that stay silent on a call error and warn about a missing text.
std::string quietInfoText(int key) {
    std::string value;
    const TextRead r = infoText(key, value);
    if (r == TextRead::NoText)
        SLOGW("Invalid value");
    return r == TextRead::Ok ? value : "";
}

// Left-pads with '0' to six characters; longer texts stay as they are.
std::string zeroPad6(const std::string& text) {
    std::ostringstream out;
    out << std::setw(6) << std::setfill('0') << text;
    return out.str();
}

// Reads the web application service's debug record; throws when the service fails.
lumo_debug_info_s readDebugInfo() {
    lumo_debug_info_s info;
    std::memset(&info, 0, sizeof info);
    const int status = lumo_get_debug_info(&info);
    if (status != 0) {
        SLOGW("Failed, status: %d", status);
        throw Excpn<eTavCommandResultCode>("", TAV_COMMAND_RESULT_FAILURE);
    }
    return info;
}

template <size_t N>
std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

} // namespace

// Inserted in this order; a repeated locale keeps its first code.
const std::map<std::string, std::string> DevicePropertiesGeneral::s_languageCodeMap = {
    {"ko_KR.utf8", "KR"}, {"en_US.utf8", "US"}, {"fr_CA.utf8", "FR"}, {"es_MX.utf8", "SP"},
    {"pt_BR.utf8", "PO"}, {"sq_AL.utf8", "AL"}, {"az_AZ.utf8", "AZ"}, {"bs_BA.utf8", "BA"},
    {"bg_BG.utf8", "BU"}, {"hr_HR.utf8", "CR"}, {"cs_CZ.utf8", "CZ"}, {"da_DK.utf8", "DA"},
    {"nl_NL.utf8", "DT"}, {"et_EE.utf8", "ES"}, {"fi_FI.utf8", "FI"}, {"fr_FR.utf8", "FR"},
    {"de_DE.utf8", "DU"}, {"el_GR.utf8", "GR"}, {"hu_HU.utf8", "HU"}, {"it_IT.utf8", "IT"},
    {"kk_KZ.utf8", "KA"}, {"lv_LV.utf8", "LA"}, {"lt_LT.utf8", "LT"}, {"mk_MK.utf8", "MK"},
    {"nn_NO.utf8", "NO"}, {"en_GB.utf8", "US"}, {"pl_PL.utf8", "PL"}, {"pt_PT.utf8", "PO"},
    {"ro_RO.utf8", "RO"}, {"ru_RU.utf8", "RU"}, {"sr_RS.utf8", "SE"}, {"sk_SK.utf8", "SL"},
    {"sl_SI.utf8", "SV"}, {"es_ES.utf8", "SP"}, {"sv_SE.utf8", "SW"}, {"tr_TR.utf8", "TU"},
    {"uk_UA.utf8", "UK"}, {"uz_UZ.utf8", "UZ"}, {"zh_CN.utf8", "CH"}, {"zh_HK.utf8", "HK"},
    {"zh_TW.utf8", "TP"}, {"th_TH.utf8", "TH"}, {"ar_AE.utf8", "AR"}, {"fa_IR.utf8", "FS"},
    {"he_IL.utf8", "HE"}, {"id_ID.utf8", "IN"}, {"ms_MY.utf8", "MY"}, {"vi_VN.utf8", "VI"},
    {"as_IN.utf8", "AS"}, {"bn_IN.utf8", "BJ"}, {"ne_NP.utf8", "NP"}, {"ur_PK.utf8", "UR"},
    {"af_ZA.utf8", "AF"}, {"zu_ZA.utf8", "ZU"}, {"sw_KE.utf8", "SA"}, {"am_ET.utf8", "AM"},
    {"yo_NG.utf8", "YO"}, {"ig_NG.utf8", "IG"}, {"ha_NG.utf8", "HA"}, {"xh_ZA.utf8", "XH"},
    {"mn_MN.utf8", "MN"}, {"ja_JP.utf8", "JP"}, {"hy_AM.utf8", "AM"}, {"ka_GE.utf8", "GE"},
    {"my_MM.utf8", "MM"}, {"km_KH.utf8", "KH"}, {"en_AU.utf8", "AU"}, {"ta_IN.utf8", "TA"},
    {"hi_IN.utf8", "DE"}, {"ur_PK.utf8", "UR"},
};

std::map<int, std::string> DevicePropertiesGeneral::s_serverUrlByType;

// ---------------------------------------------------------------- identity

std::string DevicePropertiesGeneral::getModelName(const std::string&) { return quietInfoText(kInfoModelName); }

std::string DevicePropertiesGeneral::getSerialNumber(const std::string&) const {
    return quietInfoText(kInfoSerialNumber);
}

std::string DevicePropertiesGeneral::getFirmwareVersion(const std::string&) {
    return quietInfoText(kInfoFirmwareVersion);
}

std::string DevicePropertiesGeneral::getFirmCode(const std::string& param) { return getFirmwareVersion(param); }

std::string DevicePropertiesGeneral::getModelId(eMenuValueType type, const std::string&) {
    if (type == MENU_VALUE_DEFAULT)
        return "";
    std::string version;
    if (infoText(kInfoFirmwareVersion, version) != TextRead::Ok) {
        SLOGW("Failed getting value\n");
        return "";
    }
    const size_t dash = version.rfind('-');
    return dash == std::string::npos ? version : version.substr(0, dash);
}

std::string DevicePropertiesGeneral::getLocalSet(eMenuValueType type, const std::string&) {
    if (type == MENU_VALUE_DEFAULT)
        return "";
    std::string value;
    if (infoText(kInfoLocalSet, value) != TextRead::Ok) {
        SLOGW("FAILURE while getting local set\n");
        return "";
    }
    return value;
}

std::string DevicePropertiesGeneral::getSWBuildDate(const std::string&) {
    std::string value;
    if (infoText(kInfoBuildDate, value) != TextRead::Ok) {
        SLOGW("FAILURE while getting local set\n");
        return "";
    }
    return value;
}

std::string DevicePropertiesGeneral::getSystemRelease() {
    std::string value;
    if (infoText(kInfoSystemRelease, value) != TextRead::Ok) {
        SLOGW("FAILURE");
        return "";
    }
    return value;
}

std::string DevicePropertiesGeneral::getCountryCode(const std::string&) {
    std::string value;
    if (settingText(kSettingCountryCode, value) != TextRead::Ok) {
        SLOGW("FAILURE");
        return "";
    }
    return value;
}

std::string DevicePropertiesGeneral::getDateOfPurchase(const std::string&) {
    std::string value;
    switch (settingText(kSettingDateOfPurchase, value)) {
    case TextRead::Ok:
        return value;
    case TextRead::CallError:
        SLOGW("FAILURE");
        break;
    case TextRead::NoText:
        SLOGW("Do not get date of purchase");
        break;
    }
    return "";
}

std::string DevicePropertiesGeneral::getProductYear(const std::string&) {
    int year = 0;
    if (system_info_get_custom_int(kProductYearKey, &year) != SYSTEM_INFO_ERROR_NONE) {
        SLOGW("Fail to get product year");
        return "";
    }
    // Older platforms report the year without its century.
    if (year <= 99)
        year += 2000;
    LOGD("TV Product Year = %d", year);
    return std::to_string(year);
}

std::string DevicePropertiesGeneral::getProductType(eMenuValueType type, const std::string&) {
    if (type != MENU_VALUE_CURRENT)
        return "";
    int productType = 0;
    if (system_info_get_custom_int(kProductTypeKey, &productType) != SYSTEM_INFO_ERROR_NONE) {
        SLOGW("FAILURE while getting product type");
        return "";
    }
    return std::to_string(productType);
}

std::string DevicePropertiesGeneral::getDeviceType(eMenuValueType, const std::string&) { return "TV"; }

std::string DevicePropertiesGeneral::getCordiaVersion(const std::string&) { return ""; }

std::string DevicePropertiesGeneral::getDUID(const std::string&) {
    try {
        return Utils::getOpenApiDUID();
    } catch (const Excpn<eTavCommandResultCode>&) {
        SLOGW("FAILURE while retrieving DUID");
        return "";
    }
}

std::string DevicePropertiesGeneral::getnESN(const std::string&) {
    try {
        std::vector<unsigned char> buffer(kEsnBufferSize, 0);
        int length = kEsnBufferSize;
        if (dekk_get_esn(buffer.data(), &length) != 0) {
            SLOGW("FAILURE while getting ESN");
            return "";
        }
        // The key store reports the length; never read beyond what was handed to it.
        const size_t taken = static_cast<size_t>(std::clamp(length, 0, static_cast<int>(buffer.size())));
        return std::string(reinterpret_cast<const char*>(buffer.data()), taken);
    } catch (...) {
        SLOGW("FAILURE while to retrieving ESN");
        return "";
    }
}

std::string DevicePropertiesGeneral::getLanguageCode(eMenuValueType type, const std::string& param) {
    std::string code = "US";
    if (type != MENU_VALUE_CURRENT)
        return code;
    try {
        DevicePropertiesSystem system;
        const std::string language = system.getSystemMenuLanguage(param);
        LOGD("Menu language: %s", language.c_str());
        const auto it = s_languageCodeMap.find(language);
        if (it != s_languageCodeMap.end())
            code = it->second;
        LOGD("language code: %s", code.c_str());
    } catch (const std::exception& e) {
        SLOGW("Exception while getting language code: %s", e.what());
    }
    return code;
}

// ---------------------------------------------------------------- network adapters

std::string DevicePropertiesGeneral::getBluetoothAddr(const std::string&) {
    if (bt_initialize() != BT_ERROR_NONE) {
        SLOGW("FAILURE while initializing bluetooth module");
        return "";
    }
    std::string address;
    const TextRead r = readPlatformText(bt_adapter_get_address, address);
    // The adapter stays initialised for other users otherwise: release it whatever happened.
    bt_deinitialize();
    if (r != TextRead::Ok) {
        SLOGW("FAILURE while getting bluetooth address");
        return "";
    }
    return address;
}

std::string DevicePropertiesGeneral::getWifiMACAddr(const std::string&) {
    std::string address;
    if (readPlatformText(wifi_get_mac_address, address) != TextRead::Ok) {
        SLOGW("FAILURE while getting wifi MAC address");
        return "";
    }
    return address;
}

// ---------------------------------------------------------------- web application service

std::string DevicePropertiesGeneral::getHubSite(const std::string&) { return fieldText(readDebugInfo().hub_site); }

std::string DevicePropertiesGeneral::getDatavenFirmcode(const std::string&) {
    return fieldText(readDebugInfo().dataven_firmcode);
}

// ---------------------------------------------------------------- server address

std::string DevicePropertiesGeneral::getGpmTAVUrl() {
    try {
        detail::PlatformText raw(vconf_get_str(kGpmUrlKey));
        if (!raw) {
            SLOGW("Failed getting TAV GPM URL returning empty");
            return "";
        }
        std::string url(raw.get());
        LOGI("url: %s, value: %s", url.c_str(), raw.get());
        return url;
    } catch (...) {
        SLOGW("exception occured during getting rtc/db/comss/gpmurl/tav");
        return "";
    }
}

std::string DevicePropertiesGeneral::getFactoryTavServer(eMenuValueType, const std::string& param) {
    // A server address handed out by the management server overrides everything.
    const std::string gpmUrl = getGpmTAVUrl();
    if (!gpmUrl.empty()) {
        LOGI("url: %s", gpmUrl.c_str());
        return gpmUrl;
    }
    try {
        s_serverUrlByType[0] = TavConfig::get("TavsOperatingServer");
        s_serverUrlByType[1] = TavConfig::get("TavsDevelopmentServer");
        s_serverUrlByType[2] = TavConfig::get("TavsDevelopingServer");
    } catch (...) {
        SLOGW("Error setting TAV server url!!");
        return "";
    }
    int serverType = 0;
    const int rc = system_info_get_value_int(kInfoServerType, &serverType);
    if (param != "TAV")
        return "";
    if (rc != SYSTEM_INFO_ERROR_NONE) {
        SLOGW("Failed getting value %i", rc);
        return s_serverUrlByType[1];
    }
    SLOGI("Success in getting value %i", rc);
    return s_serverUrlByType[serverType];
}

// ---------------------------------------------------------------- software-update identity

std::string DevicePropertiesGeneral::getOTNSWUFirmCode(const std::string& param) {
    const std::string version = getFirmwareVersion(param);
    // The first two characters may hold a dash of the model prefix ("T-...").
    const size_t dash = version.find('-', 2);
    const std::string prefix = dash == std::string::npos ? version : version.substr(0, dash);
    m_otnVersion = dash == std::string::npos ? version.substr(0, 4) : version.substr(dash + 1, 4);

    // "2019-05-13..." -> "190513"; at() throws std::out_of_range for a short date.
    const std::string date = getSWBuildDate(param);
    std::string buildDate;
    for (size_t pos : {2, 3, 5, 6, 8, 9})
        buildDate += date.at(pos);
    m_otnBuildDate = buildDate;

    return "SWU-OU_" + prefix + "_" + zeroPad6(m_otnVersion) + "_" + m_otnBuildDate;
}

std::string DevicePropertiesGeneral::getOTNSWUVersion(const std::string&) {
    return zeroPad6(m_otnVersion) + "." + m_otnBuildDate;
}

} // namespace deviceinfo
