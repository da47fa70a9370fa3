// Execution of one request on the calling thread's handle: configuration, TLS, retries of
// connection problems, recovery from internal errors and the mapping of every failure.
#include "OpenApiConnection.h"

#include "TavConstants.h"
#include "TavLog.h"
#include "Utils.h"

#include <boost/thread/locks.hpp>

#include <fstream>
#include <strings.h>
#include <sstream>
#include <thread>

namespace openapi {

namespace {

constexpr int kDefaultTimeout = 40;
constexpr int kMaxConnectionAttempts = 3;
// Internal-error recoveries and retries after a standard exception are not connection
// problems, but they still must not loop for ever.
constexpr int kMaxRecoveries = 3;
constexpr int kTransferUnsupportedProtocol = 1;
constexpr int kTransferTooManyRedirects = 47;
constexpr int kTransferHttpError = 22;
constexpr int kTransferHttpServerError = 106;
constexpr int kTransferFileNotReadable = 37;

Travix::TravixEasy* easy(void* handle) { return static_cast<Travix::TravixEasy*>(handle); }

void clearSink(void* sink, OpenApiConnection::ResponseType type) {
    if (!sink)
        return;
    if (type == OpenApiConnection::RESPONSE_VECTOR)
        static_cast<std::vector<char>*>(sink)->clear();
    else
        static_cast<std::string*>(sink)->clear();
}

// Names a header in a log line: the line breaks and NULs it holds are written out as escapes.
std::string printableName(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\0')
            out += "\\0";
        else
            out += c;
    }
    return out;
}

bool unsafe(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

} // namespace

namespace seams {
std::atomic<long> connectTimeout{10};
} // namespace seams

bool isHttpsUrl(const std::string& url) { return url.size() >= 6 && strncasecmp(url.c_str(), "https:", 6) == 0; }

std::map<int, OpenApiErrorCode> ErrorMapping::errorMap;

ErrorMapping::ErrorMapping() {
    errorMap = {
        {0, OPENAPI_SUCCESS},
        {18, OPENAPI_FILE_ERROR}, {23, OPENAPI_FILE_ERROR}, {25, OPENAPI_FILE_ERROR},
        {26, OPENAPI_FILE_ERROR}, {37, OPENAPI_FILE_ERROR},
        {28, OPENAPI_TIMEOUT},
        {58, OPENAPI_LOCAL_CERT_ERROR},
        {59, OPENAPI_CIPHER_ERROR},
        {60, OPENAPI_PEER_VERIFICATION_FAILED}, {77, OPENAPI_PEER_VERIFICATION_FAILED},
        {35, OPENAPI_SSL_CONNECT_ERROR}, {82, OPENAPI_SSL_CONNECT_ERROR},
        {22, OPENAPI_HTTP_CLIENT_ERROR},
        {81, OPENAPI_TRY_AGAIN},
        {5, OPENAPI_COULD_NOT_CONNECT}, {7, OPENAPI_COULD_NOT_CONNECT},
        {36, OPENAPI_TRANSFER_ERROR}, {52, OPENAPI_TRANSFER_ERROR}, {55, OPENAPI_TRANSFER_ERROR},
        {56, OPENAPI_TRANSFER_ERROR}, {61, OPENAPI_TRANSFER_ERROR}, {75, OPENAPI_TRANSFER_ERROR},
        {2, OPENAPI_INTERNAL_ERROR}, {4, OPENAPI_INTERNAL_ERROR}, {27, OPENAPI_INTERNAL_ERROR},
        {47, OPENAPI_INTERNAL_ERROR},
        {6, OPENAPI_HOST_NOT_RESOLVED},
        {42, OPENAPI_ABORTED},
        {63, OPENAPI_FILE_SIZE_EXCEEDED},
        {106, OPENAPI_HTTP_SERVER_ERROR},
    };
}

ErrorMapping::~ErrorMapping() = default;

ErrorMapping* ErrorMapping::getInstance() {
    static ErrorMapping* instance = new ErrorMapping;
    return instance;
}

namespace {
// Built during static initialisation, after errorMap above (same unit, so in this order).
ErrorMapping* const g_errorMapping = ErrorMapping::getInstance();
} // namespace

void OpenApiConnection::checkHandleError(void* handle, int line, ThreadInfo* info) {
    if (!handle)
        throw OPENAPI_INTERNAL_ERROR;
    Travix::TravixEasy* h = easy(handle);
    const int code = h->getErrorCode();
    if (code == 0)
        return;
    if (info) {
        boost::lock_guard<boost::mutex> flag(info->m_flagMutex);
        info->m_terminate = 0;
    }
    auto it = ErrorMapping::errorMap.find(code);
    if (it != ErrorMapping::errorMap.end()) {
        SLOGW("Line: %d Throwing exception: %d -> %s", line, code, h->getError(code).c_str());
        throw it->second;
    }
    SLOGW("Line: %d Throwing Connection Failed error - unsupported Travix Exception: %d -> %s", line, code,
          h->getError(code).c_str());
    throw OPENAPI_CONNECTION_FAILED;
}

// The calling thread's record is this object's own: connection objects are used on the thread
// that made them, and reading m_threadInfoMap here would need the global lock, which must not
// be taken while the transaction lock is held.
void OpenApiConnection::checkError(void* handle, int line) { checkHandleError(handle, line, m_threadInfo); }

void OpenApiConnection::checkStreamError(void* handle, int line) {
    ThreadInfo* info = nullptr;
    {
        boost::lock_guard<boost::mutex> global(m_globalMutex);
        std::ostringstream id;
        id << std::this_thread::get_id();
        auto it = m_threadInfoMap.find(id.str());
        if (it != m_threadInfoMap.end())
            info = it->second;
        // The flag is reset while the record cannot go away.
        if (info && easy(handle)->getErrorCode() != 0) {
            boost::lock_guard<boost::mutex> flag(info->m_flagMutex);
            info->m_terminate = 0;
        }
    }
    checkHandleError(handle, line, nullptr);
}

void OpenApiConnection::checkError(int code, int line) {
    if (code == 0)
        return;
    auto it = ErrorMapping::errorMap.find(code);
    if (it != ErrorMapping::errorMap.end()) {
        SLOGW("Line: %d Throwing exception: %d", line, code);
        throw it->second;
    }
    SLOGW("Line: %d Throwing Connection Failed error - unsupported Travix Exception: %d", line, code);
    throw OPENAPI_CONNECTION_FAILED;
}

bool OpenApiConnection::refuseUnsafeHeaders(const std::vector<HTTPHeader>& headers) {
    for (const HTTPHeader& header : headers)
        if (unsafe(header.name()) || unsafe(header.value())) {
            // The value stays out of the log: it may be the viewer's PIN code.
            SLOGW("Header \"%s\" refused: CR, LF or NUL in its name or value", printableName(header.name()).c_str());
            return true;
        }
    return false;
}

// libcurl ends a redirect it may not follow with "unsupported protocol" (a scheme outside the
// handle's redirect list) or "too many redirects". Both become a plain connection failure: a loop
// is no internal error, whose recovery would stop every other thread's transfers.
int OpenApiConnection::redirectOutcome(Travix::TravixEasy* handle, int code) {
    if (code != kTransferUnsupportedProtocol && code != kTransferTooManyRedirects)
        return code;
    long redirects = 0;
    handle->getInfo(Travix::INFO_REDIRECT_COUNT, &redirects);
    if (handle->getErrorCode() != 0 || redirects == 0)
        return code;   // the request's own URL, not a redirect
    if (code == kTransferTooManyRedirects) {
        SLOGW("Redirect refused: more than %ld redirects", MAX_REDIRECTS);
    } else {
        const char* target = nullptr;
        handle->getInfo(Travix::INFO_EFFECTIVE_URL, &target);
        SLOGW("Redirect refused: an https request may only be redirected to https [%s]", target ? target : "");
    }
    return kTransferUnsupportedProtocol;
}

void OpenApiConnection::configureHandle(void* handle, std::string url) {
    Travix::TravixEasy* h = easy(handle);
    h->setOption(Travix::OPT_NOSIGNAL, 1L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_MAXREDIRS, MAX_REDIRECTS);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_VERBOSE, 0L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_HEADER, 0L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_PROGRESSFUNCTION, &progresscb);
    h->setOption(Travix::OPT_PROGRESSDATA, static_cast<void*>(m_threadInfo));
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_FOLLOWLOCATION, 1L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_MAXCONNECTS, 12L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_HTTP_VERSION, 2);
    h->setOption(Travix::OPT_URL, url);
    checkError(h, __LINE__);
    if (isHttpsUrl(url)) {
        LOGI("Configuring SSL");
        configureSSL(h);
    }
    h->setOption(Travix::OPT_PROGRESS, 1L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_TIMEOUT, static_cast<long>(kDefaultTimeout));
    checkError(h, __LINE__);
    h->setTimeout(0, seams::connectTimeout);
}

