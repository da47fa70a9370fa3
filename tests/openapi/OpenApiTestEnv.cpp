#include "OpenApiTestEnv.h"

#include <cstdlib>
#include <ctime>

namespace openapitest {

namespace {

class Pki : public testing::Environment {
public:
    void SetUp() override {
        // Certificate times in the tests are UTC; the client reads them as local time.
        setenv("TZ", "UTC", 1);
        tzset();
        m_trusted = std::make_unique<tavtest::TrustedCa>();
    }
    void TearDown() override { m_trusted.reset(); }
    std::unique_ptr<tavtest::TrustedCa> m_trusted;
};

Pki* const g_pki = static_cast<Pki*>(testing::AddGlobalTestEnvironment(new Pki));

} // namespace

const tavtest::TestCa& ca() { return g_pki->m_trusted->ca(); }

tavtest::TestCert validCert() { return g_pki->m_trusted->validCert(); }

void OpenApiTest::TearDown() {
    OpenApiConnection::removeAllHandles();
    openapi::setWallClock(nullptr);
}

std::unique_ptr<tavtest::TestHttpsServer> OpenApiTest::serve(tavtest::TestHttpsServer::Handler handler,
                                                             const tavtest::TestCert& cert) {
    return g_pki->m_trusted->serve(std::move(handler), &cert);
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
