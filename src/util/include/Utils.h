// Stateless helpers of the service: checksums and encodings, XML node operations, the
// television's identifiers and the client header, thread names.
#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <string>
#include <vector>

// Thrown by value; 0: the file cannot be opened.
enum eUtilsErrors { eUtilsFileOpenError = 0 };

class Utils {
public:
    // ---- checksums and encodings ----
    static uint32_t crc32Data(const std::vector<char>& data);
    static uint32_t crc32String(const std::string& text);
    static uint32_t crc32File(const std::string& path);
    static uint64_t crc64String(const std::string& text);
    static uint64_t crc64File(const std::string& path);
    static std::string base32(uint64_t value);
    // From the first to the last decimal digit, inclusive; the text must hold a digit.
    static std::string extractLastNumbers(const std::string& text);
    static bool extractUrlInfo(std::string& url, std::string& host, std::string& path);
    static void RemoveControlChars(std::string& text);

    // ---- XML nodes and documents (throw Excpn<int>) ----
    static std::vector<xmlNodePtr> xmlFindNodes(xmlNodePtr node, const std::string& xpath);
    static std::string xmlGetAttribute(xmlNodePtr node, const std::string& name);
    static xmlAttrPtr xmlSetAttribute(xmlNodePtr node, const std::string& name, const std::string& value);
    static void xmlDocumentToString(xmlDocPtr doc, std::string& out);

    // ---- identifiers of the television (never throw) ----
    static std::string getOpenApiDUID();
    static std::string getPSID();
    static std::string getAToken();
    static std::string getDatavenVersion();
    static std::string getFirmwareVersion();
    static std::string getSmartTVClient();
    static std::string getDeviceLocalSet();
    static bool IsJoinraSuppported();

    static void setThreadName(const std::string& name);
    static std::string getThreadName();
};

// True when the device is a debug build ("/etc/debug" or "/etc/perf" exists); read on every call.
bool isDebug();

class IntegerToString {
public:
    static std::string Convert(int value);
    static std::string Convert(unsigned int value);
    static std::string Convert(double value);
};

class StringToInteger {
public:
    static int Convert(const std::string& text);
};
