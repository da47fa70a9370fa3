// What the client refuses against hostile servers and inputs: redirects away from https, redirect
// loops, forged header lines, certificates for another host or from another CA, a handshake that
// never comes, and an upper-case scheme that must not lose the TLS set-up; and the time the chain
// is checked at.
#include "OpenApiCert.h"
#include "OpenApiStream.h"
#include "OpenApiTestEnv.h"

#include <openssl/asn1.h>

#include <chrono>
#include <thread>

using namespace openapitest;

namespace {

HttpReply redirect(int status, const std::string& location) {
    HttpReply r = reply("", status);
    r.headers = {{"Location", location}};
    return r;
}

HttpReply echo(const HttpRequest& req) {
    return reply(req.method + " " + req.target + " " + req.body + " pin=" + req.header("pincode"));
}

const std::vector<HTTPHeader> kViewerHeaders{{"pincode", "4711"}, {"sessionid", "S-1"}};
const time_t kMarch2020 = 1583020800;   // 2020-03-01 00:00:00 UTC

time_t clockIn2010() { return 1262304000; }

} // namespace

TEST_F(OpenApiTest, HttpsIsNeverRedirectedToPlainHttp) {
    auto target = serve(echo);   // counts connections, plain or not
    const std::string plain = "http" + target->url("/up").substr(5);
    for (const std::string scheme : {"http", "HTTP"}) {
        auto server = serve([&](const HttpRequest& req) {
            return redirect(req.method == "POST" ? 307 : 302, scheme + plain.substr(4));
        });
        tavplat::test::LogCapture log;
        std::string response;
        // 307 would re-post the form and the headers, 302 would send a GET with the headers.
        EXPECT_EQ(thrownCode([&] {
                      OpenApiConnection().PostString(server->url("/up"), kViewerHeaders, "answers", &response, 5);
                  }),
                  openapi::OPENAPI_CONNECTION_FAILED);
        EXPECT_EQ(getCode(server->url("/up"), kViewerHeaders), openapi::OPENAPI_CONNECTION_FAILED);
        EXPECT_EQ(server->requests().size(), 2u) << "no retry";
        EXPECT_EQ(log.countBody("Redirect refused: an https request may only be redirected to https [" + plain + "]"), 2);
        EXPECT_EQ(logLinesWith(log, "Recovering from an internal error"), 0);
    }
    EXPECT_EQ(target->connections(), 0);
}

TEST_F(OpenApiTest, HttpsRedirectsAreFollowedWithTheSameTlsSetUp) {
    auto target = serve(echo);
    tavtest::TestCa other("another CA");
    const time_t now = time(nullptr);
    auto foreign = serve(echo, other.issue(now - 3600, now + 3600));
    auto server = serve([&](const HttpRequest& req) {
        if (req.target == "/post")
            return redirect(307, target->url("/moved"));
        if (req.target == "/foreign")
            return redirect(302, foreign->url("/x"));
        return redirect(302, target->url("/moved"));
    });
    std::string out;
    OpenApiConnection().GetString(server->url("/get"), kViewerHeaders, out, 5);
    EXPECT_EQ(out, "GET /moved  pin=4711");
    out.clear();
    OpenApiConnection().PostString(server->url("/post"), kViewerHeaders, "answers", &out, 5);
    EXPECT_EQ(out, "POST /moved answers pin=4711");
    // The target's certificate is checked against the same CA file.
    EXPECT_EQ(getCode(server->url("/foreign")), openapi::OPENAPI_PEER_VERIFICATION_FAILED);
    EXPECT_TRUE(foreign->requests().empty());
}

TEST_F(OpenApiTest, RedirectLoopEndsAfterFiveAndDropsOnlyThisThreadsHandle) {
    auto server = serve([](const HttpRequest& req) {
        return req.target == "/loop" ? redirect(302, "/loop") : echo(req);
    });
    std::string out;
    std::thread([&] { OpenApiConnection().GetString(server->url("/other"), out, 5); }).join();
    OpenApiConnection().GetString(server->url("/mine"), out, 5);
    ASSERT_EQ(OpenApiConnection::registrySizes().handles, 2u);

    tavplat::test::LogCapture log;
    EXPECT_EQ(getCode(server->url("/loop")), openapi::OPENAPI_CONNECTION_FAILED);
    EXPECT_EQ(server->requests().size(), 2u + 1 + openapi::MAX_REDIRECTS);
    EXPECT_EQ(log.countBody("Redirect refused: more than 5 redirects"), 1);
    EXPECT_EQ(logLinesWith(log, "Recovering from an internal error"), 0);
    // The failed handle is gone, the other thread's handle and both records stay.
    const auto sizes = OpenApiConnection::registrySizes();
    EXPECT_EQ(sizes.handles, 1u);
    EXPECT_EQ(sizes.threadInfos, 2u);
}

