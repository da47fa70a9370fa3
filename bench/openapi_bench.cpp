// 1,000 small sequential GETs on one thread against the local HTTPS server: through
// OpenApiConnection::GetString, and through a plain libcurl loop on one reused easy handle.
// Prints both rates and their ratio at the end (goal: GetString at 0.9 of the plain loop or more),
// and the calling thread's CPU time per request of each: unlike the rates, these hardly move
// with the load of a shared machine, and their difference is the client's own work.
// The log goes to a temporary file unless TAV_DLOG_FILE says otherwise.
#include "OpenApiConnection.h"
#include "TavConstants.h"
#include "TestHttpsServer.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int kRequests = 1000;

struct LocalServer {
    tavtest::TrustedCa trusted{"bench CA"};
    tavtest::TestHttpsServer server{trusted.validCert(), [](const tavtest::HttpRequest&) {
                                        tavtest::HttpReply reply;
                                        reply.body = "{\"status\":\"ok\"}";
                                        return reply;
                                    }};
};

std::unique_ptr<LocalServer> g_server;
std::vector<double> g_ratios;   // GetString rate / plain rate, one per paired run
std::map<std::string, std::vector<double>> g_rates;
std::map<std::string, std::vector<double>> g_cpuMicros;   // the calling thread's, per request

double threadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Requests per second of `kRequests` calls of `request`; its CPU time per request goes to `name`.
double rate(const std::string& name, const std::function<void()>& request) {
    const double cpuStart = threadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRequests; ++i)
        request();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    g_cpuMicros[name].push_back((threadCpuSeconds() - cpuStart) * 1e6 / kRequests);
    return kRequests / took.count();
}

// The pairs' ratios are combined by their geometric mean: a pair where the machine slowed down
// under one loop gives r*k, one where it slowed under the other r/k, and k drops out.
double geometricMean(const std::vector<double>& v) {
    double logs = 0;
    for (const double x : v)
        logs += std::log(x);
    return v.empty() ? 0 : std::exp(logs / static_cast<double>(v.size()));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

size_t append(char* ptr, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(ptr, size * n);
    return size * n;
}

// Each iteration runs both loops back to back (in alternating order), so that the load of a
// shared machine hits both alike; the ratio is taken per pair.
void BM_GetStringVsPlainLibcurl(benchmark::State& state) {
    const std::string url = g_server->server.url("/small");
    std::string out;
    auto getString = [&] {
        out.clear();
        openapi::OpenApiConnection().GetString(url, out, 40);
    };
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, CA_FILE.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out);
    auto plain = [&] {
        out.clear();
        if (curl_easy_perform(curl) != CURLE_OK)
            state.SkipWithError("request failed");
    };
    getString();   // connections and TLS handshakes outside the measurement
    plain();
    bool apiFirst = true;
    for (auto _ : state) {
        double api, lib;
        if (apiFirst) {
            api = rate("GetString", getString);
            lib = rate("plain libcurl", plain);
        } else {
            lib = rate("plain libcurl", plain);
            api = rate("GetString", getString);
        }
        apiFirst = !apiFirst;
        g_rates["GetString"].push_back(api);
        g_rates["plain libcurl"].push_back(lib);
        g_ratios.push_back(api / lib);
    }
    curl_easy_cleanup(curl);
    openapi::OpenApiConnection::removeAllHandles();
    state.counters["GetString_req/s"] = median(g_rates["GetString"]);
    state.counters["plain_req/s"] = median(g_rates["plain libcurl"]);
    state.counters["ratio"] = geometricMean(g_ratios);
}

BENCHMARK(BM_GetStringVsPlainLibcurl)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv) {
    // The log goes to a file as on the television, not to the terminal.
    tavtest::TempDir root;
    setenv("TAV_DLOG_STDERR", "0", 1);
    setenv("TAV_DLOG_FILE", root.file("dlog.log").c_str(), 0);
    setenv("TAV_PLATFORM_ROOT", root.file("platform").c_str(), 1);
    benchmark::Initialize(&argc, argv);
    g_server = std::make_unique<LocalServer>();
    benchmark::RunSpecifiedBenchmarks();
    g_server.reset();
    if (!g_ratios.empty())
        std::printf("1000 GETs, %zu paired runs: GetString %.0f req/s, plain libcurl %.0f req/s (medians), "
                    "ratio %.3f (geometric mean of the pairs; goal >= 0.9)\n",
                    g_ratios.size(), median(g_rates["GetString"]), median(g_rates["plain libcurl"]),
                    geometricMean(g_ratios));
    if (!g_ratios.empty())
        std::printf("calling thread's CPU per request, medians: GetString %.1f us, plain libcurl %.1f us\n",
                    median(g_cpuMicros["GetString"]), median(g_cpuMicros["plain libcurl"]));
    benchmark::Shutdown();
    return 0;
}
