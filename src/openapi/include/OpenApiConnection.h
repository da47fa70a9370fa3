// The service's HTTP client. Connection objects are cheap and made for one operation; the
// transfer handles under them are long-lived, one per thread, kept in process-wide registries
// guarded by one global mutex. Every failure is thrown as a bare openapi::OpenApiErrorCode.
#pragma once

#include <Travix.h>

#include <boost/thread/mutex.hpp>

#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace openapi {

enum OpenApiErrorCode {
    OPENAPI_SUCCESS = 0,
    OPENAPI_CONNECTION_FAILED = 1,   // a transfer code without a mapping of its own
    OPENAPI_FILE_ERROR = 4,
    OPENAPI_TIMEOUT = 6,
    OPENAPI_LOCAL_CERT_ERROR = 7,
    OPENAPI_CIPHER_ERROR = 8,
    OPENAPI_PEER_VERIFICATION_FAILED = 9,
    OPENAPI_SSL_CONNECT_ERROR = 10,
    OPENAPI_HTTP_CLIENT_ERROR = 13,   // HTTP status 400-499, unsupported request type
    OPENAPI_TRY_AGAIN = 15,
    OPENAPI_COULD_NOT_CONNECT = 17,
    OPENAPI_TRANSFER_ERROR = 20,
    OPENAPI_INTERNAL_ERROR = 21,
    OPENAPI_HOST_NOT_RESOLVED = 23,
    OPENAPI_ABORTED = 24,             // terminateTransaction stopped the request
    OPENAPI_FILE_SIZE_EXCEEDED = 25,
    OPENAPI_HTTP_SERVER_ERROR = 26,   // HTTP status 500 and above
};

enum HttpRequestType { HTTP_GET = 0, HTTP_POST = 1, HTTP_POST_MULTIPART = 2 };

// One request header. getHeader() gives "Name: value", or "Name:" for an empty value, which
// tells the transfer library not to send that header at all (used to suppress "Expect").
class HTTPHeader {
public:
    HTTPHeader(std::string name, std::string value) : m_name(std::move(name)), m_value(std::move(value)) {}
    const std::string& name() const { return m_name; }
    const std::string& value() const { return m_value; }
    std::string getHeader() const;

private:
    std::string m_name;
    std::string m_value;
};

// The transaction record of one thread.
struct ThreadInfo {
    boost::mutex m_flagMutex;          // guards m_terminate
    boost::mutex m_transactionMutex;   // held by the thread for the whole of one request
    int m_terminate = 0;               // 1 asks the running request to stop
};

struct TraceInfo {
    bool m_traceHeaders = false;
    bool m_traceData = false;
};

// Receives body bytes for datacbexternal; false fails the transfer.
typedef std::function<bool(char* data, size_t length)> ExternalDataCallback;
typedef size_t (*WriteCallback)(char*, size_t, size_t, void*);

// The wall clock of the certificate check; tests set their own (nullptr: the real clock).
typedef time_t (*WallClock)();
void setWallClock(WallClock clock);

// Test seams. The client never changes them; tests shorten the connection phase's limit.
namespace seams {
// Seconds allowed for the TCP connection and the TLS handshake of a connection handle (10).
extern std::atomic<long> connectTimeout;
} // namespace seams

// Redirects a request follows at most: enough for a moved service, and a loop ends soon.
constexpr long MAX_REDIRECTS = 5;

// True when `url` names the scheme "https", in any case ("HTTPS://" too): such a request gets
// the client's TLS set-up and may be redirected only to https.
bool isHttpsUrl(const std::string& url);

class OpenApiStream;

class OpenApiConnection {
public:
    enum ResponseType { RESPONSE_VECTOR = 0, RESPONSE_STRING = 1 };

    OpenApiConnection();
    virtual ~OpenApiConnection();
    // A copy would share the thread's record without owning it.
    OpenApiConnection(const OpenApiConnection&) = delete;
    OpenApiConnection& operator=(const OpenApiConnection&) = delete;

