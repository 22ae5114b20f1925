// Ours against a peer on the same input in the same run. Both sides allocate their
// output on every iteration. Throughput counts the same units on both sides: decoded
// bytes for Base64, input characters for the text operations. After the run the
// medians (or means without repetitions) are paired up and the ratio ours/peer printed.
#include <benchmark/benchmark.h>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codec/Base64.h"
#include "codec/basInCodePage.h"
#include "codec/cBaseCode.h"
#include "platform/CodePage.h"
#include "platform/Utf.h"

namespace {

constexpr std::int64_t kMiB = 1 << 20;

std::string randomBytes(std::size_t n)
{
    std::mt19937_64 gen(42);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(gen());
    return s;
}

// Chinese prose with ASCII words and digits mixed in, as the client's pages carry.
std::u16string mixedText(std::size_t units)
{
    static const std::u16string pieces[] = {u"客户营销管理",     u"软件",
                                            u" Zentarro ",       u"提示信息",
                                            u"2026-12-08 ",      u"联系人：张三，电话 13800000000；",
                                            u"user=admin&cp=1 ", u"您真的确定要退出系统！"};
    std::mt19937 gen(7);
    std::u16string text;
    text.reserve(units + 64);
    while (text.size() < units)
        text += pieces[gen() % std::size(pieces)];
    text.resize(units);
    return text;
}

struct Inputs {
    std::string bytes;
    std::u16string base64Text;
    std::string base64Ascii;
    std::u16string text;
    std::string textUtf8;
    std::string textGbk;
    std::u16string urlEncoded;
    std::string urlEncodedAscii;
};

// Inputs per size, built once. Sizes are of the primary input: bytes for Base64
// (its text is 4/3 of that), UTF-16 bytes for the text operations.
const Inputs& inputs(std::int64_t size)
{
    static std::map<std::int64_t, Inputs> cache;
    auto it = cache.find(size);
    if (it != cache.end())
        return it->second;
    Inputs in;
    in.bytes = randomBytes(static_cast<std::size_t>(size));
    talvo::Base64 codec;
    in.base64Text = codec.EncodeBase64Byte(in.bytes);
    in.base64Ascii.assign(in.base64Text.begin(), in.base64Text.end());
    in.text = mixedText(static_cast<std::size_t>(size) / 2);
    in.textUtf8 = talvo::platform::toUtf8(in.text);
    in.textGbk = talvo::platform::textToAnsi(in.text);
    talvo::cBaseCode code;
    in.urlEncoded = code.URLEncode(in.text);
    in.urlEncodedAscii.assign(in.urlEncoded.begin(), in.urlEncoded.end());
    return cache.emplace(size, std::move(in)).first->second;
}

// What one call reads and writes, in bytes: the UTF-16 side moves two bytes a
// character where the peers move one, which the ratios alone do not show.
void moved(benchmark::State& state, std::size_t in, std::size_t out)
{
    state.counters["in_bytes"] = static_cast<double>(in);
    state.counters["out_bytes"] = static_cast<double>(out);
}

// --- Base64 ---------------------------------------------------------------------

void Ours_EncodeBase64Byte(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    talvo::Base64 codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.EncodeBase64Byte(in.bytes));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.bytes.size()));
    moved(state, in.bytes.size(), in.base64Text.size() * 2);
}

void Peer_EncodeBase64Byte(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    for (auto _ : state) {
        std::string out(4 * ((in.bytes.size() + 2) / 3) + 1, '\0');
        const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(in.bytes.data()),
                                      static_cast<int>(in.bytes.size()));
        out.resize(static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.bytes.size()));
    moved(state, in.bytes.size(), in.base64Ascii.size());
}

void Ours_DecodeBase64Byte(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    talvo::Base64 codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.DecodeBase64Byte(in.base64Text));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.bytes.size()));
    moved(state, in.base64Text.size() * 2, in.bytes.size());
}

