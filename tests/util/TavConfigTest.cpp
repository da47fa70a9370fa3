#include "Excpn.h"
#include "TavConfig.h"
#include "TestSupport.h"
#include "XmlParser.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using tavplat::test::LogCapture;

const char kFlag[] = "custom/com.kestova/featureconf/remote_service.enable";
const char* const kServers[] = {"TavsOperatingServer", "TavsDevelopmentServer", "TavsDevelopingServer"};

class TavConfigTest : public testing::Test {
protected:
    void TearDown() override {
        TavConfig::deinitialize();
        tavplat::test::clearFaults();
        tavplat::profileSet(kFlag, "bool", "1");
    }
};

} // namespace

TEST_F(TavConfigTest, FeatureFlagChoosesServers) {
    const std::regex baseUrl("https://[a-z0-9.-]+\\.example\\.(com|net)");
    TavConfig::load();
    std::vector<std::string> global;
    for (const char* key : kServers) {
        global.push_back(TavConfig::get(key));
        EXPECT_TRUE(std::regex_match(global.back(), baseUrl)) << key << " " << global.back();
    }
    EXPECT_TRUE(TavConfig::is("SurveySatisfactionSupported", "1"));
    EXPECT_EQ(TavConfig::getInt("SurveySatisfactionSupported"), 1);
    EXPECT_THROW(TavConfig::getInt("TavsOperatingServer"), std::invalid_argument);
    EXPECT_THROW(TavConfig::get("NoSuchKey"), std::out_of_range);

    ASSERT_TRUE(tavplat::profileSet(kFlag, "bool", "0"));
    TavConfig::set("TavsOperatingServer", "https://changed.example.com");
    TavConfig::load();
    EXPECT_TRUE(std::regex_match(TavConfig::get("TavsOperatingServer"), baseUrl));
    EXPECT_NE(TavConfig::get("TavsOperatingServer"), global[0]);
    EXPECT_TRUE(std::regex_match(TavConfig::get("TavsDevelopmentServer"), baseUrl));
    EXPECT_NE(TavConfig::get("TavsDevelopmentServer"), global[1]);
    EXPECT_EQ(TavConfig::get("TavsDevelopingServer"), "");

    TavConfig::deinitialize();
    tavplat::test::setFault(kFlag, tavplat::FaultMode::Fail);
    LogCapture log;
    TavConfig::load();
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_INFO, "FMS item read failed"));
    for (const char* key : kServers)
        EXPECT_THROW(TavConfig::get(key), std::out_of_range);
    EXPECT_TRUE(TavConfig::is("SurveySatisfactionSupported", "1"));
}

TEST_F(TavConfigTest, UpdateXmlFileWritesTheElementsOfTheFile) {
    tavtest::TempDir dir;
    const std::string file = dir.file("config.xml"), other = dir.file("other.xml");
    const std::string original =
        "<?xml version=\"1.0\"?>\n<config><!-- kept --><item name=\"SurveySatisfactionSupported\">0</item>"
        "<item name=\"Unknown\">old</item><item name=\"Custom\"/>\n"
        "</config>\n";
    tavtest::writeFile(file, original);
    tavtest::writeFile(other, original);

    TavConfig::initialize(dir.file("first.xml"));
    TavConfig::initialize(file);   // nothing stored yet: the later path wins
    TavConfig::load();
    LogCapture log;
    TavConfig::initialize(other);
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_WARN, "Rsch Config is already initialized!"));
    TavConfig::set("Custom", "a&b<c>");
    TavConfig::updateXmlFile();

    EXPECT_EQ(tavtest::readFile(other), original);
    const std::string written = tavtest::readFile(file);
    EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << written;
    EXPECT_NE(written.find("<!-- kept -->"), std::string::npos);
    XmlParser p(written);
    EXPECT_EQ(p.getProperty("/config/item[@name='SurveySatisfactionSupported']", ""), "1");
    EXPECT_EQ(p.getProperty("/config/item[@name='Unknown']", ""), "");
    EXPECT_EQ(p.getProperty("/config/item[@name='Custom']", ""), "a&b<c>");
    EXPECT_EQ(p.getPropertyOccurrence("/config/item[@name='TavsOperatingServer']"), 0);
    EXPECT_EQ(TavConfig::get("Unknown"), "");

    tavtest::writeFile(file, "<config><item>x</item></config>");
    EXPECT_THROW(TavConfig::updateXmlFile(), std::logic_error);
    EXPECT_EQ(tavtest::readFile(file), "<config><item>x</item></config>");
    tavtest::writeFile(file, "<config>");
    try {
        TavConfig::updateXmlFile();
        ADD_FAILURE() << "an unparsable file must throw";
    } catch (const Excpn<int>& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to parse XML, file does not exist or is invalid: " + file);
    }
}
