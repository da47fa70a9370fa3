#include "Travix.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstring>
#include <mutex>

namespace Travix {

namespace {

constexpr int kHttpServerError = 106;

// libcurl comes with two dozen libraries of its own (GnuTLS, Kerberos, LDAP, SSH, ...), some
// of which set themselves up as they load. Linked, they would cost every program that links
// the transfer library megabytes of memory and milliseconds of start-up, although most of them
// transfer late (the survey only after Submit) or never. So libcurl is loaded with the first
// handle.
#define TRAVIX_CURL_FUNCTIONS(X)                                                              \
    X(global_init) X(global_cleanup) X(version_info) X(easy_init) X(easy_cleanup)             \
    X(easy_setopt) X(easy_getinfo) X(easy_perform) X(easy_strerror) X(mime_init)              \
    X(mime_addpart) X(mime_name) X(mime_data) X(mime_filedata) X(mime_filename) X(mime_free)  \
    X(slist_append) X(slist_free_all)

struct CurlLibrary {
#define TRAVIX_CURL_POINTER(name) decltype(&::curl_##name) name = nullptr;
    TRAVIX_CURL_FUNCTIONS(TRAVIX_CURL_POINTER)
#undef TRAVIX_CURL_POINTER
};

constexpr const char* kCurlSoname = "libcurl.so.4";

// Null when libcurl cannot be loaded; then no handle can be initialised.
const CurlLibrary* loadedCurl() {
    static const CurlLibrary* const loaded = []() -> const CurlLibrary* {
        void* handle = dlopen(kCurlSoname, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return nullptr;
        static CurlLibrary table;
#define TRAVIX_CURL_RESOLVE(name)                                                             \
        table.name = reinterpret_cast<decltype(table.name)>(dlsym(handle, "curl_" #name));      \
        if (!table.name)                                                                       \
            return nullptr;
        TRAVIX_CURL_FUNCTIONS(TRAVIX_CURL_RESOLVE)
#undef TRAVIX_CURL_RESOLVE
        return &table;
    }();
    return loaded;
}

// Only where a handle exists, which means the library is loaded.
const CurlLibrary& lib() { return *loadedCurl(); }

std::mutex g_globalMutex;
int g_extraInits = 0;

// Loads libcurl and runs its global set-up, once for the process, for the first handle (or
// GlobalInit). False when libcurl is not available.
bool ensureGlobal() {
    if (!loadedCurl())
        return false;
    static const CURLcode once = lib().global_init(CURL_GLOBAL_DEFAULT);
    (void)once;
    return true;
}

bool isLongOption(int option) {
    switch (option) {
    case OPT_VERBOSE: case OPT_PROGRESS: case OPT_HEADER: case OPT_MAXCONNECTS:
    case OPT_FOLLOWLOCATION: case OPT_TCP_KEEPALIVE: case OPT_POST: case OPT_HTTPGET:
    case OPT_HTTP_VERSION: case OPT_POSTFIELDSIZE: case OPT_NOSIGNAL: case OPT_RESUME_FROM:
    case OPT_TIMEOUT: case OPT_TCP_KEEPIDLE: case OPT_MAXREDIRS: case OPT_SSL_VERIFYHOST:
    case OPT_SSL_VERIFYPEER: case OPT_MIMEPOST:
        return true;
    default:
        return false;
    }
}

bool isKnownOption(int option) {
    switch (option) {
    case OPT_URL: case OPT_COPYPOSTFIELDS: case OPT_CAINFO: case OPT_SSLCERTTYPE:
    case OPT_HTTPHEADER: case OPT_WRITEFUNCTION: case OPT_PROGRESSFUNCTION:
    case OPT_SSL_CTX_FUNCTION: case OPT_WRITEDATA: case OPT_PROGRESSDATA: case OPT_REDIR_PROTOCOLS:
        return true;
    default:
        return isLongOption(option);
    }
}

// The code for a value of the wrong kind: a known option says "bad argument", an unknown one
// "unknown option".
int wrongKind(int option) {
    return isKnownOption(option) ? CURLE_BAD_FUNCTION_ARGUMENT : CURLE_UNKNOWN_OPTION;
}

} // namespace

struct TravixEasy::Impl {
    TravixEasy* owner = nullptr;
    CURL* curl = nullptr;
    curl_mime* mime = nullptr;
    curl_slist* headers = nullptr;
    WriteFunction writeFn = nullptr;
    void* writeUser = nullptr;
    ProgressFunction progressFn = nullptr;
    void* progressUser = nullptr;
    bool progressOn = false;
    SslCtxFunction sslFn = nullptr;
    // The request body (option 60) lives here; libcurl points into it.
    std::string body;
    bool bodySet = false;
    curl_off_t bodySize = -1;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    ~Impl() { release(); }

    void release() {
        if (curl) {
            lib().easy_cleanup(curl);
            curl = nullptr;
        }
        if (mime) {
            lib().mime_free(mime);
            mime = nullptr;
        }
        if (headers) {
            lib().slist_free_all(headers);
            headers = nullptr;
        }
        writeFn = nullptr;
        writeUser = nullptr;
        progressFn = nullptr;
        progressUser = nullptr;
        progressOn = false;
        sslFn = nullptr;
        body.clear();
        bodySet = false;
        bodySize = -1;
    }

    // No exception may cross into libcurl: the trampolines catch everything.
    static size_t onWrite(char* ptr, size_t size, size_t count, void* user) noexcept {
        auto* self = static_cast<Impl*>(user);
        if (!self->writeFn)
            return size * count;   // nobody wants the body
        try {
            return self->writeFn(ptr, size, count, self->writeUser);
        } catch (...) {
            return 0;
        }
    }

    static int onProgress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow) noexcept {
        auto* self = static_cast<Impl*>(user);
        if (!self->progressFn)
            return 0;
        try {
            return self->progressFn(self->progressUser, static_cast<double>(dlTotal),
                                    static_cast<double>(dlNow), static_cast<double>(ulTotal),
                                    static_cast<double>(ulNow)) != 0;
        } catch (...) {
            return 1;
        }
    }

    static CURLcode onSslCtx(CURL*, void* sslCtx, void* user) noexcept {
        auto* self = static_cast<Impl*>(user);
        try {
            if (self->sslFn)
                self->sslFn(sslCtx, self->owner);
        } catch (...) {
            return CURLE_SSL_CERTPROBLEM;
        }
        return CURLE_OK;
    }

    CURLcode updateProgress() {
        return lib().easy_setopt(curl, CURLOPT_NOPROGRESS, (progressOn && progressFn) ? 0L : 1L);
    }

    CURLcode applyDefaults() {
        CURLcode rc = CURLE_OK;
        auto set = [&rc](CURLcode r) {
            if (rc == CURLE_OK)
                rc = r;
        };
        set(lib().easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer));
        set(lib().easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::onWrite));
        set(lib().easy_setopt(curl, CURLOPT_WRITEDATA, this));
        set(lib().easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress));
        set(lib().easy_setopt(curl, CURLOPT_XFERINFODATA, this));
        set(lib().easy_setopt(curl, CURLOPT_NOPROGRESS, 1L));
        // Only web traffic: a "file://" or other scheme must not reach the local system.
        set(lib().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(lib().easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
        return rc;
    }

    CURLcode setLong(int option, long value) {
        switch (option) {
        case OPT_VERBOSE: return lib().easy_setopt(curl, CURLOPT_VERBOSE, value);
        case OPT_PROGRESS: progressOn = value != 0; return updateProgress();
        case OPT_HEADER: return lib().easy_setopt(curl, CURLOPT_HEADER, value);
        case OPT_MAXCONNECTS: return lib().easy_setopt(curl, CURLOPT_MAXCONNECTS, value);
        case OPT_FOLLOWLOCATION: return lib().easy_setopt(curl, CURLOPT_FOLLOWLOCATION, value);
        case OPT_TCP_KEEPALIVE: return lib().easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, value);
        case OPT_POST: return lib().easy_setopt(curl, CURLOPT_POST, value);
        case OPT_HTTPGET: return lib().easy_setopt(curl, CURLOPT_HTTPGET, value);
        case OPT_HTTP_VERSION: return lib().easy_setopt(curl, CURLOPT_HTTP_VERSION, value);
        case OPT_POSTFIELDSIZE:
            bodySize = value;
            return lib().easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(value));
        case OPT_NOSIGNAL: return lib().easy_setopt(curl, CURLOPT_NOSIGNAL, value);
        case OPT_RESUME_FROM:
            return lib().easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(value));
        case OPT_TIMEOUT: return lib().easy_setopt(curl, CURLOPT_TIMEOUT, value);
        case OPT_TCP_KEEPIDLE: {
            CURLcode rc = lib().easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, value);
            return rc != CURLE_OK ? rc : lib().easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, value);
        }
        case OPT_MAXREDIRS: return lib().easy_setopt(curl, CURLOPT_MAXREDIRS, value);
        case OPT_SSL_VERIFYHOST: return lib().easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, value);
        case OPT_SSL_VERIFYPEER: return lib().easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, value);
        case OPT_MIMEPOST:
            if (!value)
                return lib().easy_setopt(curl, CURLOPT_MIMEPOST, static_cast<curl_mime*>(nullptr));
            if (!mime)
                return CURLE_BAD_FUNCTION_ARGUMENT;   // no form was built
            return lib().easy_setopt(curl, CURLOPT_MIMEPOST, mime);
        default:
            return static_cast<CURLcode>(wrongKind(option));
        }
    }

    CURLcode setString(int option, const char* data, size_t length) {
        switch (option) {
        case OPT_URL: return lib().easy_setopt(curl, CURLOPT_URL, data);
        case OPT_CAINFO: return lib().easy_setopt(curl, CURLOPT_CAINFO, data);
        case OPT_SSLCERTTYPE: return lib().easy_setopt(curl, CURLOPT_SSLCERTTYPE, data);
        case OPT_REDIR_PROTOCOLS: return lib().easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, data);
        case OPT_COPYPOSTFIELDS: {
            body.assign(data ? data : "", data ? length : 0);
            bodySet = true;
            bodySize = static_cast<curl_off_t>(body.size());
            CURLcode rc = lib().easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, bodySize);
            return rc != CURLE_OK ? rc : lib().easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        }
        default:
            return static_cast<CURLcode>(wrongKind(option));
        }
    }
};

