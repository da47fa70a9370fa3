#include "OpenApiTestEnv.h"

#include "TavConstants.h"
#include "tavplat/test_control.h"

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
        m_ca = std::make_unique<tavtest::TestCa>("tavrin test CA");
        m_installed = std::make_unique<tavtest::InstalledFile>(CA_FILE, m_ca->certPem());
    }
    void TearDown() override {
        m_installed.reset();
        m_ca.reset();
    }
    std::unique_ptr<tavtest::TestCa> m_ca;
    std::unique_ptr<tavtest::InstalledFile> m_installed;
};

Pki* const g_pki = static_cast<Pki*>(testing::AddGlobalTestEnvironment(new Pki));

} // namespace

const tavtest::TestCa& ca() { return *g_pki->m_ca; }

tavtest::TestCert validCert() {
    const time_t now = time(nullptr);
    return ca().issue(now - 86400, now + 86400);
}

void OpenApiTest::TearDown() {
    openapi::OpenApiConnection::removeAllHandles();
    openapi::setWallClock(nullptr);
}

std::unique_ptr<tavtest::TestHttpsServer> OpenApiTest::serve(tavtest::TestHttpsServer::Handler handler,
                                                             const tavtest::TestCert& cert) {
    return std::make_unique<tavtest::TestHttpsServer>(cert, std::move(handler));
}

int logLinesWith(const tavplat::test::LogCapture& log, const std::string& text) {
    int n = 0;
    for (const auto& line : log.lines())
        n += line.body().find(text) != std::string::npos;
    return n;
}

} // namespace openapitest
