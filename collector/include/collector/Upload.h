// What a television uploads after a survey, and the checks that decide whether the collector
// keeps it: the CRC-32 header, the gzip stream and the XML envelope inside it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace collector {

// The survey shown on the television: five questions with 2, 7, 10, 7 and 7 answers. A
// selected value is the 1-based position of the chosen answer within its question.
constexpr int kQuestionCount = 5;
constexpr std::array<int, kQuestionCount> kAnswersPerQuestion = {2, 7, 10, 7, 7};
constexpr int kMaxAnswers = 10;

// The request headers of an upload. Those a television always fills are required. The other
// three carry device values that can be empty, and an empty one never arrives: the television
// writes it as the name and a colon alone, which its transfer library takes as "do not send".
// A missing one of those is read as empty.
extern const std::array<const char*, 5> kRequiredHeaders;  // pincode crc32 category sessionid source
extern const std::array<const char*, 3> kOptionalHeaders;  // duid Date Year
// Fixed values of two of them.
extern const char* const kCategory;
extern const char* const kSource;

// Why an upload is refused: the word put into the reply's "stat" and the HTTP status.
class UploadError : public std::runtime_error {
public:
    UploadError(std::string stat, int status, const std::string& message)
        : std::runtime_error(message), m_stat(std::move(stat)), m_status(status) {}
    const std::string& stat() const { return m_stat; }
    int status() const { return m_status; }

private:
    std::string m_stat;
    int m_status;
};

struct DeviceBlock {
    std::string duid;
    std::string localSet;
    std::string country;
    std::string modelName;
    std::string firmwareVersion;
};

struct SurveyItem {
    int index = 0;     // question number, 1-based
    int selected = 0;  // answer position, 1-based
    std::string question;
    std::string answer;
};

struct Envelope {
    DeviceBlock device;
    std::vector<SurveyItem> items;  // in document order
};

// One part of a multipart/form-data body.
struct FormFile {
    bool found = false;
    std::string fileName;  // the "filename" of its Content-Disposition
    std::string content;
};

// The first part named `partName` of a multipart/form-data body whose Content-Type header is
// `contentType`. Throws "badrequest" when the type is another or the form is malformed; a form
// without that part gives found == false.
FormFile formFile(const std::string& contentType, const std::string& body, const std::string& partName);

// Standard CRC-32 (the one of zip and gzip), computed independently of the television's code so
// that a wrong checksum on either side shows up as a mismatch.
uint32_t crc32Of(const std::string& bytes);

// The "crc32" header as the television writes it: unsigned decimal, no sign, no leading zeros,
// at most 4294967295. Anything else (hex, padding, spaces) throws "badcrc".
uint32_t parseCrcHeader(const std::string& text);

// Inflates one gzip stream (several concatenated members are allowed). Throws "badgzip" for
// anything that is not a complete gzip stream and "toolarge" past `limit` inflated bytes.
std::string gunzip(const std::string& data, size_t limit);

// Parses and checks the envelope: root <survey>, one <deviceinfo> with its five values, one
// <result> with at least one <item>, every index a question of the survey (at most once), every
// selected value one of that question's answers. Throws "badxml" when the text is not the
// envelope's XML, "baddata" when its content fails a check.
Envelope parseEnvelope(const std::string& xml);

// Text for an XML attribute value.
std::string xmlEscape(const std::string& text);

} // namespace collector
