// The upload of the result document: envelope with the television's identity, gzip, CRC-32,
// multipart POST to the launch URL, reply check, removal of both files.
#include "TavSurveyUi.h"

#include "DevicePropertiesGeneral.h"
#include "GzipCompressor.h"
#include "OpenApiConnection.h"
#include "TavConstants.h"
#include "TavLog.h"
#include "Utilities.h"
#include "Utils.h"
#include "XmlParser.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace survey {

namespace seams {
int uploadTimeout = UPLOAD_TIMEOUT_SECONDS;

void applyEnvironment() {
    if (const char* v = std::getenv("TAVSURVEY_POPUP_TIMEOUT"); v && std::atof(v) > 0)
        popupTimeout = std::atof(v);
    if (const char* v = std::getenv("TAVSURVEY_UPLOAD_TIMEOUT"); v && std::atoi(v) > 0)
        uploadTimeout = std::atoi(v);
}
} // namespace seams

namespace {

void removeSurveyFile(const std::string& path) {
    if (std::remove(path.c_str()) != 0)
        LOGW("Can't remove survey file %s", path.c_str());
}

} // namespace

void TavSurveyUi::sendSurveyResult() {
    deviceinfo::DevicePropertiesGeneral device;

    std::string result;
    {
        // Read-write without truncation: the document must exist, and is left untouched.
        std::fstream file(SURVEY_RESULT_FILE, std::ios::in | std::ios::out | std::ios::binary);
        if (!file.is_open()) {
            SLOGW("File opening error");
            return;
        }
        result.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::string envelope;
    envelope += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    envelope += "<survey>\n";
    envelope += "<deviceinfo>\n";
    envelope += "<DUID>" + device.getDUID("") + "</DUID>\n";
    envelope += "<LocalSet>" + device.getLocalSet(deviceinfo::MENU_VALUE_CURRENT, "") + "</LocalSet>\n";
    envelope += "<Country>" + device.getCountryCode("") + "</Country>\n";
    envelope += "<Model_Name>" + device.getModelName("") + "</Model_Name>\n";
    envelope += "<Firmware_Version>" + device.getFirmCode("") + "</Firmware_Version>\n";
    envelope += "</deviceinfo>\n";
    envelope += result;
    envelope += "</survey>\n";

    const std::string uploadFile = deviceinfo::Utilities::getFileName(deviceinfo::FILE_SURVEY);
    try {
        GzipCompressor::compress(std::vector<char>(envelope.begin(), envelope.end()), uploadFile);
    } catch (eGzipError) {
        // Nothing can be sent without the file. The survey still closes, and no file is left
        // behind: a half-written upload file or a result document would only be stale later.
        SLOGW("Upload file cannot be written: %s", uploadFile.c_str());
        std::remove(uploadFile.c_str());
        removeSurveyFile(SURVEY_RESULT_FILE);
        return;
    }

    char crc[16];
    std::snprintf(crc, sizeof crc, "%u", static_cast<unsigned>(Utils::crc32File(uploadFile)));
    const std::vector<openapi::HTTPHeader> headers = {
        {"pincode", m_pinCode},
        {"duid", device.getDUID("")},
        {"crc32", crc},
        {"category", "TAVAS"},
        {"sessionid", m_sessionId},
        {"source", "survey"},
        {"Date", device.getDateOfPurchase("")},
        {"Year", device.getProductYear("")},
    };

    std::string response;
    try {
        openapi::OpenApiConnection connection;
        connection.PostFile(m_url, headers, uploadFile, &response, seams::uploadTimeout);
    } catch (openapi::OpenApiErrorCode code) {
        SLOGW("Open api connection error: %d", static_cast<int>(code));
    }

    XmlParser reply(response);
    const std::string stat = reply.getProperty("/rsp", "stat");
    const std::string crcValue = reply.getProperty("/rsp/crc", "value");
    if (stat != "ok")
        SLOGW("Response answer: %s, file crc: %s", stat.c_str(), crcValue.c_str());

    removeSurveyFile(uploadFile);
    removeSurveyFile(SURVEY_RESULT_FILE);
}

} // namespace survey
