// The survey run as the application, under the UI loop with scripted keys: every way it ends,
// launch requests with missing extras, and the result document that Submit writes.
#include "SurveyTestSupport.h"
#include "TavConstants.h"
#include "TestHttpsServer.h"
#include "TestSupport.h"

#include "DevicePropertiesGeneral.h"
#include "GzipCompressor.h"
#include "Utilities.h"
#include "Utils.h"

#include <atomic>

static const std::vector<std::string> LAUNCH = {"--url", "https://survey.example/upload", "--pincode", "4711",
                                                "--sessionid", "session-1"};

class SurveyFlowTest : public SurveyTest {
protected:
    // Every way out hands over to the home screen, releases the keys, deletes the window and
    // ends the loop; terminate then deletes the survey.
    void expectClosedToHome() {
        EXPECT_EQ((std::vector<std::string>{survey::HOME_SCREEN_APP_ID}), appsLaunched());
        for (const char* step : {"Hide survey popup", "Release keys handle", "Destroy survey window", "Survey popup terminate"})
            EXPECT_EQ(1, m_log->countBody(step)) << step;
        EXPECT_EQ(nullptr, uiPtr);
        EXPECT_EQ("terminate", tavplat::journalRead("ui_app").back());
    }
};

TEST_F(SurveyFlowTest, BackAndExitCancel) {
    EXPECT_EQ(0, runApp(LAUNCH, {"XF86Back"}));
    EXPECT_EQ((std::vector<int>{POPUP, CANCEL, CANCEL}), soundsPlayed());   // the key's, then Cancel's
    expectClosedToHome();
    SetUp();
    EXPECT_EQ(0, runApp(LAUNCH, {"XF86Exit"}));
    EXPECT_EQ((std::vector<int>{POPUP, CANCEL}), soundsPlayed());
    expectClosedToHome();
    SetUp();
    EXPECT_EQ(0, runApp(LAUNCH, {"Right", "Right", "Return"}));   // Return on Cancel: the key's sound first
    EXPECT_EQ((std::vector<int>{POPUP, MOVED, MOVED, CONFIRM, CANCEL}), soundsPlayed());
    expectClosedToHome();
}

TEST_F(SurveyFlowTest, IdleTimeOutCancelsAndEveryKeyRestartsIt) {
    survey::seams::popupTimeout = 0.4;
    const double start = ecore_time_get();
    EXPECT_EQ(0, runApp(LAUNCH, {"Down", "Down", "Down"}, 0.3));   // keys at 0.3, 0.6 and 0.9 s
    EXPECT_GE(ecore_time_get() - start, 1.2);
    EXPECT_EQ((std::vector<int>{POPUP, MOVED, MOVED, MOVED, CANCEL}), soundsPlayed());
    expectClosedToHome();
}

TEST_F(SurveyFlowTest, MissingExtrasEndTheApplicationRightAfterTheSurveyIsBuilt) {
    EXPECT_EQ(0, runApp({"--pincode", "4711", "--sessionid", "session-1"}, {}));
    EXPECT_TRUE(m_log->has(LOG_ID_MAIN, DLOG_WARN, "get url data failed."));
    EXPECT_EQ(0, m_log->countBody("get pincode data failed."));
    EXPECT_EQ(1, m_log->countBody("Add Survey Popup"));
    EXPECT_EQ((std::vector<std::string>{"main", "create 1", "app_control", "exit", "terminate"}), tavplat::journalRead("ui_app"));
    EXPECT_EQ(nullptr, uiPtr);
    m_log->clear();
    EXPECT_EQ(0, runApp({}, {}));
    for (const char* key : {"pincode", "sessionid", "url"})
        EXPECT_EQ(1, m_log->countBody(std::string("get ") + key + " data failed.")) << key;
    // The program itself, started by hand without "url" (its output not to our pipe: the icon
    // daemon it may start would keep that open).
    EXPECT_EQ(0, tavtest::run(TAVSURVEY_BIN " --pincode 4711 --sessionid s >/dev/null 2>&1"));
    const std::string log = tavtest::readFile(getenv("TAV_DLOG_FILE"));
    EXPECT_NE(std::string::npos, log.find("main.cpp: main(")) << log;
    EXPECT_NE(std::string::npos, log.find("> get url data failed.")) << log;
}

// A receiving server on 127.0.0.1 whose CA the television trusts; it answers "ok".
struct Receiver {
    tavtest::TrustedCa trusted{"survey test CA"};
    tavtest::TestHttpsServer server{trusted.validCert(), [](const tavtest::HttpRequest&) {
                                        tavtest::HttpReply reply;
                                        reply.body = "<rsp stat=\"ok\"><crc value=\"1\"/></rsp>";
                                        return reply;
                                    }};
};