void OpenApiConnection::configureSSL(void* handle) {
    Travix::TravixEasy* h = easy(handle);
    h->setOption(Travix::OPT_SSLCERTTYPE, "PEM");
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_SSL_VERIFYPEER, 1L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_SSL_VERIFYHOST, 2L);
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_CAINFO, CA_FILE);
    checkError(h, __LINE__);
    // A redirect keeps this set-up; to plain http it would carry the headers and the body in clear.
    h->setOption(Travix::OPT_REDIR_PROTOCOLS, "https");
    checkError(h, __LINE__);
    h->setOption(Travix::OPT_SSL_CTX_FUNCTION, &sslctxcb);
}

void OpenApiConnection::setRequestType(void* handle, HttpRequestType type) {
    Travix::TravixEasy* h = easy(handle);
    switch (type) {
    case HTTP_GET:
        h->setOption(Travix::OPT_POST, 0L);
        checkError(h, __LINE__);
        h->setOption(Travix::OPT_HTTPGET, 1L);
        checkError(h, __LINE__);
        break;
    case HTTP_POST:
    case HTTP_POST_MULTIPART:
        h->setOption(Travix::OPT_HTTPGET, 0L);
        checkError(h, __LINE__);
        h->setOption(Travix::OPT_POST, 1L);
        checkError(h, __LINE__);
        break;
    default:
        SLOGW("Unsupported HTTP request type");
        throw OPENAPI_HTTP_CLIENT_ERROR;
    }
}

