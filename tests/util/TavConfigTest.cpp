#include "Excpn.h"
#include "TavConfig.h"
#include "TestSupport.h"
#include "XmlParser.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using tavplat::test::LogCapture;

static const char kFlag[] = "custom/com.kestova/featureconf/remote_service.enable";

class TavConfigTest : public testing::Test {
protected:
    void TearDown() override {
        TavConfig::deinitialize();
        tavplat::test::clearFaults();
        tavplat::profileSet(kFlag, "bool", "1");
    }
};

TEST_F(TavConfigTest, FeatureFlagChoosesServers) {
    // https://<lower-case host>.example.com or .net (std::regex is avoided: GCC 12 warns inside
    // it in sanitizer builds, which build with warnings as errors).
    const auto isServerUrl = [](const std::string& url) {
        const std::string scheme = "https://";
        if (url.rfind(scheme, 0) != 0)
            return false;
        std::string host = url.substr(scheme.size());
        bool suffix = false;
        for (const std::string end : {".example.com", ".example.net"})
            if (host.size() > end.size() && host.compare(host.size() - end.size(), end.size(), end) == 0) {
                host.resize(host.size() - end.size());
                suffix = true;
            }
        return suffix && host.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-") == std::string::npos;
    };
    std::vector<std::string> urls;
    for (const char* flag : {"1", "0"}) {
        ASSERT_TRUE(tavplat::profileSet(kFlag, "bool", flag));
        TavConfig::set("TavsOperatingServer", "stale");
        TavConfig::load();
        for (const char* key : {"TavsOperatingServer", "TavsDevelopmentServer", "TavsDevelopingServer"})
            urls.push_back(TavConfig::get(key));
    }
    for (int i : {0, 1, 2, 3, 4})
        EXPECT_TRUE(isServerUrl(urls[i])) << urls[i];
    EXPECT_EQ(std::set<std::string>(urls.begin(), urls.end()).size(), 6u);   // 5 hosts and ""
    EXPECT_EQ(urls[5], "");
    EXPECT_TRUE(TavConfig::is("SurveySatisfactionSupported", "1"));
    EXPECT_EQ(TavConfig::getInt("SurveySatisfactionSupported"), 1);
    EXPECT_THROW(TavConfig::getInt("TavsOperatingServer"), std::invalid_argument);

    TavConfig::deinitialize();
    tavplat::test::setFault(kFlag, tavplat::FaultMode::Fail);
    LogCapture log;
    TavConfig::load();
    EXPECT_TRUE(log.has(LOG_ID_SYSTEM, DLOG_INFO, "FMS item read failed"));
    EXPECT_THROW(TavConfig::get("TavsOperatingServer"), std::out_of_range);
    EXPECT_TRUE(TavConfig::is("SurveySatisfactionSupported", "1"));
}

TEST_F(TavConfigTest, UpdateXmlFileWritesTheElementsOfTheFile) {
    tavtest::TempDir dir;
    const std::string file = dir.file("config.xml"), other = dir.file("other.xml");
    const std::string original = "<?xml version=\"1.0\"?>\n<config><!-- kept --><i name=\"SurveySatisfactionSupported\">0"
                                 "</i><i name=\"Unknown\">old</i><i name=\"Custom\"/>\n</config>\n";
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
    EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><!-- kept -->", 0), 0u) << written;
    XmlParser p(written);
    EXPECT_EQ(p.getPropertyList("/config/i"), (std::vector<std::string>{"1", "", "a&b<c>"}));
    EXPECT_EQ(TavConfig::get("Unknown"), "");

    tavtest::writeFile(file, "<config><i>x</i></config>");
    EXPECT_THROW(TavConfig::updateXmlFile(), std::logic_error);
    EXPECT_EQ(tavtest::readFile(file), "<config><i>x</i></config>");
    tavtest::writeFile(file, "<config>");
    EXPECT_THROW(TavConfig::updateXmlFile(), Excpn<int>);
}