static std::vector<std::string> surveyFolder() {
    std::string listing;
    tavtest::run("ls -A " + SURVEY_DIR, &listing);
    return listing.empty() ? std::vector<std::string>{} : std::vector<std::string>{listing};
}

TEST_F(SurveyFlowTest, SubmitUploadsTheAnswersChosenWithTheKeys) {
    Receiver receiver;
    tavplat::makeDirs(SURVEY_DIR);
    std::remove(SURVEY_RESULT_FILE.c_str());
    std::vector<std::string> launch = LAUNCH;
    launch[1] = receiver.server.url("/survey");
    EXPECT_EQ(0, runApp(launch, {"Down", "Return",                                  // 1: No
                                 "Down", "Down", "Down", "Return",                  // 2: third
                                 "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Return",   // 3: "7"
                                 "Right", "Return"}));                              // Submit
    const auto item = [](int n, int selected, const std::string& question, const std::string& answer) {
        return "<item index=\"" + std::to_string(n) + "\" selected=\"" + std::to_string(selected) +
               "\">\n<question><![CDATA[" + question + "]]></question>\n<answer><![CDATA[" + answer + "]]></answer>\n</item>\n";
    };
    const std::string result =
        "<result>" + item(1, 2, "1. Was your problem solved by the remote support service?", "No") +
        item(2, 3, "2. Overall, how satisfied are you with the remote support service?", "Somewhat satisfied") +
        item(3, 3, "3. How likely are you to recommend our remote support?<br>(0 = not at all likely, 9 = extremely likely)", "7") +
        item(4, 1, "4. How satisfied are you with the support agent's explanations?", "Very satisfied") +
        item(5, 1, "5. How satisfied are you with the time it took to solve your problem?", "Very satisfied") + "</result>\n";

    const auto requests = receiver.server.requests();
    ASSERT_EQ(1u, requests.size());
    const tavtest::HttpRequest& upload = requests[0];
    const std::string file = upload.formPart("file").content;
    const std::vector<char> inflated = GzipCompressor::decompress(std::vector<char>(file.begin(), file.end()));
    deviceinfo::DevicePropertiesGeneral device;
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<survey>\n<deviceinfo>\n<DUID>" + device.getDUID("") +
                  "</DUID>\n<LocalSet>" + device.getLocalSet(deviceinfo::MENU_VALUE_CURRENT, "") + "</LocalSet>\n<Country>" +
                  device.getCountryCode("") + "</Country>\n<Model_Name>" + device.getModelName("") +
                  "</Model_Name>\n<Firmware_Version>" + device.getFirmCode("") + "</Firmware_Version>\n</deviceinfo>\n" +
                  result + "</survey>\n",
              std::string(inflated.begin(), inflated.end()));
    // The eight headers in their order (the request layer adds its own around them).
    std::vector<std::pair<std::string, std::string>> sent;
    for (const auto& [name, value] : upload.headers)
        for (const char* ours : {"pincode", "duid", "crc32", "category", "sessionid", "source", "Date", "Year"})
            if (name == ours)
                sent.emplace_back(name, value);
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{
                  {"pincode", "4711"}, {"duid", device.getDUID("")},
                  {"crc32", std::to_string(Utils::crc32String(file))}, {"category", "TAVAS"},
                  {"sessionid", "session-1"}, {"source", "survey"}, {"Date", device.getDateOfPurchase("")},
                  {"Year", device.getProductYear("")}}),
              sent);
    // Return on Submit: the key's confirm sound, then the click's.
    const auto sounds = soundsPlayed();
    EXPECT_EQ((std::vector<int>{MOVED, CONFIRM, CONFIRM}), std::vector<int>(sounds.end() - 3, sounds.end()));
    EXPECT_EQ(0, m_log->countBody("Response answer: ok, file crc: 1"));
    EXPECT_TRUE(m_log->has(LOG_ID_MAIN, DLOG_DEBUG, "Send survey result successfully"));
    EXPECT_TRUE(surveyFolder().empty()) << "result document and upload file are removed";
    expectClosedToHome();
}

