// Shared by the HTTP client's tests: the test CA installed where CA_FILE points for the whole
// program, servers with certificates from it, and a fixture that leaves the registry empty.
#pragma once

#include "OpenApiConnection.h"
#include "TestHttpsServer.h"
#include "TestSupport.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace openapitest {

using openapi::HTTPHeader;
using openapi::OpenApiConnection;
using tavtest::HttpReply;
using tavtest::HttpRequest;

const tavtest::TestCa& ca();
// Issued by ca(), valid from yesterday to tomorrow.
tavtest::TestCert validCert();

class OpenApiTest : public testing::Test {
protected:
    void TearDown() override;
    std::unique_ptr<tavtest::TestHttpsServer> serve(tavtest::TestHttpsServer::Handler handler,
                                                    const tavtest::TestCert& cert = validCert());
};

HttpReply reply(const std::string& body, int status = 200);

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

// The OpenApiErrorCode of a GET of `url`, or -1 when it succeeds.
int getCode(const std::string& url, const std::vector<HTTPHeader>& headers = {});

// Number of log lines whose message contains `text`.
int logLinesWith(const tavplat::test::LogCapture& log, const std::string& text);

} // namespace openapitest
