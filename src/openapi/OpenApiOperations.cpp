// The request operations: thin wrappers that fix the request type, the sink and its write
// function, then run performRequest; and the stream for repeated posts to one URL.
#include "OpenApiConnection.h"
#include "OpenApiStream.h"

#include "TavConstants.h"
#include "TavLog.h"
#include "Utils.h"

namespace openapi {

namespace {

constexpr int kStreamTimeout = 30;

void logRequest(const std::string& url, const std::vector<HTTPHeader>& headers, const std::string& data) {
    LOGD("Request url: %s\nHeaders: %zu", url.c_str(), headers.size());
    for (const HTTPHeader& header : headers)
        LOGD("%s", header.getHeader().c_str());
    LOGD("Data\n%s", data.c_str());
}

void logRequestWithoutHeaders(const std::string& url, const std::string& data) {
    LOGD("Request url: %s\nHeaders: %d", url.c_str(), 0);
    LOGD("Data\n%s", data.c_str());
}

} // namespace

// A post without a response string has no sink: its body is discarded (no write function),
// so that an answer from the server is no write error.
void OpenApiConnection::PostFile(std::string url, std::vector<HTTPHeader> headers, std::string fileName,
                                 std::string* response, int timeout) {
    headers.emplace_back("Expect", "");
    performRequest(url, HTTP_POST_MULTIPART, headers, response ? &datacbstring : nullptr, response, nullptr, 0,
                   fileName, -1, timeout, RESPONSE_STRING);
}

void OpenApiConnection::PostFile(std::string url, std::vector<HTTPHeader> headers, unsigned char* data,
                                 unsigned long size, std::string* response, int timeout) {
    headers.emplace_back("Expect", "");
    performRequest(url, HTTP_POST_MULTIPART, headers, response ? &datacbstring : nullptr, response, data,
                   static_cast<unsigned int>(size), "", -1, timeout, RESPONSE_STRING);
}

void OpenApiConnection::PostBinary(std::string url, std::vector<HTTPHeader> headers, std::vector<char> data,
                                   std::string* response, int timeout) {
    performRequest(url, HTTP_POST, headers, response ? &datacbstring : nullptr, response, data.data(),
                   static_cast<unsigned int>(data.size()), "", -1, timeout, RESPONSE_STRING);
}

void OpenApiConnection::PostBinary(std::string url, std::vector<char> data, std::string* response, int timeout) {
    PostBinary(url, {}, std::move(data), response, timeout);
}

void OpenApiConnection::PostString(std::string url, std::vector<HTTPHeader> headers, std::string data,
                                   std::string* response, int timeout) {
    if (m_netDebug)
        logRequest(url, headers, data);
    performRequest(url, HTTP_POST, headers, response ? &datacbstring : nullptr, response, &data[0],
                   static_cast<unsigned int>(data.size()), "", -1, timeout, RESPONSE_STRING);
    if (m_netDebug)
        LOGD("Response\n%s", response ? response->c_str() : "");
}

void OpenApiConnection::PostString(std::string url, std::string data, std::string* response, int timeout) {
    if (m_netDebug)
        logRequestWithoutHeaders(url, data);
    performRequest(url, HTTP_POST, {}, response ? &datacbstring : nullptr, response, &data[0],
                   static_cast<unsigned int>(data.size()), "", -1, timeout, RESPONSE_STRING);
    if (m_netDebug)
        LOGD("Response\n%s", response ? response->c_str() : "");
}

void OpenApiConnection::GetBinary(std::string url, std::vector<HTTPHeader> headers, std::vector<char>& out,
                                  int timeout) {
    performRequest(url, HTTP_GET, headers, &datacbvector, &out, nullptr, 0, "", -1, timeout, RESPONSE_VECTOR);
}

void OpenApiConnection::GetBinary(std::string url, std::vector<char>& out, int timeout) {
    GetBinary(url, {}, out, timeout);
}

void OpenApiConnection::GetString(std::string url, std::vector<HTTPHeader> headers, std::string& out,
                                  int timeout) {
    if (m_netDebug)
        logRequest(url, headers, "");
    performRequest(url, HTTP_GET, headers, &datacbstring, &out, nullptr, 0, "", -1, timeout, RESPONSE_STRING);
    if (m_netDebug)
        LOGD("Response\n%s\n", out.c_str());
}

void OpenApiConnection::GetString(std::string url, std::string& out, int timeout) {
    if (m_netDebug)
        logRequestWithoutHeaders(url, "");
    performRequest(url, HTTP_GET, {}, &datacbstring, &out, nullptr, 0, "", -1, timeout, RESPONSE_STRING);
    if (m_netDebug)
        LOGD("Response\n%s", out.c_str());
}

OpenApiStream* OpenApiConnection::CreateStream(std::string url, std::vector<HTTPHeader> headers) {
    return new OpenApiStream(url, headers);
}

OpenApiStream::OpenApiStream(std::string url, std::vector<HTTPHeader> headers)
    : m_handle(new Travix::TravixEasy), m_headers(std::move(headers)) {
    try {
        Travix::TravixEasy* h = m_handle;
        h->Initialize();
        h->setOption(Travix::OPT_MAXREDIRS, MAX_REDIRECTS);
        check(h, __LINE__);
        const std::pair<int, long> general[] = {
            {Travix::OPT_NOSIGNAL, 1L},    {Travix::OPT_VERBOSE, 0L},        {Travix::OPT_HEADER, 0L},
            {Travix::OPT_FOLLOWLOCATION, 1L}, {Travix::OPT_TCP_KEEPALIVE, 1L}, {Travix::OPT_MAXCONNECTS, 12L},
        };
        for (const auto& option : general) {
            h->setOption(option.first, option.second);
            check(h, __LINE__);
        }
        h->setOption(Travix::OPT_URL, url);
        check(h, __LINE__);
        const std::pair<int, long> transfer[] = {
            {Travix::OPT_PROGRESS, 1L}, {Travix::OPT_TCP_KEEPIDLE, 30L},
            {Travix::OPT_TIMEOUT, static_cast<long>(kStreamTimeout)}, {Travix::OPT_POST, 1L},
        };
        for (const auto& option : transfer) {
            h->setOption(option.first, option.second);
            check(h, __LINE__);
        }
        h->setOption(Travix::OPT_SSLCERTTYPE, "PEM");
        check(h, __LINE__);
        h->setOption(Travix::OPT_SSL_VERIFYPEER, 1L);
        check(h, __LINE__);
        h->setOption(Travix::OPT_SSL_VERIFYHOST, 2L);
        check(h, __LINE__);
        h->setOption(Travix::OPT_CAINFO, CA_FILE);
        check(h, __LINE__);
        if (isHttpsUrl(url)) {
            h->setOption(Travix::OPT_REDIR_PROTOCOLS, "https");
            check(h, __LINE__);
        }
        h->setOption(Travix::OPT_SSL_CTX_FUNCTION, &sslctxcb);
        check(h, __LINE__);
        h->setOption(Travix::OPT_WRITEFUNCTION, &readResponse);
        check(h, __LINE__);
    } catch (...) {
        m_handle->reset();
        delete m_handle;
        throw;
    }
}

OpenApiStream::~OpenApiStream() {
    m_handle->reset();
    delete m_handle;
}

std::string OpenApiStream::write(std::vector<unsigned char> data, std::vector<HTTPHeader> headers) {
    std::string response;
    if (OpenApiConnection::refuseUnsafeHeaders(m_headers) || OpenApiConnection::refuseUnsafeHeaders(headers))
        return response;
    m_handle->addMultiform(Travix::FORM_NAME, "file", Travix::FORM_BUFFER_NAME, "data", Travix::FORM_BUFFER,
                           data.data(), Travix::FORM_BUFFER_LENGTH, static_cast<long>(data.size()));
    int code = m_handle->getErrorCode();
    m_handle->setOption(Travix::OPT_WRITEDATA, static_cast<void*>(&response));
    m_handle->setOption(Travix::OPT_MIMEPOST, true);
    if (code == 0)
        code = m_handle->getErrorCode();
    std::vector<std::string> lines;
    for (const HTTPHeader& header : m_headers)
        lines.push_back(header.getHeader());
    for (const HTTPHeader& header : headers)
        lines.push_back(header.getHeader());
    m_handle->setOption(Travix::OPT_HTTPHEADER, lines);
    // Without its form the post would have no body of its own: it is not sent.
    if (code == 0) {
        m_handle->send();
        code = m_handle->getErrorCode();
    }
    m_handle->deleteMultiform();
    if (code != 0)
        SLOGW("Travix error: %s", m_handle->getLastError().c_str());
    else if (isDebug())
        LOGD("%s", response.c_str());
    m_handle->setOption(Travix::OPT_HTTPHEADER, std::vector<std::string>());
    return response;
}

void OpenApiStream::check(Travix::TravixEasy* handle, int line) {
    if (handle->getErrorCode() != 0)
        OpenApiConnection::checkStreamError(handle, line);
}

} // namespace openapi
