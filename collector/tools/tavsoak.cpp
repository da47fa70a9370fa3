// tavsoak: the load and the attackers of scripts/soak.sh, and the bare TLS server it compares
// the collector with.
//   tavsoak load  --port P [--ca FILE] --uploads N --concurrency C [--prefix S] [--ok-file F]
//                 [--source ADDR] [--seconds S]
//       N survey uploads, each on a new TLS connection, C at a time; prints one line of figures.
//       --ok-file gets the session id of every upload answered "ok"; --seconds keeps going
//       (N per round) until that time is over.
//   tavsoak slow  --port P --count N --seconds S [--sources K]
//       holds N connections for S seconds, half that never start TLS and half that trickle a
//       request head a byte a second, from K addresses of 127.0.1.0/24; reconnects what the
//       server closes. Prints how many were held on average.
//   tavsoak flood --port P --count N --mib M
//       N connections at once, each sending M MiB of header lines; prints the replies' statuses.
//   tavsoak bare  --cert FILE --key FILE --port-file F [--threads T]
//       a TLS accept-and-answer loop on T threads: the ceiling the collector is measured against.
#include "TlsClient.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Args = std::map<std::string, std::string>;

Args parse(int argc, char** argv) {
    Args a;
    for (int i = 2; i + 1 < argc; i += 2)
        a[argv[i]] = argv[i + 1];
    return a;
}

long num(const Args& a, const char* key, long fallback) {
    const auto it = a.find(key);
    return it == a.end() ? fallback : std::atol(it->second.c_str());
}

std::string str(const Args& a, const char* key) {
    const auto it = a.find(key);
    return it == a.end() ? "" : it->second;
}