void Peer_DecodeBase64Byte(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    for (auto _ : state) {
        std::string out(in.base64Ascii.size() / 4 * 3, '\0');
        const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(in.base64Ascii.data()),
                                      static_cast<int>(in.base64Ascii.size()));
        // EVP_DecodeBlock keeps the padding bytes; drop them as a caller must.
        std::size_t pad = 0;
        while (pad < 2 && pad < in.base64Ascii.size() && in.base64Ascii[in.base64Ascii.size() - 1 - pad] == '=')
            ++pad;
        out.resize(static_cast<std::size_t>(n) - pad);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.bytes.size()));
    moved(state, in.base64Ascii.size(), in.bytes.size());
}

// --- Code pages -----------------------------------------------------------------

struct IcuConverter {
    UConverter* cnv = nullptr;
    explicit IcuConverter(const char* name)
    {
        UErrorCode e = U_ZERO_ERROR;
        cnv = ucnv_open(name, &e);
        ucnv_setFallback(cnv, true);
    }
    ~IcuConverter() { ucnv_close(cnv); }
};

const char* icuName(int codePage) { return codePage == 65001 ? "UTF-8" : "windows-936-2000"; }

void Ours_UnicodeToCodePage(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    const auto codePage = static_cast<std::int32_t>(state.range(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(talvo::basInCodePage::UnicodeToCodePage(in.text, codePage, 0));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
}

void Peer_UnicodeToCodePage(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    IcuConverter icu(icuName(static_cast<int>(state.range(1))));
    for (auto _ : state) {
        const auto length = static_cast<int32_t>(in.text.size());
        std::string out(static_cast<std::size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(length, ucnv_getMaxCharSize(icu.cnv))),
                        '\0');
        UErrorCode e = U_ZERO_ERROR;
        const int32_t n = ucnv_fromUChars(icu.cnv, out.data(), static_cast<int32_t>(out.size()), in.text.data(), length,
                                          &e);
        out.resize(static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
}

void Ours_CodePageToUnicode(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    const auto codePage = static_cast<std::int32_t>(state.range(1));
    const std::string& bytes = codePage == 65001 ? in.textUtf8 : in.textGbk;
    for (auto _ : state)
        benchmark::DoNotOptimize(talvo::basInCodePage::CodePageToUnicode(bytes, codePage, 0));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
}

void Peer_CodePageToUnicode(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    const auto codePage = static_cast<int>(state.range(1));
    const std::string& bytes = codePage == 65001 ? in.textUtf8 : in.textGbk;
    IcuConverter icu(icuName(codePage));
    for (auto _ : state) {
        std::u16string out(bytes.size() + 1, u'\0');
        UErrorCode e = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(icu.cnv, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                        static_cast<int32_t>(bytes.size()), &e);
        out.resize(static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
}

// --- URL escapes ----------------------------------------------------------------

CURL* curlHandle()
{
    static CURL* handle = curl_easy_init();
    return handle;
}

void Ours_GBtoUTF8andURLEncode(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    talvo::cBaseCode code;
    const talvo::Variant input(in.text);
    const std::size_t escaped = code.GBtoUTF8andURLEncode(input).text().size();
    for (auto _ : state)
        benchmark::DoNotOptimize(code.GBtoUTF8andURLEncode(input));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
    moved(state, in.text.size() * 2, escaped * 2);
}

// curl refuses to escape more than 8 MB in one call (its output is capped), so the
// peer escapes in 1 MB pieces into one reserved result, as a caller would have to.
// Escaping is per byte, so the pieces give exactly the one-call result.
bool curlEscapeAll(const std::string& bytes, std::string& out)
{
    constexpr std::size_t kPiece = 1000000;
    out.clear();
    out.reserve(bytes.size() * 3);
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const std::size_t n = std::min(kPiece, bytes.size() - at);
        char* piece = curl_easy_escape(curlHandle(), bytes.data() + at, static_cast<int>(n));
        if (piece == nullptr)
            return false;
        out += piece;
        curl_free(piece);
    }
    return true;
}

void peerEscape(benchmark::State& state, const std::string& bytes, std::size_t units)
{
    std::string out;
    if (!curlEscapeAll(bytes, out)) {
        state.SkipWithError("curl_easy_escape failed");
        return;
    }
    for (auto _ : state) {
        std::string result;
        curlEscapeAll(bytes, result);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(units * 2));
    moved(state, bytes.size(), out.size());
}

void Peer_GBtoUTF8andURLEncode(benchmark::State& state)
{
    // curl gets the UTF-8 bytes ready made: its share of the work is smaller.
    const auto& in = inputs(state.range(0));
    peerEscape(state, in.textUtf8, in.text.size());
}

void Ours_URLEncode(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    talvo::cBaseCode code;
    for (auto _ : state)
        benchmark::DoNotOptimize(code.URLEncode(in.text));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
    moved(state, in.text.size() * 2, in.urlEncoded.size() * 2);
}

void Peer_URLEncode(benchmark::State& state)
{
    // curl gets the GBK bytes ready made.
    const auto& in = inputs(state.range(0));
    peerEscape(state, in.textGbk, in.text.size());
}

void Ours_URLDecode(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    talvo::cBaseCode code;
    for (auto _ : state)
        benchmark::DoNotOptimize(code.URLDecode(in.urlEncoded));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
    moved(state, in.urlEncoded.size() * 2, in.text.size() * 2);
}

void Peer_URLDecode(benchmark::State& state)
{
    const auto& in = inputs(state.range(0));
    int checkLength = 0;
    char* check = curl_easy_unescape(curlHandle(), in.urlEncodedAscii.data(),
                                     static_cast<int>(in.urlEncodedAscii.size()), &checkLength);
    if (check == nullptr || checkLength != static_cast<int>(in.textGbk.size())) {
        curl_free(check);
        state.SkipWithError("curl_easy_unescape failed");
        return;
    }
    curl_free(check);
    for (auto _ : state) {
        int length = 0;
        char* out = curl_easy_unescape(curlHandle(), in.urlEncodedAscii.data(),
                                       static_cast<int>(in.urlEncodedAscii.size()), &length);
        benchmark::DoNotOptimize(out);
        curl_free(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.text.size() * 2));
    moved(state, in.urlEncodedAscii.size(), in.textGbk.size());
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(kMiB)->Arg(16 * kMiB)->Unit(benchmark::kMicrosecond); }

void sizesAndCodePages(benchmark::internal::Benchmark* b)
{
    for (int codePage : {936, 65001})
        for (std::int64_t size : {kMiB, 16 * kMiB})
            b->Args({size, codePage});
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(Ours_EncodeBase64Byte)->Apply(sizes);
BENCHMARK(Peer_EncodeBase64Byte)->Apply(sizes);
BENCHMARK(Ours_DecodeBase64Byte)->Apply(sizes);
BENCHMARK(Peer_DecodeBase64Byte)->Apply(sizes);
BENCHMARK(Ours_UnicodeToCodePage)->Apply(sizesAndCodePages);
BENCHMARK(Peer_UnicodeToCodePage)->Apply(sizesAndCodePages);
BENCHMARK(Ours_CodePageToUnicode)->Apply(sizesAndCodePages);
BENCHMARK(Peer_CodePageToUnicode)->Apply(sizesAndCodePages);
BENCHMARK(Ours_GBtoUTF8andURLEncode)->Apply(sizes);
BENCHMARK(Peer_GBtoUTF8andURLEncode)->Apply(sizes);
BENCHMARK(Ours_URLEncode)->Apply(sizes);
BENCHMARK(Peer_URLEncode)->Apply(sizes);
BENCHMARK(Ours_URLDecode)->Apply(sizes);
BENCHMARK(Peer_URLDecode)->Apply(sizes);

namespace {

// Keeps the console output and remembers the figure of each benchmark: the median
// over repetitions when there are any, else the single run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Figure {
        double bytesPerSecond = 0;
        double realTime = 0; // CPU time per iteration, in the benchmark's unit
        double inBytes = 0;
        double outBytes = 0;
    };
    std::map<std::string, Figure> figures;
    bool repeated = false;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            if (median)
                repeated = true;
            else if (repeated)
                continue;
            std::string name = run.run_name.str();
            const auto bps = run.counters.find("bytes_per_second");
            Figure f;
            f.bytesPerSecond = bps != run.counters.end() ? static_cast<double>(bps->second) : 0;
            f.realTime = run.GetAdjustedCPUTime();
            if (const auto i = run.counters.find("in_bytes"); i != run.counters.end())
                f.inBytes = static_cast<double>(i->second);
            if (const auto o = run.counters.find("out_bytes"); o != run.counters.end())
                f.outBytes = static_cast<double>(o->second);
            if (median || !figures.count(name))
                figures[name] = f;
        }
    }
};

struct Goal {
    const char* operation;
    double minimum;
};

} // namespace

int main(int argc, char** argv)
{
    // Big outputs (up to 45 MB) would otherwise be fresh mmap'd pages on every
    // iteration for whichever side crosses glibc's adaptive threshold first; keep both
    // sides on reused heap memory so the codecs are compared, not the page faults.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const Goal goals[] = {{"EncodeBase64Byte", 2.0},
                          {"DecodeBase64Byte", 1.0},
                          {"UnicodeToCodePage", 0.8},
                          {"CodePageToUnicode", 0.8},
                          {"GBtoUTF8andURLEncode", 4.0},
                          {"URLEncode", 4.0},
                          {"URLDecode", 2.0},
                          // UTF-8 is what the program writes most: held to more than the other code pages.
                          {"UnicodeToCodePage/1048576/65001", 0.9},
                          {"UnicodeToCodePage/16777216/65001", 0.9}};
    std::printf("\n%-44s %12s %12s %8s %6s  %s\n", "operation/size[/code page]", "ours MB/s", "peer MB/s", "ratio",
                "goal", "16 MiB / 1 MiB time; bytes read+written per call");
    int missed = 0;
    for (const auto& [name, ours] : reporter.figures) {
        if (name.rfind("Ours_", 0) != 0)
            continue;
        const std::string rest = name.substr(5);
        const auto peer = reporter.figures.find("Peer_" + rest);
        if (peer == reporter.figures.end() || peer->second.bytesPerSecond <= 0)
            continue;
        double goal = 0;
        for (const auto& g : goals)
            if (rest == g.operation || rest.rfind(std::string(g.operation) + "/", 0) == 0)
                goal = g.minimum; // the most specific entry comes last
        const double ratio = ours.bytesPerSecond / peer->second.bytesPerSecond;
        std::string scaling;
        const auto slash = rest.find('/');
        const std::string size = rest.substr(slash + 1, rest.find('/', slash + 1) - slash - 1);
        if (size == std::to_string(16 * kMiB)) {
            std::string small = rest;
            small.replace(slash + 1, size.size(), std::to_string(kMiB));
            const auto one = reporter.figures.find("Ours_" + small);
            if (one != reporter.figures.end() && one->second.realTime > 0) {
                const double factor = ours.realTime / one->second.realTime;
                scaling = std::to_string(factor).substr(0, 5) + (factor <= 20 ? " (linear)" : " (NOT linear)");
                // The peer's growth in the same run: what the machine's caches and
                // memory do to any code at these sizes.
                const auto peerOne = reporter.figures.find("Peer_" + small);
                if (peerOne != reporter.figures.end() && peerOne->second.realTime > 0) {
                    char peerGrowth[48];
                    std::snprintf(peerGrowth, sizeof peerGrowth, ", peer %.1f",
                                  peer->second.realTime / peerOne->second.realTime);
                    scaling += peerGrowth;
                }
            }
        }
        if (ours.inBytes > 0 && peer->second.inBytes > 0) {
            char bytesMoved[96];
            std::snprintf(bytesMoved, sizeof bytesMoved, "  moved MB ours %.1f+%.1f peer %.1f+%.1f", ours.inBytes / 1e6,
                          ours.outBytes / 1e6, peer->second.inBytes / 1e6, peer->second.outBytes / 1e6);
            scaling += bytesMoved;
        }
        const bool ok = ratio >= goal;
        missed += ok ? 0 : 1;
        std::printf("%-44s %12.0f %12.0f %8.2f %6.1f  %s %s\n", rest.c_str(), ours.bytesPerSecond / 1e6,
                    peer->second.bytesPerSecond / 1e6, ratio, goal, scaling.c_str(), ok ? "" : "<- below goal");
    }
    std::printf("%s\n",
                reporter.repeated ? "(medians over the repetitions)"
                                  : "(single runs; use --benchmark_repetitions=5 for medians)");
    benchmark::Shutdown();
    curl_global_cleanup();
    return missed == 0 ? 0 : 2;
}