TEST_F(OpenApiTest, HeadersWithLineBreaksOrNulAreRefusedBeforeAnythingIsSent) {
    auto server = serve(echo);
    tavplat::test::LogCapture log;
    std::string out;
    const std::vector<HTTPHeader> forged[] = {
        {{"pincode", "4711\r\nX-Forged: 1"}},
        {{"duid", "ok"}, {"sessionid", "S\nX-Forged: 1"}},
        {{"pincode", std::string("47\0X-Forged", 10)}},
        {{"X-Forged\r\nHost", "evil"}},
    };
    for (const auto& headers : forged) {
        EXPECT_EQ(getCode(server->url(), headers), openapi::OPENAPI_HTTP_CLIENT_ERROR);
        EXPECT_EQ(thrownCode([&] {
                      OpenApiConnection().PostFile(server->url(), headers, reinterpret_cast<unsigned char*>(&out[0]),
                                                   0, &out, 5);
                  }),
                  openapi::OPENAPI_HTTP_CLIENT_ERROR);
    }
    std::unique_ptr<openapi::OpenApiStream> stream(OpenApiConnection().CreateStream(server->url(), {}));
    EXPECT_EQ(stream->write({1}, forged[0]), "");
    EXPECT_EQ(server->connections(), 0);

    EXPECT_EQ(log.countBody("Header \"pincode\" refused: CR, LF or NUL in its name or value"), 5);
    EXPECT_EQ(log.countBody("Header \"sessionid\" refused: CR, LF or NUL in its name or value"), 2);
    EXPECT_EQ(log.countBody("Header \"X-Forged\\r\\nHost\" refused: CR, LF or NUL in its name or value"), 2);
    for (const auto& line : log.lines()) {
        EXPECT_EQ(line.body().find("4711"), std::string::npos) << line.text;
        EXPECT_EQ(line.body().find("evil"), std::string::npos) << line.text;
    }

    // The transfer library refuses such a line on its own, keeping the previous list.
    Travix::TravixEasy easy;
    easy.Initialize();
    easy.setOption(Travix::OPT_HTTPHEADER, std::vector<std::string>{"a: b"});
    EXPECT_EQ(easy.getErrorCode(), 0);
    easy.setOption(Travix::OPT_HTTPHEADER, std::vector<std::string>{"a: b\r\nc: d"});
    EXPECT_EQ(easy.getErrorCode(), 43);
    easy.reset();
}

TEST_F(OpenApiTest, UpperCaseSchemeKeepsTheTlsSetUpAndForeignCertificatesAreRefused) {
    for (const char* url : {"https://h/", "HTTPS://h/", "Https:h"})
        EXPECT_TRUE(openapi::isHttpsUrl(url)) << url;
    for (const char* url : {"http://h/", "httpsh/", "https", "", "xhttps://h/"})
        EXPECT_FALSE(openapi::isHttpsUrl(url)) << url;

    auto server = serve(echo);
    tavplat::test::LogCapture log;
    std::string out;
    for (const std::string scheme : {"HTTPS", "Https"})
        OpenApiConnection().GetString(scheme + server->url().substr(5), out, 5);
    EXPECT_EQ(server->requests().size(), 2u);
    EXPECT_EQ(log.countBody("Configuring SSL"), 2);

    // A certificate from the right CA but for another host name only, or from another CA.
    const time_t now = time(nullptr);
    tavtest::TestCa other("another CA");
    for (const auto& cert : {ca().issue(now - 3600, now + 3600, "survey.example"), other.issue(now - 3600, now + 3600)}) {
        auto elsewhere = serve(echo, cert);
        EXPECT_EQ(getCode(elsewhere->url()), openapi::OPENAPI_PEER_VERIFICATION_FAILED);
        EXPECT_TRUE(elsewhere->requests().empty());
    }
}

TEST_F(OpenApiTest, HandshakeThatNeverComesEndsAtTheConnectLimit) {
    auto server = serve(echo);
    server->holdHandshakes(true);
    openapi::seams::connectTimeout = 1;
    std::string out;
    const auto start = std::chrono::steady_clock::now();
    const int code = thrownCode([&] { OpenApiConnection().GetString(server->url(), out, 30); });
    const auto took = std::chrono::steady_clock::now() - start;
    openapi::seams::connectTimeout = 10;
    EXPECT_EQ(code, openapi::OPENAPI_TIMEOUT);
    EXPECT_EQ(server->connections(), 3);   // a connection problem: three attempts
    EXPECT_LT(took, std::chrono::seconds(15));   // each ends at the connect limit, not at 30 s
}

TEST_F(OpenApiTest, UnsetClockVerifiesAsOfNotBeforePlusOneDay) {
    // Valid until just after and just before 2020-03-02 00:00.
    auto lasting = serve(echo, ca().issue(kMarch2020, kMarch2020 + 86400 + 1800));
    auto shortLived = serve(echo, ca().issue(kMarch2020, kMarch2020 + 86400 - 1800));
    openapi::setWallClock(&clockIn2010);
    EXPECT_EQ(getCode(lasting->url()), -1);
    EXPECT_EQ(getCode(shortLived->url()), openapi::OPENAPI_PEER_VERIFICATION_FAILED);
    // With a set clock the same certificate is checked now, long after it expired.
    openapi::setWallClock(nullptr);
    OpenApiConnection::removeAllHandles();   // a new connection, so a new check
    EXPECT_EQ(getCode(lasting->url()), openapi::OPENAPI_PEER_VERIFICATION_FAILED);
}

TEST(Asn1TimePlusOneDay, ReadsBothTimeFormsAsLocalTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    auto parse = [](int type, const char* text) {
        ASN1_TIME* t = ASN1_STRING_type_new(type);
        ASN1_STRING_set(t, text, -1);
        const time_t result = ASN1_GetTime_plus_oneday(t);
        ASN1_TIME_free(t);
        return result;
    };
    EXPECT_EQ(parse(V_ASN1_UTCTIME, "991231120000Z"), 946728000);       // 2000-01-01 12:00, 19YY
    EXPECT_EQ(parse(V_ASN1_UTCTIME, "491231000000Z"), 2524608000);      // 2050-01-01, 20YY
    EXPECT_EQ(parse(V_ASN1_UTCTIME, "700101000000Z"), 86400);           // 1970 pivot
    EXPECT_EQ(parse(V_ASN1_GENERALIZEDTIME, "20200229000000Z"), kMarch2020);   // leap day carried
    EXPECT_EQ(parse(V_ASN1_GENERALIZEDTIME, "2020"), -1);
    EXPECT_EQ(parse(V_ASN1_UTCTIME, "2002xx000000Z"), -1);
}
