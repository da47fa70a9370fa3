#include "Excpn.h"
#include "TavConstants.h"
#include "TavLog.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

TEST(Constants, JoinedNamesHaveExactlyOneSeparator) {
    EXPECT_EQ(SURVEY_RESULT_FILE, "/opt/usr/apps/org.tizen.tavrin/survey/TavSurveyResult.xml");
    EXPECT_EQ(CA_FILE, "/opt/data/cert/trxca.pem");
    EXPECT_EQ(MENU_STRUCTURE_FILE, "/usr/apps/org.tizen.tavrin/res/xml/menuStructure.xml");
}

static void logSomething() { SLOGW("value %d of %s", 7, "x"); }

TEST(Log, PrefixTagBufferAndPriority) {
    tavplat::test::LogCapture cap;
    const int line = __LINE__ + 1;
    LOGI("Set language: %s", "de_DE.utf8");
    logSomething();
    const auto lines = cap.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].tag, "TAVRIN");
    EXPECT_EQ(lines[0].buffer, LOG_ID_MAIN);
    EXPECT_EQ(lines[0].priority, DLOG_INFO);
    EXPECT_EQ(lines[0].text, "CommonTest.cpp: TestBody(" + std::to_string(line) + ") > Set language: de_DE.utf8");
    EXPECT_EQ(lines[1].buffer, LOG_ID_SYSTEM);
    EXPECT_EQ(lines[1].priority, DLOG_WARN);
    EXPECT_EQ(lines[1].file(), "CommonTest.cpp");
    EXPECT_NE(lines[1].text.find(": logSomething("), std::string::npos);
    EXPECT_EQ(lines[1].body(), "value 7 of x");
}

TEST(Excpn, CarriesMessageAndCode) {
    try {
        throw Excpn<int>("Input XML is empty", 0);
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Input XML is empty");
        EXPECT_EQ(dynamic_cast<const Excpn<int>&>(e).code(), 0);
    }
}
