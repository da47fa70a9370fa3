// Callbacks handed to the transfer library, and the TLS certificate check. They are called
// from inside libcurl, so none of them lets an exception out.
#include "OpenApiCert.h"
#include "OpenApiConnection.h"

#include "TavLog.h"

#include <boost/thread/locks.hpp>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <sys/time.h>

namespace {

// Before this moment (2013-12-21 00:00:00 UTC) the television's clock is taken as unset.
constexpr time_t kClockCutOver = 1387584000;

std::atomic<openapi::WallClock> g_wallClock{nullptr};

time_t wallClock() {
    if (openapi::WallClock clock = g_wallClock.load())
        return clock();
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return tv.tv_sec;
}

// Reads `count` decimal digits at `text`; -1 when one of them is not a digit.
int digits(const unsigned char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

namespace openapi {

void setWallClock(WallClock clock) { g_wallClock.store(clock); }

std::string HTTPHeader::getHeader() const {
    if (m_value.empty())
        return m_name + ":";
    return m_name + ": " + m_value;
}

size_t readResponse(char* ptr, size_t size, size_t nmemb, void* userdata) {
    const size_t total = size * nmemb;
    if (userdata && ptr) {
        try {
            static_cast<std::string*>(userdata)->append(ptr, total);
        } catch (...) {
            return 0;
        }
    }
    return total;
}

int traceOpenApi(Travix::DEBUG_TYPE, char*, unsigned int, void*) { return 0; }

} // namespace openapi

int progresscb(void* info, double, double, double, double) {
    if (!info)
        return 0;
    auto* record = static_cast<openapi::ThreadInfo*>(info);
    boost::lock_guard<boost::mutex> flag(record->m_flagMutex);
    if (record->m_terminate >= 1) {
        LOGD("Finnishing Travix transaction in prograss callback");
        return 1;
    }
    return 0;
}

size_t datacbvector(char* ptr, size_t size, size_t nmemb, void* userdata) {
    if (!userdata) {
        SLOGW("Passed argument [userdata] is NULL");
        return 0;
    }
    if (!ptr) {
        SLOGW("Passed argument [ptr] is NULL");
        return 0;
    }
    try {
        auto* out = static_cast<std::vector<char>*>(userdata);
        out->insert(out->end(), ptr, ptr + size * nmemb);
    } catch (...) {
        return 0;
    }
    return size * nmemb;
}

size_t datacbstring(char* ptr, size_t size, size_t nmemb, void* userdata) {
    if (!userdata)
        return 0;
    if (!ptr) {
        SLOGW("Passed argument [ptr] is NULL");
        return 0;
    }
    try {
        static_cast<std::string*>(userdata)->append(ptr, size * nmemb);
    } catch (...) {
        return 0;
    }
    return size * nmemb;
}

size_t datacbexternal(char* ptr, size_t size, size_t nmemb, void* userdata) {
    if (!userdata) {
        SLOGW("Passed argument [userdata] is NULL");
        return 0;
    }
    bool taken = false;
    try {
        taken = (*static_cast<openapi::ExternalDataCallback*>(userdata))(ptr, size * nmemb);
    } catch (...) {
        taken = false;
    }
    if (!taken) {
        SLOGW("Invoke of [externalDataCallback:cb] failed");
        return 0;
    }
    return size * nmemb;
}

size_t headerCallback(char*, size_t size, size_t nmemb, void*) { return size * nmemb; }

void sslctxcb(void* ctx, void* user) {
    if (ctx && user)
        SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(ctx), &verifyCertCallback, user);
}

int verifyCertCallback(X509_STORE_CTX* ctx, void*) {
    time_t when = wallClock();
    if (when < kClockCutOver) {
        // A television without network time starts in the past; its certificates are checked
        // as of the day after the server certificate became valid instead.
        X509* leaf = X509_STORE_CTX_get0_cert(ctx);
        if (leaf)
            when = ASN1_GetTime_plus_oneday(X509_getm_notBefore(leaf));
    }
    X509_STORE_CTX_set_time(ctx, 0, when);
    return X509_verify_cert(ctx);
}

time_t ASN1_GetTime_plus_oneday(const ASN1_TIME* time) {
    if (!time)
        return static_cast<time_t>(-1);
    const unsigned char* text = ASN1_STRING_get0_data(time);
    const int length = ASN1_STRING_length(time);
    int year;
    int pos;
    if (ASN1_STRING_type(time) == V_ASN1_UTCTIME && length >= 12) {
        year = digits(text, 2);
        if (year < 0)
            return static_cast<time_t>(-1);
        year += year > 69 ? 1900 : 2000;
        pos = 2;
    } else if (ASN1_STRING_type(time) == V_ASN1_GENERALIZEDTIME && length >= 14) {
        year = digits(text, 4);
        pos = 4;
    } else {
        return static_cast<time_t>(-1);
    }
    const int month = digits(text + pos, 2);
    const int day = digits(text + pos + 2, 2);
    const int hour = digits(text + pos + 4, 2);
    const int minute = digits(text + pos + 6, 2);
    const int second = digits(text + pos + 8, 2);
    if (year < 0 || month < 1 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return static_cast<time_t>(-1);
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day + 1;   // mktime carries an overflow into the next month
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = 0;
    return mktime(&tm);
}
