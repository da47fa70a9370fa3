// TLS verification against the installed CA file, and the time the chain is checked at.
#include "OpenApiCert.h"
#include "OpenApiTestEnv.h"

#include <openssl/asn1.h>

using namespace openapitest;

namespace {

const time_t kMarch2020 = 1583020800;   // 2020-03-01 00:00:00 UTC

HttpReply hello(const HttpRequest&) { return reply("hello"); }

time_t clockIn2010() { return 1262304000; }

} // namespace

TEST_F(OpenApiTest, UnsetClockVerifiesAsOfNotBeforePlusOneDay) {
    // Valid until just after and just before 2020-03-02 00:00.
    auto lasting = serve(hello, ca().issue(kMarch2020, kMarch2020 + 86400 + 1800));
    auto shortLived = serve(hello, ca().issue(kMarch2020, kMarch2020 + 86400 - 1800));
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
