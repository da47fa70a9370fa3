#include "Excpn.h"
#include "LibXml.h"
#include "TavConfig.h"
#include "TestSupport.h"
#include "Utils.h"
#include "XmlParser.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

using tavplat::test::LogCapture;

// The message of the Excpn<int> that `f` throws ("" when it throws nothing).
static std::string thrown(const std::function<void()>& f) {
    try {
        f();
    } catch (const Excpn<int>& e) {
        return e.what();
    }
    return "";
}

TEST(XmlParser, AnswersXPathQuestions) {
    XmlParser reply("<rsp stat=\"ok\"><crc value=\"12\"/></rsp>");
    EXPECT_EQ(reply.getProperty("/rsp", "stat"), "ok");
    EXPECT_EQ(reply.getProperty("/rsp/crc", "value"), "12");
    EXPECT_EQ(reply.getProperty("/rsp/crc", ""), "");
    EXPECT_EQ(reply.getPropertyOccurrence("/rsp/crc"), 1);

    XmlParser p("<r xmlns:k=\"urn:k\"><a n=\"1\">x</a><a n=\"2\">y<b>z</b><b/></a><k:c>q</k:c></r>");
    EXPECT_EQ(p.getPropertyList("/r/a"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(p.getPropertyList("/r/a/@n"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(p.getProperty("/r/a", "", 1), "yz");
    EXPECT_EQ(p.getProperty("/r/a", "n", 2), "");
    EXPECT_EQ(p.getChildOccurrence("/r/a", "b", 1), 2);
    EXPECT_EQ(p.getChildOccurrence("/r/a", "text", 1), 1);
    EXPECT_EQ(p.registerNamespace("urn:k", "k"), 0);
    EXPECT_EQ(p.getProperty("/r/k:c", ""), "q");

    LogCapture log;
    EXPECT_EQ(p.getPropertyOccurrence("count(/r/a)"), 0);   // not a node set
    EXPECT_EQ(p.getPropertyOccurrence("/r/[broken"), 0);
    LibXml other("<s><t/><t/></s>");
    const tavxml::ContextOwner context(xmlXPathNewContext(other.doc()));
    xmlNodePtr node = nullptr;
    p.getPathNode("/s/t", context.get(), node);
    EXPECT_EQ(node, other.getRootElement()->children);
    p.getPathNode("/s/[", context.get(), node);   // left as it was
    EXPECT_EQ(node, other.getRootElement()->children);
    p.getPathNode("/s/none", context.get(), node);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(log.count(LOG_ID_MAIN, DLOG_INFO, "xPathObjectPtr is null"), 2);
}

TEST(XmlParser, BadAndHostileInputGivesEmptyResults) {
    std::string deep, laughs = "<!DOCTYPE rsp [<!ENTITY e0 \"laugh\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY e" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            laughs += "&e" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    for (int i = 0; i < 5000; ++i)
        deep += "<rsp>";
    const std::string cases[] = {"", "not xml", "<rsp stat=\"ok\">", "<rsp stat=\"ok\"><crc></rsp>", deep,
                                 laughs + "]><rsp stat=\"&e9;\"/>", laughs + "]><rsp stat=\"ok\">&e9;</rsp>",
                                 "<rsp stat=\"" + std::string(11 << 20, 'x') + "\"/>"};
    LogCapture log;
    for (const std::string& xml : cases) {
        XmlParser p(xml);
        EXPECT_EQ(p.getProperty("/rsp", "stat"), "");
        EXPECT_EQ(p.getPropertyOccurrence("/rsp"), 0);
        EXPECT_EQ(p.registerNamespace("urn:k", "k"), 0);
    }
    // Valid paths on a reply without a document find nothing; they are not evaluation failures.
    EXPECT_EQ(log.countBody("xPathObjectPtr is null"), 0);
    XmlParser big("<rsp stat=\"" + std::string(1 << 20, 'x') + "\"/>");
    EXPECT_EQ(big.getProperty("/rsp", "stat").size(), 1u << 20);
}

// libxml2's default parse calls load neither external entities nor external DTD subsets: a
// document pointing at a local file must not bring its content in, whichever way it is parsed.
TEST(XmlAccess, ExternalEntitiesAndDtdAreNotLoaded) {
    tavtest::TempDir dir;
    tavtest::writeFile(dir.file("secret.txt"), "TOPSECRET");
    tavtest::writeFile(dir.file("ext.dtd"), "<!ATTLIST r leak CDATA \"TOPSECRET\">");
    const std::string uri = "\"file://" + dir.path();
    for (const std::string& xml :
         {"<!DOCTYPE r [<!ENTITY x SYSTEM " + uri + "/secret.txt\">]><r a=\"1\">&x;</r>",
          "<!DOCTYPE r SYSTEM " + uri + "/ext.dtd\"><r a=\"1\"/>",
          "<!DOCTYPE r [<!ENTITY % p SYSTEM " + uri + "/ext.dtd\"> %p;]><r a=\"1\"/>"}) {
        XmlParser p(xml);
        EXPECT_EQ(p.getProperty("/r", "a"), "1") << xml;   // parsed, but nothing was loaded
        EXPECT_EQ(p.getProperty("/r", "leak"), "");
        EXPECT_EQ(p.getPropertyList("/r"), std::vector<std::string>{""});

        tavtest::writeFile(dir.file("doc.xml"), xml);
        LibXml fromString(xml), fromMemory(xml.data(), static_cast<int>(xml.size())), fromFile;
        fromFile.parseFile(dir.file("doc.xml"));
        for (LibXml* l : {&fromString, &fromMemory, &fromFile}) {
            std::string text;
            l->toString(text);
            EXPECT_EQ(text.find("TOPSECRET"), std::string::npos) << text;
            EXPECT_EQ(xmlHasProp(l->getRootElement(), BAD_CAST "leak"), nullptr);
        }
    }
}

TEST(LibXml, ParsesOrThrowsWithoutHalfBuiltState) {
    EXPECT_EQ(thrown([] { LibXml l(""); }), "Input XML is empty");
    EXPECT_EQ(thrown([] { LibXml l("<a><b></a>"); }), "Failed to parse XML: invalid input");
    EXPECT_EQ(thrown([] { LibXml l("<a", 2); }), "Failed to parse XML from memory: invalid input");
    EXPECT_EQ(thrown([] { LibXml().parseFile("/nonexistent/c.xml"); }),
              "Failed to parse XML, file does not exist or is invalid: /nonexistent/c.xml");

    LibXml l("<cfg v=\"1\"/>");
    EXPECT_EQ(l.getAttribute(l.getRootElement(), "v"), "1");
    EXPECT_EQ(thrown([&] { l.getAttribute(l.getRootElement(), "w"); }), "Failed to get attribute: w");
    EXPECT_EQ(thrown([&] { l.parseString("<x>"); }), "Failed to parse XML: invalid input");
    EXPECT_EQ(l.doc(), nullptr);
    EXPECT_EQ(thrown([&] { std::string s; l.toString(s); }),
              "Failed to save XML to buffer with xmlSaveFormatFileTo().");
}

TEST(UtilsXml, FindsSetsAndSerialises) {
    LibXml l("<r><g><i k=\"1\"/><i k=\"2\"/></g><i k=\"3\"/></r>");
    const xmlNodePtr g = l.getRootElement()->children;
    EXPECT_EQ(Utils::xmlFindNodes(g, "i").size(), 2u);
    const std::vector<xmlNodePtr> all = Utils::xmlFindNodes(g, "//i");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(Utils::xmlGetAttribute(all[2], "k"), "3");
    EXPECT_EQ(thrown([&] { Utils::xmlFindNodes(g, "i[["); }), "Failed to evaluate XPath: i[[");
    LogCapture log;
    EXPECT_EQ(thrown([] { Utils::xmlFindNodes(nullptr, "/r"); }), "xmlNodePtr is null");
    EXPECT_TRUE(log.has(LOG_ID_MAIN, DLOG_WARN, "NodePtr is null"));

    LibXml one("<a x=\"1\" y=\"2\"/>");
    EXPECT_NE(Utils::xmlSetAttribute(one.getRootElement(), "x", "9 & <"), nullptr);
    EXPECT_NE(Utils::xmlSetAttribute(one.getRootElement(), "z", "3"), nullptr);
    std::string text, viaObject;
    Utils::xmlDocumentToString(one.doc(), text);
    one.toString(viaObject);
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a x=\"9 &amp; &lt;\" y=\"2\" z=\"3\"/>\n");
    EXPECT_EQ(viaObject, text);
    Utils::xmlDocumentToString(LibXml("<r><c>\xc3\xa9</c></r>").doc(), text);
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r>\n  <c>\xc3\xa9</c>\n</r>\n");
}

// XPath gives namespace nodes as copies that die with its result; a node handed out by a query
// has to be the document's own declaration, or the caller reads freed memory.
TEST(XmlAccess, NamespaceMatchesOutliveTheQuery) {
    const std::string xml = "<r xmlns:k=\"urn:k\"><k:c/></r>";
    LibXml l(xml);
    const xmlNodePtr root = l.getRootElement();
    const std::vector<xmlNodePtr> found = Utils::xmlFindNodes(root, "*/namespace::k");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(reinterpret_cast<xmlNsPtr>(found[0]), root->nsDef);

    XmlParser p(xml);
    const tavxml::ContextOwner context(xmlXPathNewContext(l.doc()));
    xmlNodePtr node = nullptr;
    p.getPathNode("/r/*/namespace::k", context.get(), node);
    EXPECT_EQ(reinterpret_cast<xmlNsPtr>(node), root->nsDef);
    EXPECT_EQ(p.getProperty("/r/*/namespace::k", ""), "urn:k");
    EXPECT_EQ(p.getProperty("/r/namespace::xml", ""), "http://www.w3.org/XML/1998/namespace");
    EXPECT_EQ(p.getPropertyOccurrence("//namespace::*"), 4);
}

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
    std::vector<std::string> urls;
    for (const char* flag : {"1", "0"}) {
        ASSERT_TRUE(tavplat::profileSet(kFlag, "bool", flag));
        TavConfig::set("TavsOperatingServer", "stale");
        TavConfig::load();
        for (const char* key : {"TavsOperatingServer", "TavsDevelopmentServer", "TavsDevelopingServer"})
            urls.push_back(TavConfig::get(key));
    }
    for (int i : {0, 1, 2, 3, 4})
        EXPECT_EQ(urls[i].rfind("https://", 0), 0u) << urls[i];
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