    // ---- request operations; `timeout` is the whole request's limit in seconds ----
    void PostFile(std::string url, std::vector<HTTPHeader> headers, std::string fileName,
                  std::string* response, int timeout);
    void PostFile(std::string url, std::vector<HTTPHeader> headers, unsigned char* data,
                  unsigned long size, std::string* response, int timeout);
    void PostBinary(std::string url, std::vector<HTTPHeader> headers, std::vector<char> data,
                    std::string* response, int timeout);
    void PostBinary(std::string url, std::vector<char> data, std::string* response, int timeout);
    void PostString(std::string url, std::vector<HTTPHeader> headers, std::string data,
                    std::string* response, int timeout);
    void PostString(std::string url, std::string data, std::string* response, int timeout);
    void GetBinary(std::string url, std::vector<HTTPHeader> headers, std::vector<char>& out, int timeout);
    void GetBinary(std::string url, std::vector<char>& out, int timeout);
    void GetString(std::string url, std::vector<HTTPHeader> headers, std::string& out, int timeout);
    void GetString(std::string url, std::string& out, int timeout);
    // The caller owns the stream.
    OpenApiStream* CreateStream(std::string url, std::vector<HTTPHeader> headers);

    // ---- registry of handles, keyed by the text form of a thread's id ----
    static void removeThreadHandle(std::string threadId);
    // Stops the thread's running request (it throws 24) and waits until it has ended.
    static bool terminateTransaction(std::string threadId);
    static void removeAllHandles();
    static void setNetDebug(bool enabled);

    struct RegistrySizes {
        size_t handles, threadInfos, traceInfos;
    };
    static RegistrySizes registrySizes();

    const std::string& threadId() const { return m_threadId; }

protected:
    Travix::TravixEasy* createHandle();
    Travix::TravixEasy* initHandle(std::string url);
    static void removeHandle(std::string threadId);

    void performRequest(std::string url, HttpRequestType type, std::vector<HTTPHeader> headers,
                        WriteCallback writeFn, void* writeData, void* postData, unsigned int postSize,
                        std::string fileName, long offset, int timeout, ResponseType responseType);
    void configureHandle(void* handle, std::string url);
    void configureSSL(void* handle);
    void setRequestType(void* handle, HttpRequestType type);
    void setOffset(void* handle, long offset);
    void setHeaders(void* handle, std::vector<HTTPHeader>& headers);
    void setPostData(void* handle, HttpRequestType type, void* data, unsigned int size, std::string fileName);
    void setCallback(void* handle, WriteCallback fn, void* userdata);
    void resetHandle(void* handle);

    // Throws the mapped code when the handle's latest operation failed (null handle: 21).
    void checkError(void* handle, int line);
    // Throws the mapped code for a transfer code other than 0.
    static void checkError(int code, int line);

private:
    friend class OpenApiStream;
    static void checkHandleError(void* handle, int line, ThreadInfo* info);
    // checkError for a stream's handle: the calling thread's record is looked up in the map.
    static void checkStreamError(void* handle, int line);
    static ThreadInfo* recordFor(const std::string& threadId);
    // Logs and returns true when a header's name or value holds CR, LF or NUL.
    static bool refuseUnsafeHeaders(const std::vector<HTTPHeader>& headers);
    // The transfer code to report for `code`: a redirect that was not followed becomes 1.
    static int redirectOutcome(Travix::TravixEasy* handle, int code);

    std::string m_threadId;
    ThreadInfo* m_threadInfo;

    static boost::mutex m_globalMutex;
    // Never destroyed: the registry stays usable while the process exits.
    static std::map<std::string, Travix::TravixEasy*>& m_threadHandles;
    static std::map<std::string, ThreadInfo*>& m_threadInfoMap;
    static std::map<std::string, TraceInfo*>& m_traceInfoMap;
    static std::atomic<bool> m_netDebug;
};

// The map from transfer codes to OpenApiErrorCode, filled before main() runs.
class ErrorMapping : private OpenApiConnection {
public:
    static ErrorMapping* getInstance();
    ~ErrorMapping() override;
    static std::map<int, OpenApiErrorCode> errorMap;

private:
    ErrorMapping();
};

// Appends a response to the std::string at userdata; takes every byte.
size_t readResponse(char* ptr, size_t size, size_t nmemb, void* userdata);
int traceOpenApi(Travix::DEBUG_TYPE type, char* data, unsigned int size, void* userdata);

} // namespace openapi

// Transfer callbacks (see OpenApiCallbacks.cpp).
int progresscb(void* info, double dlTotal, double dlNow, double ulTotal, double ulNow);
size_t datacbvector(char* ptr, size_t size, size_t nmemb, void* userdata);
size_t datacbstring(char* ptr, size_t size, size_t nmemb, void* userdata);
size_t datacbexternal(char* ptr, size_t size, size_t nmemb, void* userdata);
size_t headerCallback(char* ptr, size_t size, size_t nmemb, void* userdata);
void sslctxcb(void* ctx, void* user);