void GlobalInit() {
    if (!ensureGlobal())
        return;
    std::lock_guard<std::mutex> lock(g_globalMutex);
    if (lib().global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK)
        ++g_extraInits;
}

void GlobalDeinit() {
    std::lock_guard<std::mutex> lock(g_globalMutex);
    if (g_extraInits > 0) {
        lib().global_cleanup();
        --g_extraInits;
    }
}

TravixEasy::TravixEasy() : m_impl(new Impl) { m_impl->owner = this; }

TravixEasy::~TravixEasy() { delete m_impl; }

void TravixEasy::Initialize() {
    m_impl->release();
    m_impl->curl = ensureGlobal() ? lib().easy_init() : nullptr;
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
        return;
    }
    m_error = m_impl->applyDefaults();
}

void TravixEasy::reset() {
    m_impl->release();
    m_error = CURLE_OK;
}

std::string TravixEasy::getError(TRAVIX_EASY_ERROR code) const {
    if (code == kHttpServerError)
        return "HTTP server error";
    if (!loadedCurl())
        return std::string(kCurlSoname) + " cannot be loaded";
    return lib().easy_strerror(static_cast<CURLcode>(code));
}

std::string TravixEasy::getLastError() const {
    if (m_impl->errorBuffer[0])
        return m_impl->errorBuffer;
    return getError(m_error);
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, long value) {
    m_error = m_impl->curl ? m_impl->setLong(option, value) : CURLE_FAILED_INIT;
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, int value) {
    setOption(option, static_cast<long>(value));
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, bool value) {
    setOption(option, value ? 1L : 0L);
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, const char* value) {
    m_error = m_impl->curl ? m_impl->setString(option, value, value ? std::strlen(value) : 0)
                           : CURLE_FAILED_INIT;
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, const std::string& value) {
    m_error = m_impl->curl ? m_impl->setString(option, value.c_str(), value.size()) : CURLE_FAILED_INIT;
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, void* value) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
    } else if (option == OPT_WRITEDATA) {
        m_impl->writeUser = value;
        m_error = CURLE_OK;
    } else if (option == OPT_PROGRESSDATA) {
        m_impl->progressUser = value;
        m_error = CURLE_OK;
    } else {
        m_error = wrongKind(option);
    }
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, const std::vector<std::string>& lines) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
        return;
    }
    if (option != OPT_HTTPHEADER) {
        m_error = wrongKind(option);
        return;
    }
    // A line break inside a line would put a line of its own on the wire, and a NUL would cut
    // the line short where libcurl reads it: neither reaches the list.
    for (const std::string& line : lines)
        if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
            m_error = CURLE_BAD_FUNCTION_ARGUMENT;
            return;
        }
    curl_slist* list = nullptr;
    for (const std::string& line : lines) {
        curl_slist* next = lib().slist_append(list, line.c_str());
        if (!next) {
            lib().slist_free_all(list);
            m_error = CURLE_OUT_OF_MEMORY;
            return;
        }
        list = next;
    }
    m_error = lib().easy_setopt(m_impl->curl, CURLOPT_HTTPHEADER, list);
    if (m_error != CURLE_OK) {
        lib().slist_free_all(list);
        return;
    }
    // libcurl keeps a pointer to the list, so the previous one goes only now.
    lib().slist_free_all(m_impl->headers);
    m_impl->headers = list;
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, WriteFunction fn) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
    } else if (option != OPT_WRITEFUNCTION) {
        m_error = wrongKind(option);
    } else {
        m_impl->writeFn = fn;
        // Dropping the function also forgets its user pointer, which may not outlive the request.
        if (!fn)
            m_impl->writeUser = nullptr;
        m_error = CURLE_OK;
    }
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, ProgressFunction fn) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
    } else if (option != OPT_PROGRESSFUNCTION) {
        m_error = wrongKind(option);
    } else {
        m_impl->progressFn = fn;
        m_error = m_impl->updateProgress();
    }
}

