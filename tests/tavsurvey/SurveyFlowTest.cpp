// The survey run as the application, under the UI loop with scripted keys: every way it ends,
// launch requests with missing extras, and the result document that Submit writes.
#include "SurveyTestSupport.h"
#include "TavConstants.h"
#include "TestHttpsServer.h"
#include "TestSupport.h"

#include "DevicePropertiesGeneral.h"
#include "GzipCompressor.h"
#include "Utilities.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

static const std::vector<std::string> LAUNCH = {"--url", "https://survey.example/upload", "--pincode", "4711",
                                                "--sessionid", "session-1"};

class SurveyFlowTest : public SurveyTest {
protected:
    void SetUp() override {
        SurveyTest::SetUp();
        tavplat::makeDirs(SURVEY_DIR);
    }
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

TEST_F(SurveyFlowTest, BackExitCancelAndTheIdleTimeOutCloseWithTheirSounds) {
    struct Way {
        std::vector<std::string> keys;
        std::vector<int> sounds;
        double pace = 0.05, timeout = survey::POPUP_TIMEOUT_SECONDS;
    };
    const Way ways[] = {
        {{"XF86Back"}, {POPUP, CANCEL, CANCEL}},   // the key's, then Cancel's
        {{"XF86Exit"}, {POPUP, CANCEL}},
        {{"Right", "Right", "Return"}, {POPUP, MOVED, MOVED, CONFIRM, CANCEL}},   // Return on Cancel: the key's first
        // Keys at 0.3, 0.6 and 0.9 s: each restarts the 0.4 s time-out, which ends the survey then.
        {{"Down", "Down", "Down"}, {POPUP, MOVED, MOVED, MOVED, CANCEL}, 0.3, 0.4}};
    for (const Way& way : ways) {
        SetUp();
        survey::seams::popupTimeout = way.timeout;
        EXPECT_EQ(0, runApp(LAUNCH, way.keys, way.pace));   // every key pressed before the end
        EXPECT_EQ(way.sounds, soundsPlayed()) << way.keys.back();
        expectClosedToHome();
    }
}

TEST_F(SurveyFlowTest, MissingExtrasEndTheApplicationRightAfterTheSurveyIsBuilt) {
    EXPECT_EQ(0, runApp({}, {}));
    for (const char* key : {"pincode", "sessionid", "url"})
        EXPECT_TRUE(m_log->has(LOG_ID_MAIN, DLOG_WARN, std::string("get ") + key + " data failed.")) << key;
    EXPECT_EQ(1, m_log->countBody("Add Survey Popup"));
    EXPECT_EQ((std::vector<std::string>{"main", "create 1", "app_control", "exit", "terminate"}), tavplat::journalRead("ui_app"));
    EXPECT_EQ(nullptr, uiPtr);
}

// A receiving server on 127.0.0.1 whose CA the television trusts; it answers "ok" and notes
// whether the survey had left the screen and given the keys back when the upload arrived.
struct Receiver {
    explicit Receiver(const tavplat::test::LogCapture& log) : log(log) {}
    const tavplat::test::LogCapture& log;
    std::atomic<bool> goneFirst{false};
    tavtest::TrustedCa trusted{"survey test CA"};
    tavtest::TestHttpsServer server{trusted.validCert(), [this](const tavtest::HttpRequest&) {
                                        goneFirst = log.countBody("Hide survey popup") == 1 &&
                                                    log.countBody("Release keys handle") == 1;
                                        tavtest::HttpReply reply;
                                        reply.body = "<rsp stat=\"ok\"><crc value=\"1\"/></rsp>";
                                        return reply;
                                    }};
};

TEST_F(SurveyFlowTest, SubmitUploadsTheAnswersChosenWithTheKeys) {
    Receiver receiver(*m_log);
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
    const std::string file = requests[0].formPart("file").content;
    const std::vector<char> inflated = GzipCompressor::decompress(std::vector<char>(file.begin(), file.end()));
    // The device's part of the envelope is the end-to-end run's to check.
    const std::string envelope(inflated.begin(), inflated.end()), end = "<Firmware_Version>" +
        deviceinfo::DevicePropertiesGeneral().getFirmCode("") + "</Firmware_Version>\n</deviceinfo>\n" + result + "</survey>\n";
    EXPECT_EQ(end, envelope.substr(envelope.size() - std::min(envelope.size(), end.size())));
    EXPECT_TRUE(receiver.goneFirst) << "the survey was still on screen, or held the keys, during the upload";
    // Return on Submit: the key's confirm sound, then the click's.
    const auto sounds = soundsPlayed();
    EXPECT_EQ((std::vector<int>{MOVED, CONFIRM, CONFIRM}), std::vector<int>(sounds.end() - 3, sounds.end()));
    EXPECT_TRUE(m_log->has(LOG_ID_MAIN, DLOG_DEBUG, "Send survey result successfully"));
    EXPECT_TRUE(std::filesystem::is_empty(SURVEY_DIR)) << "result document and upload file are removed";
    expectClosedToHome();
}

TEST_F(SurveyFlowTest, UploadGoesOnlyWithItsFilesAndToAnHttpsUrl) {
    Receiver receiver(*m_log);
    std::remove(SURVEY_RESULT_FILE.c_str());
    const std::string https = receiver.server.url("/survey");
    TestSurvey clear("4711", "session-1", "http" + https.substr(5));
    clear.sendSurveyResult();   // no result document
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "File opening error"));
    tavtest::writeFile(SURVEY_RESULT_FILE, "<result></result>\n");
    clear.sendSurveyResult();
    EXPECT_TRUE(m_log->has(LOG_ID_SYSTEM, DLOG_WARN, "Upload refused: the URL is not https"));
    EXPECT_EQ(0, receiver.server.connections());
    EXPECT_TRUE(std::filesystem::is_empty(SURVEY_DIR)) << "both files are removed";
    // The scheme in capitals is https all the same.
    TestSurvey upper("4711", "session-1", "HTTPS" + https.substr(5));
    tavtest::writeFile(SURVEY_RESULT_FILE, "<result></result>\n");
    upper.sendSurveyResult();
    EXPECT_EQ(1u, receiver.server.requests().size());
    EXPECT_TRUE(std::filesystem::is_empty(SURVEY_DIR));

    // A model name that cannot be part of a file name: the upload file cannot be written.
    tavtest::writeFile(SURVEY_RESULT_FILE, "<result></result>\n");
    tavplat::profileSet("info/292", "string", "QE55/X");
    deviceinfo::Utilities::setFileNameClock([] { return std::time_t(1796400000); });
    upper.sendSurveyResult();
    EXPECT_EQ(1, m_log->countBody("Upload file cannot be written: " + deviceinfo::Utilities::getFileName(deviceinfo::FILE_SURVEY)));
    EXPECT_EQ(1u, receiver.server.requests().size());
    EXPECT_TRUE(std::filesystem::is_empty(SURVEY_DIR)) << "nothing is left behind";
}

TEST_F(SurveyFlowTest, ResultDocumentEdgeCases) {
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
