// Travix: the platform's HTTP transfer library, a synchronous easy-handle interface over
// libcurl (7.88) built against OpenSSL 3. One handle is driven by one thread at a time.
//
// Error codes are libcurl's CURLcode numbers (0 = success). The library never throws; every
// operation records its outcome, read with getErrorCode().
//
// Option numbers and what they mean (the libcurl option each one drives):
//
//   value kind        number  libcurl option / meaning
//   long  0/1           1     CURLOPT_VERBOSE
//   long  0/1           3     progress calls on (CURLOPT_NOPROGRESS = !value); the calls go to
//                             the function of option 82, so without one nothing is called
//   long  0/1           4     CURLOPT_HEADER (response headers in the body)
//   long  n            10     CURLOPT_MAXCONNECTS (connections kept open by the handle)
//   long  0/1          11     CURLOPT_FOLLOWLOCATION
//   long  0/1          12     CURLOPT_TCP_KEEPALIVE
//   long  0/1          16     CURLOPT_POST
//   long  0/1          17     CURLOPT_HTTPGET
//   int   n            18     CURLOPT_HTTP_VERSION (2 = HTTP/1.1)
//   long  n            19     CURLOPT_POSTFIELDSIZE_LARGE (body size)
//   long  0/1          20     CURLOPT_NOSIGNAL
//   long  n            22     CURLOPT_RESUME_FROM_LARGE (resume offset)
//   long/int seconds   30     CURLOPT_TIMEOUT (whole transfer)
//   long  seconds      33     CURLOPT_TCP_KEEPIDLE and CURLOPT_TCP_KEEPINTVL
//   long  n            36     CURLOPT_MAXREDIRS
//   long  0/2          38     CURLOPT_SSL_VERIFYHOST
//   long  0/1          39     CURLOPT_SSL_VERIFYPEER
//   string             50     CURLOPT_URL
//   string             60     CURLOPT_COPYPOSTFIELDS (body, copied; a std::string keeps its
//                             zero bytes and also sets the body size)
//   string             63     CURLOPT_CAINFO (CA file)
//   string             67     CURLOPT_SSLCERTTYPE ("PEM")
//   list of strings    75     CURLOPT_HTTPHEADER; a line "Name:" keeps libcurl from sending
//                             its own header of that name (e.g. "Expect:"); a list with CR, LF
//                             or NUL in a line is refused (43) and the previous list stays
//   bool  true         76     CURLOPT_MIMEPOST with the form built by addMultiform
//   WriteFunction      78     CURLOPT_WRITEFUNCTION; none = the body is discarded
//   void*              86     CURLOPT_WRITEDATA (user pointer of option 78)
//   ProgressFunction   82     CURLOPT_XFERINFOFUNCTION (non-zero return aborts with 42)
//   void*              89     CURLOPT_XFERINFODATA (user pointer of option 82)
//   SslCtxFunction     83     CURLOPT_SSL_CTX_FUNCTION; gets the OpenSSL SSL_CTX* and the
//                             TravixEasy* itself as the (non-null) user pointer
//   string             90     CURLOPT_REDIR_PROTOCOLS_STR: the schemes a redirect may lead to
//                             ("http,https" unless set; a redirect elsewhere ends with 1)
//
// Info numbers: 1 CURLINFO_EFFECTIVE_URL (const char*), 8 CURLINFO_RESPONSE_CODE (long),
// 20 CURLINFO_REDIRECT_COUNT (long: redirects followed, or refused, by the latest send).
// Form options of addMultiform: 0 part name, 4 file path (curl_mime_filedata), 9 file name of
// a buffer part, 10 buffer (void*), 11 buffer length (long); parts use libcurl's mime API.
//
// An unknown option number gives 48 (CURLE_UNKNOWN_OPTION); a value of the wrong kind for an
// option gives 43 (CURLE_BAD_FUNCTION_ARGUMENT).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Travix {

typedef int TRAVIX_EASY_ERROR;
typedef int TRAVIX_OPTION_TYPE;
typedef int TRAVIX_INFO_TYPE;
typedef int TRAVIX_FORM_OPTION;

// Kinds of trace data (libcurl's curl_infotype).
enum DEBUG_TYPE {
    DEBUG_TEXT = 0,
    DEBUG_HEADER_IN,
    DEBUG_HEADER_OUT,
    DEBUG_DATA_IN,
    DEBUG_DATA_OUT,
    DEBUG_SSL_DATA_IN,
    DEBUG_SSL_DATA_OUT,
};