void TravixEasy::setOption(TRAVIX_OPTION_TYPE option, SslCtxFunction fn) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
    } else if (option != OPT_SSL_CTX_FUNCTION) {
        m_error = wrongKind(option);
    } else {
        m_impl->sslFn = fn;
        CURLcode rc = lib().easy_setopt(m_impl->curl, CURLOPT_SSL_CTX_FUNCTION,
                                       fn ? &Impl::onSslCtx : nullptr);
        if (rc == CURLE_OK)
            rc = lib().easy_setopt(m_impl->curl, CURLOPT_SSL_CTX_DATA, m_impl);
        m_error = rc;
    }
}

namespace {

struct FormPart {
    const std::string* name = nullptr;
    const std::string* file = nullptr;
    const std::string* bufferName = nullptr;
    void* buffer = nullptr;
    long bufferLength = -1;
    bool valid = true;

    void text(int option, const std::string& value) {
        switch (option) {
        case FORM_NAME: name = &value; break;
        case FORM_FILE: file = &value; break;
        case FORM_BUFFER_NAME: bufferName = &value; break;
        default: valid = false;
        }
    }
};

CURLcode addPart(curl_mime* mime, const FormPart& p) {
    if (!p.valid || !p.name || (p.file && p.buffer) || (!p.file && !p.buffer))
        return CURLE_BAD_FUNCTION_ARGUMENT;
    if (p.buffer && p.bufferLength < 0)
        return CURLE_BAD_FUNCTION_ARGUMENT;
    curl_mimepart* part = lib().mime_addpart(mime);
    if (!part)
        return CURLE_OUT_OF_MEMORY;
    CURLcode rc = lib().mime_name(part, p.name->c_str());
    if (rc != CURLE_OK)
        return rc;
    if (p.file)
        return lib().mime_filedata(part, p.file->c_str());
    rc = lib().mime_data(part, static_cast<const char*>(p.buffer), static_cast<size_t>(p.bufferLength));
    if (rc == CURLE_OK && p.bufferName)
        rc = lib().mime_filename(part, p.bufferName->c_str());
    return rc;
}

} // namespace

