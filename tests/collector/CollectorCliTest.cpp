// The tavcollector program as a demo script drives it: certs, serve on port 0, report.
#include "CollectorTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <sys/wait.h>

using namespace coltest;

namespace {

std::vector<std::string> tokens(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string t; in >> t;)
        out.push_back(t);
    return out;
}

// The report line of question `q`, split into words.
std::vector<std::string> countsRow(const std::string& report, const std::string& q) {
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        auto t = tokens(line);
        if (!t.empty() && t[0] == q && line.find("very") == std::string::npos)
            return t;
    }
    return {};
}

using Row = std::vector<std::string>;

} // namespace

TEST(CollectorCli, CertsServeOnAFreePortAndReport) {
    tavtest::TempDir dir;
    const std::string bin = TAVCOLLECTOR_BIN;
    // A bundle that already trusts another CA.
    std::string out;
    ASSERT_EQ(tavtest::run(bin + " certs --dir " + dir.file("other"), &out), 0);
    const std::string other = tavtest::readFile(dir.file("other/ca.pem"));
    tavtest::writeFile(dir.file("bundle.pem"), other);
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(tavtest::run(bin + " certs --dir " + dir.file("certs") + " --install-ca " + dir.file("bundle.pem"), &out), 0);
    const std::string ca = tavtest::readFile(dir.file("certs/ca.pem"));
    const std::string bundle = tavtest::readFile(dir.file("bundle.pem"));
    EXPECT_EQ(bundle, other + ca) << "the CA is added once and what was trusted before stays";

    CollectorProcess server(dir, "serve", {bin, "serve", "--cert-dir", dir.file("certs"), "--db", dir.file("db.sqlite")});
    const std::string& url = server.url;

    EXPECT_EQ(post(url, dir.file("bundle.pem"), tvUpload(gzip(envelope(survey({2, 7, 10, 1, 3}))), "SESSION-1")).stat(), "ok");
    EXPECT_EQ(post(url, dir.file("bundle.pem"), tvUpload(gzip(envelope(survey({2, 1, 10, 1, 3}))), "SESSION-2")).stat(), "ok");
    EXPECT_EQ(post(url, dir.file("bundle.pem"), tvUpload(gzip(envelope(survey({1, 1, 1, 7, 7}))), "SESSION-3")).stat(), "ok");
    EXPECT_EQ(post(url, dir.file("bundle.pem"), tvUpload("not gzip", "SESSION-4")).stat(), "badgzip");

    const int status = server.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(server.out(), url + "\n");
    EXPECT_NE(server.log().find("stopped; 3 accepted, 1 refused"), std::string::npos);

    ASSERT_EQ(tavtest::run(bin + " report --db " + dir.file("db.sqlite"), &out), 0);
    EXPECT_NE(out.find("Stored surveys: 3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SESSION-3"), std::string::npos);
    EXPECT_NE(out.find("1 1 1 7 7"), std::string::npos) << out;
    EXPECT_EQ(countsRow(out, "Q1"), (Row{"Q1", "1", "2", "3"})) << out;
    EXPECT_EQ(countsRow(out, "Q2"), (Row{"Q2", "2", "0", "0", "0", "0", "0", "1", "3"}));
    EXPECT_EQ(countsRow(out, "Q3"), (Row{"Q3", "1", "0", "0", "0", "0", "0", "0", "0", "0", "2", "3"}));
    EXPECT_EQ(countsRow(out, "Q4"), (Row{"Q4", "2", "0", "0", "0", "0", "0", "1", "3"}));
    EXPECT_EQ(countsRow(out, "Q5"), (Row{"Q5", "0", "0", "2", "0", "0", "0", "1", "3"}));

    EXPECT_NE(tavtest::run(bin + " report --db " + dir.file("none.sqlite") + " 2>/dev/null"), 0);
    EXPECT_FALSE(tavtest::fileExists(dir.file("none.sqlite")));
    EXPECT_EQ(tavtest::run(bin + " serve --cert-dir " + dir.file("certs") + " --db " + dir.file("x.sqlite") +
                           " --host 192.0.2.1 2>/dev/null"), 1);
}