void OpenApiConnection::setOffset(void* handle, long offset) {
    Travix::TravixEasy* h = easy(handle);
    h->setOption(Travix::OPT_RESUME_FROM, offset < 0 ? 0L : offset);
    checkError(h, __LINE__);
}

void OpenApiConnection::setHeaders(void* handle, std::vector<HTTPHeader>& headers) {
    Travix::TravixEasy* h = easy(handle);
    std::vector<std::string> lines;
    lines.reserve(headers.size());
    for (const HTTPHeader& header : headers)
        lines.push_back(header.getHeader());
    h->setOption(Travix::OPT_HTTPHEADER, lines);
    checkError(h, __LINE__);
}

void OpenApiConnection::setPostData(void* handle, HttpRequestType type, void* data, unsigned int size,
                                    std::string fileName) {
    Travix::TravixEasy* h = easy(handle);
    if (type == HTTP_POST_MULTIPART) {
        if (!fileName.empty()) {
            if (!std::ifstream(fileName, std::ios::binary).is_open())
                checkError(kTransferFileNotReadable, __LINE__);
            h->addMultiform(Travix::FORM_NAME, "file", Travix::FORM_FILE, fileName);
        } else {
            h->addMultiform(Travix::FORM_NAME, "file", Travix::FORM_BUFFER_NAME, "data", Travix::FORM_BUFFER,
                            data, Travix::FORM_BUFFER_LENGTH, static_cast<long>(size));
        }
        checkError(h, __LINE__);
        h->setOption(Travix::OPT_MIMEPOST, true);
        checkError(h, __LINE__);
    } else if (type == HTTP_POST) {
        h->setOption(Travix::OPT_POSTFIELDSIZE, static_cast<long>(size));
        checkError(h, __LINE__);
        if (data && size) {
            h->setOption(Travix::OPT_COPYPOSTFIELDS, std::string(static_cast<const char*>(data), size));
            checkError(h, __LINE__);
        }
    }
}

void OpenApiConnection::setCallback(void* handle, WriteCallback fn, void* userdata) {
    Travix::TravixEasy* h = easy(handle);
    if (fn && userdata) {
        h->setOption(Travix::OPT_WRITEDATA, userdata);
        checkError(h, __LINE__);
    }
    h->setOption(Travix::OPT_WRITEFUNCTION, static_cast<Travix::WriteFunction>(fn));
    checkError(h, __LINE__);
}

void OpenApiConnection::resetHandle(void* handle) {
    Travix::TravixEasy* h = easy(handle);
    // Each group runs guarded; the first failure ends the reset, and nothing leaves here.
    auto guarded = [](const std::function<void()>& step) {
        try {
            step();
            return true;
        } catch (const std::exception& e) {
            SLOGW("Exception: %s", e.what());
        } catch (OpenApiErrorCode) {
            SLOGW("error while resetting handle");
        } catch (int) {
            SLOGW("unknown int error");
        } catch (...) {
            SLOGW("unknown exception");
        }
        return false;
    };
    guarded([h] { h->setOption(Travix::OPT_COPYPOSTFIELDS, std::string()); }) &&
        guarded([h] {
            h->setOption(Travix::OPT_POSTFIELDSIZE, 0L);
            h->setOption(Travix::OPT_WRITEFUNCTION, static_cast<Travix::WriteFunction>(nullptr));
        }) &&
        guarded([h] { h->setOption(Travix::OPT_HTTPHEADER, std::vector<std::string>()); }) &&
        guarded([h] {
            h->setOption(Travix::OPT_RESUME_FROM, 0L);
            h->deleteMultiform();
        });
}