// Options, named after the numbers in the table above.
enum : int {
    OPT_VERBOSE = 1,
    OPT_PROGRESS = 3,
    OPT_HEADER = 4,
    OPT_MAXCONNECTS = 10,
    OPT_FOLLOWLOCATION = 11,
    OPT_TCP_KEEPALIVE = 12,
    OPT_POST = 16,
    OPT_HTTPGET = 17,
    OPT_HTTP_VERSION = 18,
    OPT_POSTFIELDSIZE = 19,
    OPT_NOSIGNAL = 20,
    OPT_RESUME_FROM = 22,
    OPT_TIMEOUT = 30,
    OPT_TCP_KEEPIDLE = 33,
    OPT_MAXREDIRS = 36,
    OPT_SSL_VERIFYHOST = 38,
    OPT_SSL_VERIFYPEER = 39,
    OPT_URL = 50,
    OPT_COPYPOSTFIELDS = 60,
    OPT_CAINFO = 63,
    OPT_SSLCERTTYPE = 67,
    OPT_HTTPHEADER = 75,
    OPT_MIMEPOST = 76,
    OPT_WRITEFUNCTION = 78,
    OPT_PROGRESSFUNCTION = 82,
    OPT_SSL_CTX_FUNCTION = 83,
    OPT_WRITEDATA = 86,
    OPT_PROGRESSDATA = 89,
    OPT_REDIR_PROTOCOLS = 90,
};

enum : int { INFO_EFFECTIVE_URL = 1, INFO_RESPONSE_CODE = 8, INFO_REDIRECT_COUNT = 20 };

enum : int { FORM_NAME = 0, FORM_FILE = 4, FORM_BUFFER_NAME = 9, FORM_BUFFER = 10, FORM_BUFFER_LENGTH = 11 };

typedef size_t (*WriteFunction)(char* ptr, size_t size, size_t count, void* user);
// user, total to download, downloaded, total to upload, uploaded
typedef int (*ProgressFunction)(void* user, double, double, double, double);
typedef void (*SslCtxFunction)(void* sslCtx, void* user);

// Process-wide state of the library. Handles work without GlobalInit (the first handle sets
// the library up); GlobalInit/GlobalDeinit re-run libcurl's global set-up in pairs, for a
// restart after an internal error. The first handle's set-up is kept for the process, so
// handles of other threads stay valid across a restart.
void GlobalInit();
void GlobalDeinit();

class TravixEasy {
public:
    TravixEasy();
    ~TravixEasy();
    TravixEasy(const TravixEasy&) = delete;
    TravixEasy& operator=(const TravixEasy&) = delete;

    void Initialize();
    // Drops every option, the form and the header list; the handle can be initialised again.
    void reset();

    TRAVIX_EASY_ERROR getErrorCode() const { return m_error; }
    std::string getError(TRAVIX_EASY_ERROR code) const;
    // The detailed text of the latest failure (libcurl's error buffer), or its general text.
    std::string getLastError() const;

    void setOption(TRAVIX_OPTION_TYPE option, long value);
    void setOption(TRAVIX_OPTION_TYPE option, int value);
    void setOption(TRAVIX_OPTION_TYPE option, bool value);
    void setOption(TRAVIX_OPTION_TYPE option, const char* value);
    void setOption(TRAVIX_OPTION_TYPE option, const std::string& value);
    void setOption(TRAVIX_OPTION_TYPE option, void* value);
    void setOption(TRAVIX_OPTION_TYPE option, const std::vector<std::string>& lines);
    void setOption(TRAVIX_OPTION_TYPE option, WriteFunction fn);
    void setOption(TRAVIX_OPTION_TYPE option, ProgressFunction fn);
    void setOption(TRAVIX_OPTION_TYPE option, SslCtxFunction fn);

    void addMultiform(TRAVIX_FORM_OPTION o1, const std::string& v1, TRAVIX_FORM_OPTION o2,
                      const std::string& v2);
    void addMultiform(TRAVIX_FORM_OPTION o1, const std::string& v1, TRAVIX_FORM_OPTION o2,
                      const std::string& v2, TRAVIX_FORM_OPTION o3, void* v3,
                      TRAVIX_FORM_OPTION o4, long v4);
    void deleteMultiform();

    // Non-zero: requests carry the client's "User-Agent"; 0: no "User-Agent" header at all.
    void setSmartTVHeader(int mode);
    // Time limits in seconds: the whole transfer and the connection phase. 0 leaves that limit
    // as it is (the transfer limit is usually set with option 30).
    void setTimeout(long transferSeconds, long connectSeconds);

    void send();

    void getInfo(TRAVIX_INFO_TYPE info, long* value);
    void getInfo(TRAVIX_INFO_TYPE info, const char** value);

private:
    struct Impl;
    Impl* m_impl;
    TRAVIX_EASY_ERROR m_error = 0;
};

class TravixUtility {
public:
    // The URL that is requested for `url` and a path below it ("" = `url` itself); the two
    // are joined with exactly one "/".
    static std::string makeUri(const std::string& url, const std::string& path);
};

} // namespace Travix