std::string gzip(const std::string& data) {
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// A television's upload: the envelope with five answers, gzipped, its CRC-32 in the header.
std::string upload(const std::string& session, int seed) {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<survey>\n<deviceinfo>\n<DUID>SOAK-DUID</DUID>\n"
        "<LocalSet>EU</LocalSet>\n<Country>GB</Country>\n<Model_Name>UE55</Model_Name>\n"
        "<Firmware_Version>T-KTM2-1001.5</Firmware_Version>\n</deviceinfo>\n<result>";
    const int answers[5] = {2, 7, 10, 7, 7};
    for (int q = 0; q < 5; ++q)
        doc += "<item index=\"" + std::to_string(q + 1) + "\" selected=\"" + std::to_string(1 + (seed + q) % answers[q]) +
               "\">\n<question><![CDATA[Question]]></question>\n<answer><![CDATA[Answer]]></answer>\n</item>\n";
    doc += "</result>\n</survey>\n";
    const std::string file = gzip(doc);
    const unsigned long crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(file.data()),
                                    static_cast<uInt>(file.size()));
    const std::string boundary = "------------------------tavsoak9e1d";
    const std::string body = "--" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"Survey_soak.zip\"\r\n"
                             "Content-Type: application/octet-stream\r\n\r\n" +
                             file + "\r\n--" + boundary + "--\r\n";
    return "POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" + boundary +
           "\r\npincode: 4711\r\nduid: SOAK-DUID\r\ncrc32: " + std::to_string(crc) +
           "\r\ncategory: TAVAS\r\nsessionid: " + session + "\r\nsource: survey\r\nDate: 2019-05-01\r\nYear: 2019\r\n"
           "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

int load(const Args& a) {
    const int port = static_cast<int>(num(a, "--port", 0));
    const long uploads = num(a, "--uploads", 100);
    const long concurrency = std::max(1L, num(a, "--concurrency", 4));
    const long seconds = num(a, "--seconds", 0);
    const std::string prefix = a.count("--prefix") ? str(a, "--prefix") : "SOAK";
    const std::string source = str(a, "--source");
    tavclient::TlsContext tls(str(a, "--ca"));
    std::unique_ptr<std::ofstream> okFile;
    if (a.count("--ok-file"))
        okFile = std::make_unique<std::ofstream>(str(a, "--ok-file"), std::ios::app);

    std::mutex mutex;
    std::vector<double> latencies;
    std::map<std::string, long> failures;
    std::atomic<long> next{0};
    const auto start = Clock::now();
    const auto until = start + std::chrono::seconds(seconds);
    auto worker = [&] {
        tavclient::TlsClient client(tls);
        for (;;) {
            const long i = next++;
            if (seconds > 0 ? Clock::now() >= until : i >= uploads)
                return;
            const std::string session = prefix + "-" + std::to_string(i);
            const std::string request = upload(session, static_cast<int>(i));
            const auto t0 = Clock::now();
            std::string reply;
            const char* failure = nullptr;
            if (!client.connect("127.0.0.1", port, source))
                failure = "connect";
            else if (!client.handshake())
                failure = "handshake";
            else if (!client.send(request))
                failure = "send";
            else if ((reply = client.readResponse(30000)).empty())
                failure = "no reply";
            else if (tavclient::statusOf(reply) != 200 || (reply.find("<rsp") != std::string::npos &&
                                                            reply.find("stat=\"ok\"") == std::string::npos))
                failure = "refused";
            client.close();
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            std::lock_guard<std::mutex> lock(mutex);
            if (failure) {
                ++failures[failure];
                continue;
            }
            latencies.push_back(ms);
            if (okFile)
                *okFile << session << "\n" << std::flush;
        }
    };
    std::vector<std::thread> threads;
    for (long t = 0; t < concurrency; ++t)
        threads.emplace_back(worker);
    for (auto& t : threads)
        t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    long failed = 0;
    std::string why;
    for (const auto& f : failures) {
        failed += f.second;
        why += " " + f.first + ":" + std::to_string(f.second);
    }
    std::printf("ok=%zu failed=%ld seconds=%.2f rate=%.1f p50_ms=%.1f p99_ms=%.1f max_ms=%.1f%s\n", latencies.size(),
                failed, elapsed, static_cast<double>(latencies.size()) / elapsed, percentile(latencies, 0.50),
                percentile(latencies, 0.99), percentile(latencies, 1.0), why.c_str());
    return 0;
}

int slow(const Args& a) {
    const int port = static_cast<int>(num(a, "--port", 0));
    const long count = num(a, "--count", 1000);
    const long seconds = num(a, "--seconds", 20);
    const long sources = std::max(1L, num(a, "--sources", 40));
    tavclient::TlsContext tls;
    struct Conn {
        std::unique_ptr<tavclient::TlsClient> client;
        bool tls = false;
        size_t sent = 0;
    };
    std::vector<Conn> conns(static_cast<size_t>(count));
    long reconnects = 0, failedConnects = 0;
    const std::string head = "POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    auto open = [&](size_t i) {
        Conn& c = conns[i];
        c.client = std::make_unique<tavclient::TlsClient>(tls);
        c.tls = i % 2 == 1;
        c.sent = 0;
        const std::string source = "127.0.1." + std::to_string(1 + i % static_cast<size_t>(sources));
        if (!c.client->connect("127.0.0.1", port, source) || (c.tls && !c.client->handshake())) {
            ++failedConnects;
            c.client.reset();
        }
    };
    for (size_t i = 0; i < conns.size(); ++i)
        open(i);
    const auto start = Clock::now();
    double heldSum = 0;
    long samples = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        const auto round = Clock::now();
        long held = 0;
        for (size_t i = 0; i < conns.size(); ++i) {
            Conn& c = conns[i];
            bool alive = c.client != nullptr;
            if (alive && c.tls)
                alive = c.client->send(std::string(1, c.sent < head.size() ? head[c.sent] : 'x'));
            else if (alive)
                alive = !c.client->waitClosed(0);
            ++c.sent;
            if (alive) {
                ++held;
            } else {
                ++reconnects;
                open(i);
            }
        }
        heldSum += static_cast<double>(held);
        ++samples;
        std::this_thread::sleep_until(round + std::chrono::seconds(1));
    }
    std::printf("held_avg=%.0f of %ld reconnects=%ld failed_connects=%ld\n", samples ? heldSum / static_cast<double>(samples) : 0.0,
                count, reconnects, failedConnects);
    return 0;
}

