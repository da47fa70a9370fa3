// tavcollector: receives the survey uploads of the televisions over HTTPS, stores them in
// SQLite or PostgreSQL and reports on them.
#include "collector/Certs.h"
#include "collector/CollectorServer.h"
#include "collector/DashboardCli.h"
#include "collector/Report.h"
#include "collector/Store.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <pthread.h>
#include <set>
#include <string>

namespace {

const char* const kUsage =
    "usage:\n"
    "  tavcollector serve --db DB (--cert-dir DIR | --cert FILE --key FILE)\n"
    "                     [--host 127.0.0.1] [--port N] [--port-file FILE] [--path /survey]\n"
    "                     [--max-body BYTES] [--delay-ms MS] [--reply ok|fail|http500]\n"
    "      Serves HTTPS on loopback until SIGINT or SIGTERM. --port 0 (the default) picks a\n"
    "      free port; the upload URL is printed on stdout and the port written to --port-file.\n"
    "      --delay-ms holds every upload before answering; --reply fail answers stat \"fail\",\n"
    "      --reply http500 answers HTTP 500; neither stores anything.\n"
    "  tavcollector report --db DB\n"
    "      Prints the stored surveys and how often each answer was chosen.\n"
    "  DB is an SQLite file (PATH or sqlite:PATH, made when missing) or a PostgreSQL URI\n"
    "  (postgresql://USER@HOST:PORT/NAME); several collectors can share one PostgreSQL database.\n"
    "  tavcollector certs --dir DIR [--force] [--install-ca FILE]\n"
    "      Makes a local CA (ca.pem, ca.key) and a server certificate for 127.0.0.1/localhost\n"
    "      (server.pem, server.key) in DIR when missing, and adds the CA to the bundle FILE.\n";

using Args = std::map<std::string, std::string>;

// "--name value" pairs and bare "--flag"s; anything not in `known`/`flags` is an error.
bool parseArgs(int argc, char** argv, const std::set<std::string>& known, const std::set<std::string>& flags,
               Args& out) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (flags.count(arg)) {
            out[arg] = "1";
        } else if (known.count(arg) && i + 1 < argc) {
            out[arg] = argv[++i];
        } else {
            std::cerr << "tavcollector: unexpected argument " << arg << "\n" << kUsage;
            return false;
        }
    }
    return true;
}

bool toNumber(const std::string& text, long long max, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && out >= 0 && out <= max;
}

int serve(int argc, char** argv) {
    Args a;
    if (!parseArgs(argc, argv,
                   {"--db", "--cert-dir", "--cert", "--key", "--host", "--port", "--port-file", "--path",
                    "--max-body", "--delay-ms", "--reply"},
                   {}, a))
        return 2;
    collector::ServerOptions o;
    o.dbPath = a["--db"];
    if (a.count("--cert-dir")) {
        collector::checkPrivateFolder(a["--cert-dir"]);
        const collector::CertPaths p = collector::certPathsIn(a["--cert-dir"]);
        o.certFile = p.serverCert;
        o.keyFile = p.serverKey;
    }
    if (a.count("--cert"))
        o.certFile = a["--cert"];
    if (a.count("--key"))
        o.keyFile = a["--key"];
    if (a.count("--host"))
        o.host = a["--host"];
    if (a.count("--path"))
        o.path = a["--path"];
    long long n = 0;
    if (a.count("--port")) {
        if (!toNumber(a["--port"], 65535, n)) {
            std::cerr << "tavcollector: bad --port\n";
            return 2;
        }
        o.port = static_cast<int>(n);
    }
    if (a.count("--max-body")) {
        if (!toNumber(a["--max-body"], 1LL << 30, n) || n == 0) {
            std::cerr << "tavcollector: bad --max-body\n";
            return 2;
        }
        o.limits.maxBody = static_cast<size_t>(n);
    }
    if (a.count("--delay-ms")) {
        if (!toNumber(a["--delay-ms"], 24LL * 3600 * 1000, n)) {
            std::cerr << "tavcollector: bad --delay-ms\n";
            return 2;
        }
        o.delayMs = static_cast<int>(n);
    }
    const std::string reply = a.count("--reply") ? a["--reply"] : "ok";
    if (reply == "fail")
        o.forcedReply = collector::eForcedReply::Fail;
    else if (reply == "http500")
        o.forcedReply = collector::eForcedReply::Http500;
    else if (reply != "ok") {
        std::cerr << "tavcollector: --reply takes ok, fail or http500\n";
        return 2;
    }
    if (o.dbPath.empty() || o.certFile.empty() || o.keyFile.empty()) {
        std::cerr << kUsage;
        return 2;
    }

    // Every thread inherits the blocked signals; only sigwait below sees them, so stopping the
    // server happens on an ordinary thread rather than in a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    collector::CollectorServer server(o);
    const collector::DashboardService dashboard(o.dbPath, server.router());
    const int port = server.start();
    if (a.count("--port-file")) {
        const std::string path = a["--port-file"];
        const std::string tmp = path + ".tmp";
        std::ofstream(tmp) << port << "\n";
        if (std::rename(tmp.c_str(), path.c_str()) != 0) {
            std::cerr << "tavcollector: cannot write " << path << "\n";
            return 1;
        }
    }
    std::cout << server.url() << std::endl;
    server.log().write("info", "dashboard",
                       {collector::JsonLog::text("url", server.url().substr(0, server.url().size() - o.path.size()) + "/dashboard")});

    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.log().write("info", "stopping", {collector::JsonLog::number("signal", sig)});
    server.stop();
    server.log().write("info", "stopped",
                       {collector::JsonLog::text("msg", "stopped; " + std::to_string(server.accepted()) + " accepted, " +
                                                            std::to_string(server.rejected()) + " refused"),
                        collector::JsonLog::number("accepted", static_cast<long long>(server.accepted())),
                        collector::JsonLog::number("refused", static_cast<long long>(server.rejected()))});
    return 0;
}

int report(int argc, char** argv) {
    Args a;
    if (!parseArgs(argc, argv, {"--db"}, {}, a) || a["--db"].empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const auto store = collector::openStore(a["--db"], collector::Store::eOpenMode::Existing);
    std::cout << collector::formatReport(store->surveys(), store->answerCounts());
    return 0;
}

int certs(int argc, char** argv) {
    Args a;
    if (!parseArgs(argc, argv, {"--dir", "--install-ca"}, {"--force"}, a) || a["--dir"].empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string dir = a["--dir"];
    const bool made = collector::ensureCertificates(dir, a.count("--force") > 0);
    std::cout << (made ? "made certificates in " : "certificates present in ") << dir << "\n";
    if (a.count("--install-ca")) {
        const bool added = collector::installCa(collector::certPathsIn(dir).caCert, a["--install-ca"]);
        std::cout << (added ? "CA added to " : "CA already in ") << a["--install-ca"] << "\n";
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = argv[1];
    try {
        if (command == "serve")
            return serve(argc, argv);
        if (command == "report")
            return report(argc, argv);
        if (command == "certs")
            return certs(argc, argv);
        if (command == "user")
            return collector::userCommand(argc, argv);
        if (command == "seed")
            return collector::seedCommand(argc, argv);
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kUsage << collector::kDashboardUsage;
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "tavcollector: " << e.what() << "\n";
        return 1;
    }
    std::cerr << "tavcollector: unknown command " << command << "\n" << kUsage;
    return 2;
}
