#include "OpenApiTestEnv.h"

#include <cstdlib>
#include <ctime>

namespace openapitest {

namespace {

const tavtest::TrustedCa& trusted() {
    static const auto trusted = [] {
        // Certificate times in the tests are UTC; the client reads them as local time.
        setenv("TZ", "UTC", 1);
        tzset();
        return std::make_unique<tavtest::TrustedCa>();
    }();
    return *trusted;
}

} // namespace

const tavtest::TestCa& ca() { return trusted().ca(); }

tavtest::TestCert validCert() { return trusted().validCert(); }

void OpenApiTest::TearDown() {
    OpenApiConnection::removeAllHandles();
    openapi::setWallClock(nullptr);
}

std::unique_ptr<tavtest::TestHttpsServer> OpenApiTest::serve(tavtest::TestHttpsServer::Handler handler,
                                                             const tavtest::TestCert& cert) {
    return trusted().serve(std::move(handler), &cert);
}

HttpReply reply(const std::string& body, int status) {
    HttpReply r;
    r.status = status;
    r.body = body;
    return r;
}

int getCode(const std::string& url, const std::vector<HTTPHeader>& headers) {
    std::string out;
    return thrownCode([&] { OpenApiConnection().GetString(url, headers, out, 5); });
}

int logLinesWith(const tavplat::test::LogCapture& log, const std::string& text) {
    int n = 0;
    for (const auto& line : log.lines())
        n += line.body().find(text) != std::string::npos;
    return n;
}

} // namespace openapitest