void TravixEasy::addMultiform(TRAVIX_FORM_OPTION o1, const std::string& v1, TRAVIX_FORM_OPTION o2,
                              const std::string& v2) {
    addMultiform(o1, v1, o2, v2, -1, nullptr, -1, -1);
}

void TravixEasy::addMultiform(TRAVIX_FORM_OPTION o1, const std::string& v1, TRAVIX_FORM_OPTION o2,
                              const std::string& v2, TRAVIX_FORM_OPTION o3, void* v3,
                              TRAVIX_FORM_OPTION o4, long v4) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
        return;
    }
    FormPart p;
    p.text(o1, v1);
    p.text(o2, v2);
    if (o3 != -1) {
        p.valid = p.valid && o3 == FORM_BUFFER && o4 == FORM_BUFFER_LENGTH;
        p.buffer = v3;
        p.bufferLength = v4;
        // A zero-length buffer may come without an address.
        static char empty = 0;
        if (!p.buffer && v4 == 0)
            p.buffer = &empty;
    }
    if (!m_impl->mime && !(m_impl->mime = lib().mime_init(m_impl->curl))) {
        m_error = CURLE_OUT_OF_MEMORY;
        return;
    }
    m_error = addPart(m_impl->mime, p);
}

void TravixEasy::deleteMultiform() {
    m_error = CURLE_OK;
    if (!m_impl->mime)
        return;
    // Unhook the form from the handle before it is freed.
    if (m_impl->curl)
        lib().easy_setopt(m_impl->curl, CURLOPT_MIMEPOST, static_cast<curl_mime*>(nullptr));
    lib().mime_free(m_impl->mime);
    m_impl->mime = nullptr;
}