int flood(const Args& a) {
    const int port = static_cast<int>(num(a, "--port", 0));
    const long count = num(a, "--count", 10);
    const long mib = num(a, "--mib", 64);
    tavclient::TlsContext tls;
    std::string lines;
    while (lines.size() < 64 * 1024)
        lines += "X-Flood-" + std::to_string(lines.size()) + ": aaaaaaaaaaaaaaaaaaaaaaaa\r\n";
    std::mutex mutex;
    std::map<int, long> statuses;
    std::vector<std::thread> threads;
    for (long t = 0; t < count; ++t)
        threads.emplace_back([&] {
            tavclient::TlsClient c(tls);
            int status = -1;
            if (c.connect("127.0.0.1", port) && c.handshake() && c.send("POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\n")) {
                for (long i = 0; i < mib * 16 && c.send(lines); ++i) {
                }
                status = tavclient::statusOf(c.readResponse(10000));
            }
            std::lock_guard<std::mutex> lock(mutex);
            ++statuses[status];
        });
    for (auto& t : threads)
        t.join();
    std::string out;
    for (const auto& s : statuses)
        out += " " + std::to_string(s.first) + ":" + std::to_string(s.second);
    std::printf("statuses%s\n", out.c_str());
    return 0;
}

std::atomic<bool> g_stop{false};

int bare(const Args& a) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(ctx, str(a, "--cert").c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, str(a, "--key").c_str(), SSL_FILETYPE_PEM) != 1) {
        std::fprintf(stderr, "tavsoak bare: cannot load the certificate\n");
        return 1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4096) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 1;
    std::ofstream(str(a, "--port-file")) << ntohs(addr.sin_port) << "\n";
    std::signal(SIGPIPE, SIG_IGN);
    auto serve = [&] {
        char buf[16384];
        while (!g_stop) {
            const int c = ::accept(fd, nullptr, nullptr);
            if (c < 0)
                continue;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            SSL* ssl = SSL_new(ctx);
            SSL_set_fd(ssl, c);
            if (SSL_accept(ssl) == 1) {
                std::string in;
                size_t want = std::string::npos;
                for (;;) {
                    const int n = SSL_read(ssl, buf, sizeof buf);
                    if (n <= 0)
                        break;
                    in.append(buf, static_cast<size_t>(n));
                    const size_t head = in.find("\r\n\r\n");
                    if (head != std::string::npos && want == std::string::npos) {
                        const size_t cl = in.find("Content-Length: ");
                        want = head + 4 + (cl < head ? std::strtoul(in.c_str() + cl + 16, nullptr, 10) : 0);
                    }
                    if (in.size() >= want)
                        break;
                }
                static const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
                SSL_write(ssl, reply, sizeof reply - 1);
                SSL_shutdown(ssl);
            }
            ERR_clear_error();
            SSL_free(ssl);
            ::close(c);
        }
    };
    std::vector<std::thread> threads;
    for (long t = 0; t < std::max(1L, num(a, "--threads", 2)); ++t)
        threads.emplace_back(serve);
    for (auto& t : threads)
        t.detach();  // blocked in accept(); the process ends on SIGTERM
    pause();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    const Args a = parse(argc, argv);
    if (cmd == "load")
        return load(a);
    if (cmd == "slow")
        return slow(a);
    if (cmd == "flood")
        return flood(a);
    if (cmd == "bare")
        return bare(a);
    std::fprintf(stderr, "usage: tavsoak load|slow|flood|bare ... (see the top of tavsoak.cpp)\n");
    return 2;
}