TEST_F(SurveyFlowTest, UploadWithoutItsFilesSendsNothing) {
    Receiver receiver;
    tavplat::makeDirs(SURVEY_DIR);
    std::remove(SURVEY_RESULT_FILE.c_str());
    TestSurvey s("4711", "session-1", receiver.server.url("/survey"));
    s.sendSurveyResult();   // no result document
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "File opening error"));

    // A model name that cannot be part of a file name: the upload file cannot be written.
    tavtest::writeFile(SURVEY_RESULT_FILE, "<result></result>\n");
    tavplat::profileSet("info/292", "string", "QE55/X");
    deviceinfo::Utilities::setFileNameClock([] { return std::time_t(1796400000); });
    s.sendSurveyResult();
    EXPECT_EQ(1, m_log->countBody("Upload file cannot be written: " + deviceinfo::Utilities::getFileName(deviceinfo::FILE_SURVEY)));
    deviceinfo::Utilities::setFileNameClock(nullptr);
    EXPECT_TRUE(receiver.server.requests().empty());
    EXPECT_TRUE(surveyFolder().empty()) << "nothing is left behind";
}

TEST_F(SurveyFlowTest, ResultDocumentEdgeCases) {
    tavplat::makeDirs(SURVEY_DIR);
    tavtest::writeFile(SURVEY_RESULT_FILE, "previous");
    TestSurvey s("4711", "session-1", "");
    EXPECT_EQ(-1, s.exportSurveyData());   // no selections: the previous document stays
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "Input data size error"));
    EXPECT_EQ("previous", tavtest::readFile(SURVEY_RESULT_FILE));
    s.m_contentList = {{"title", "T"}, {"description", "D"}};
    s.m_selections = {new int(1)};
    EXPECT_EQ(0, s.exportSurveyData());
    EXPECT_EQ("<result></result>\n", tavtest::readFile(SURVEY_RESULT_FILE));
    // Untranslated ids stand as they are, raw inside CDATA; surplus selections write nothing.
    s.m_contentList = {{"question", "Q<&>"}, {"answer", "A&"}, {"answer", "B"}};
    s.m_selections.push_back(new int(1));
    *s.m_selections[0] = 2;
    EXPECT_EQ(0, s.exportSurveyData());
    EXPECT_EQ("<result><item index=\"1\" selected=\"2\">\n<question><![CDATA[Q<&>]]></question>\n"
              "<answer><![CDATA[B]]></answer>\n</item>\n</result>\n", tavtest::readFile(SURVEY_RESULT_FILE));
    std::remove(SURVEY_RESULT_FILE.c_str());
}

TEST_F(SurveyFlowTest, RejectedOrFailedUploadWarnsAndStillRemovesBothFiles) {
    tavtest::TrustedCa trusted{"survey test CA"};
    std::atomic<int> count{0};
    tavtest::TestHttpsServer server{trusted.validCert(), [&](const tavtest::HttpRequest&) {
                                        tavtest::HttpReply reply;
                                        reply.body = "<rsp stat=\"fail\"><crc value=\"77\"/></rsp>";
                                        reply.status = count++ == 0 ? 200 : 500;
                                        return reply;
                                    }};
    tavplat::makeDirs(SURVEY_DIR);
    TestSurvey s("4711", "session-1", server.url("/survey"));
    for (int i = 0; i < 2; ++i) {
        tavtest::writeFile(SURVEY_RESULT_FILE, "<result></result>\n");
        s.sendSurveyResult();
        EXPECT_TRUE(surveyFolder().empty()) << i;
    }
    // The rejected reply, then an HTTP error whose body is still read.
    EXPECT_EQ(2, m_log->count(LOG_ID_SYSTEM, DLOG_WARN, "Response answer: fail, file crc: 77"));
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "Open api connection error: 26"));
    EXPECT_EQ(2u, server.requests().size());
}

TEST_F(SurveyFlowTest, UploadGoesOnlyToAnHttpsUrl) {
    Receiver receiver;
    tavplat::makeDirs(SURVEY_DIR);
    const std::string https = receiver.server.url("/survey");
    TestSurvey clear("4711", "session-1", "http" + https.substr(5));
    tavtest::writeFile(SURVEY_RESULT_FILE, "<result></result>\n");
    clear.sendSurveyResult();
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "Upload refused: the URL is not https"));
    EXPECT_EQ(0, receiver.server.connections());
    EXPECT_TRUE(surveyFolder().empty()) << "both files are removed";
    // The scheme in capitals is https all the same.
    TestSurvey upper("4711", "session-1", "HTTPS" + https.substr(5));
    tavtest::writeFile(SURVEY_RESULT_FILE, "<result></result>\n");
    upper.sendSurveyResult();
    EXPECT_EQ(1u, receiver.server.requests().size());
    EXPECT_TRUE(surveyFolder().empty());
}
