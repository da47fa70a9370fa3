// Shared by the HTTP client's tests: the test CA installed where CA_FILE points for the whole
// program, servers with certificates from it, and a fixture that leaves the registry empty.
#pragma once

#include "OpenApiConnection.h"
#include "TestHttpsServer.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace openapitest {

const tavtest::TestCa& ca();
// Issued by ca(), valid from yesterday to tomorrow.
tavtest::TestCert validCert();

class OpenApiTest : public testing::Test {
protected:
    void TearDown() override;
    std::unique_ptr<tavtest::TestHttpsServer> serve(tavtest::TestHttpsServer::Handler handler,
                                                    const tavtest::TestCert& cert = validCert());
};

// The OpenApiErrorCode that `f` throws, or -1 when it returns normally.
template <class F>
int thrownCode(F&& f) {
    try {
        f();
    } catch (openapi::OpenApiErrorCode e) {
        return e;
    }
    return -1;
}

// Number of log lines whose message contains `text`.
int logLinesWith(const tavplat::test::LogCapture& log, const std::string& text);

} // namespace openapitest
