// One request helper round trip on loopback against a plain libcurl easy request of the
// same address, both against the demo server running in this process, in one run.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "demo/DemoServer.h"
#include "net/ServerRequests.h"
#include "net/xmlHttp.h"
#include "platform/Utf.h"

namespace {

std::u16string g_host;

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void SmsXmlHttpRoundTrip(benchmark::State& state)
{
    const std::u16string url = talvo::checkCodeAddress(g_host, u"07055475");
    for (auto _ : state) {
        talvo::xmlHttp http;
        const talvo::Variant result = http.SmsXmlHttp(u"Get", url, u"");
        if (!result.isText() || result.text().size() != 8) {
            state.SkipWithError("the request failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
}

void PlainCurlRoundTrip(benchmark::State& state)
{
    // The same address as the helper sends, suffix included.
    const std::string url = talvo::platform::toUtf8(talvo::checkCodeAddress(g_host, u"07055475")) + "?rnm=5334&";
    for (auto _ : state) {
        std::string body;
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        const CURLcode code = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        if (code != CURLE_OK || body.size() != 8) {
            state.SkipWithError("the request failed");
            break;
        }
        benchmark::DoNotOptimize(body);
    }
}

BENCHMARK(SmsXmlHttpRoundTrip)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(PlainCurlRoundTrip)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);

// Remembers each benchmark's median so the ratio can be printed at the end.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv)
{
    // Loopback only: a proxy from the environment would measure something else.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    curl_global_init(CURL_GLOBAL_DEFAULT);

    talvo::demo::DemoServer server({}, std::fopen("/dev/null", "w"));
    const int port = server.bind();
    if (port < 0) {
        std::fprintf(stderr, "net_bench: cannot listen on 127.0.0.1\n");
        return 1;
    }
    const std::string host = "127.0.0.1:" + std::to_string(port);
    g_host = std::u16string(host.begin(), host.end());
    std::thread serving([&server] { server.serve(); });

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    server.stop();
    serving.join();

    const auto ours = reporter.medians.find("SmsXmlHttpRoundTrip");
    const auto peer = reporter.medians.find("PlainCurlRoundTrip");
    if (ours != reporter.medians.end() && peer != reporter.medians.end() && peer->second > 0)
        std::printf("\nmedian SmsXmlHttp / plain libcurl = %.0f us / %.0f us = %.2f\n", ours->second, peer->second,
                    ours->second / peer->second);
    return 0;
}