void OpenApiConnection::performRequest(std::string url, HttpRequestType type, std::vector<HTTPHeader> headers,
                                       WriteCallback writeFn, void* writeData, void* postData,
                                       unsigned int postSize, std::string fileName, long offset, int timeout,
                                       ResponseType responseType) {
    // Refused before anything is logged or sent: such a value would forge lines of its own.
    if (refuseUnsafeHeaders(headers))
        throw OPENAPI_HTTP_CLIENT_ERROR;
    LOGD("Perform Request for URL :: *********** %s **********", url.c_str());
    LOGD("************************** HEADER START **************************");
    for (const HTTPHeader& header : headers)
        LOGD("%s : %s", header.name().c_str(), header.value().c_str());
    LOGD("************************** HEADER END ****************************");

    long responseCode = 200;
    const std::string requestUrl = Travix::TravixUtility::makeUri(url, "");
    LOGI("updated URL [%s]", requestUrl.c_str());
    int attempts = 0;
    int recoveries = 0;

    for (;;) {
        try {
            Travix::TravixEasy* handle;
            boost::unique_lock<boost::mutex> transaction;
            {
                boost::lock_guard<boost::mutex> global(m_globalMutex);
                handle = initHandle(requestUrl);
                // Taken before the global lock goes, so that no removeThreadHandle can free the
                // record in between.
                transaction = boost::unique_lock<boost::mutex>(m_threadInfo->m_transactionMutex);
            }
            if (type == HTTP_POST_MULTIPART) {
                bool found = false;
                for (const HTTPHeader& header : headers)
                    found = found || header.name() == "Content-Type";
                if (!found) {
                    LOGI("Adding Content type attribute");
                    headers.emplace_back("Content-Type", "multipart/form-data");
                } else {
                    LOGI("Content type attribute found");
                }
            }
            setRequestType(handle, type);
            setOffset(handle, offset);
            setHeaders(handle, headers);
            setPostData(handle, type, postData, postSize, fileName);
            setCallback(handle, writeFn, writeData);

            handle->setOption(Travix::OPT_TIMEOUT, timeout);
            handle->setSmartTVHeader(0);
            handle->send();
            int code = handle->getErrorCode();
            if (isDebug())
                LOGD("Request to %s has been completed: %s", requestUrl.c_str(), handle->getError(code).c_str());
            handle->getInfo(Travix::INFO_RESPONSE_CODE, &responseCode);
            if (code != 0)
                code = redirectOutcome(handle, code);
            resetHandle(handle);
            checkError(code, __LINE__);
            transaction.unlock();
            LOGD("HTTP return code %ld", responseCode);
            break;
        } catch (OpenApiErrorCode e) {
            {
                boost::lock_guard<boost::mutex> global(m_globalMutex);
                removeHandle(m_threadId);
            }
            if (e == OPENAPI_ABORTED) {
                SLOGW("[ABORT] performing request %d", e);
                throw e;
            }
            if (e == OPENAPI_TIMEOUT || e == OPENAPI_COULD_NOT_CONNECT || e == OPENAPI_HOST_NOT_RESOLVED) {
                ++attempts;
                SLOGW("Connection problem: # %d", attempts);
                clearSink(writeData, responseType);
                if (attempts >= kMaxConnectionAttempts)
                    throw e;
                continue;
            }
            if (e == OPENAPI_INTERNAL_ERROR && ++recoveries <= kMaxRecoveries) {
                SLOGW("Recovering from an internal error");
                removeAllHandles();
                Travix::GlobalInit();
                continue;
            }
            SLOGW("[ERROR] %d", e);
            throw e;
        } catch (const std::exception& e) {
            SLOGW("Exception: %s", e.what());
            if (++recoveries > kMaxRecoveries)
                throw OPENAPI_INTERNAL_ERROR;
        } catch (...) {
            SLOGW("[CATCH] exception");
            throw;
        }
    }

    if (responseCode >= 500)
        checkError(kTransferHttpServerError, __LINE__);
    else if (responseCode >= 400)
        checkError(kTransferHttpError, __LINE__);
}

} // namespace openapi