void TravixEasy::setSmartTVHeader(int mode) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
        return;
    }
    static const std::string agent = std::string("Travix/1.0 libcurl/") + lib().version_info(CURLVERSION_NOW)->version;
    m_error = lib().easy_setopt(m_impl->curl, CURLOPT_USERAGENT, mode ? agent.c_str() : nullptr);
}

void TravixEasy::setTimeout(long transferSeconds, long connectSeconds) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
        return;
    }
    CURLcode rc = CURLE_OK;
    if (transferSeconds > 0)
        rc = lib().easy_setopt(m_impl->curl, CURLOPT_TIMEOUT, transferSeconds);
    if (rc == CURLE_OK && connectSeconds > 0)
        rc = lib().easy_setopt(m_impl->curl, CURLOPT_CONNECTTIMEOUT, connectSeconds);
    m_error = rc;
}

void TravixEasy::send() {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
        return;
    }
    // A body size beyond the body we hold would make libcurl read past it.
    if (m_impl->bodySet && m_impl->bodySize > static_cast<curl_off_t>(m_impl->body.size())) {
        m_error = CURLE_BAD_FUNCTION_ARGUMENT;
        return;
    }
    m_impl->errorBuffer[0] = '\0';
    m_error = lib().easy_perform(m_impl->curl);
}

void TravixEasy::getInfo(TRAVIX_INFO_TYPE info, long* value) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
    } else if (!value) {
        m_error = CURLE_BAD_FUNCTION_ARGUMENT;
    } else if (info == INFO_RESPONSE_CODE) {
        m_error = lib().easy_getinfo(m_impl->curl, CURLINFO_RESPONSE_CODE, value);
    } else if (info == INFO_REDIRECT_COUNT) {
        m_error = lib().easy_getinfo(m_impl->curl, CURLINFO_REDIRECT_COUNT, value);
    } else {
        m_error = CURLE_BAD_FUNCTION_ARGUMENT;
    }
}

void TravixEasy::getInfo(TRAVIX_INFO_TYPE info, const char** value) {
    if (!m_impl->curl) {
        m_error = CURLE_FAILED_INIT;
    } else if (info != INFO_EFFECTIVE_URL || !value) {
        m_error = CURLE_BAD_FUNCTION_ARGUMENT;
    } else {
        char* url = nullptr;
        m_error = lib().easy_getinfo(m_impl->curl, CURLINFO_EFFECTIVE_URL, &url);
        *value = url;
    }
}

std::string TravixUtility::makeUri(const std::string& url, const std::string& path) {
    if (path.empty())
        return url;
    if (url.empty())
        return path;
    const bool urlSlash = url.back() == '/';
    const bool pathSlash = path.front() == '/';
    if (urlSlash && pathSlash)
        return url + path.substr(1);
    if (!urlSlash && !pathSlash)
        return url + "/" + path;
    return url + path;
}

} // namespace Travix
