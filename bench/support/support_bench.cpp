// The support classes against their plain peers, in one run:
//  - cStringBuilder::Append of 10-character pieces vs std::u16string::append,
//  - fso::OpenFile + GetFileText of a GBK file vs ICU decoding the same bytes,
//  - a walk over every occurrence with cStringBuilder::Find, case-insensitive
//    (compare 1) vs exact (compare 0), on the same text.
// After the runs it prints the medians and the ratios (peer time / our time, so 1.0
// means as fast as the peer) and the growth of the builder from 1 Mi to 64 Mi.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unicode/ucnv.h>

#include "platform/CodePage.h"
#include "support/cStringBuilder.h"
#include "support/fso.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMi = 1 << 20;
const std::u16string kPiece = u"0123456789";

void BM_Builder_Append(benchmark::State& state)
{
    const std::int64_t pieces = state.range(0) / 10;
    for (auto _ : state) {
        talvo::cStringBuilder builder;
        for (std::int64_t i = 0; i < pieces; ++i)
            builder.Append(kPiece);
        benchmark::DoNotOptimize(builder.Length());
    }
    state.SetItemsProcessed(state.iterations() * pieces * 10);
}

void BM_U16String_Append(benchmark::State& state)
{
    const std::int64_t pieces = state.range(0) / 10;
    for (auto _ : state) {
        std::u16string text;
        for (std::int64_t i = 0; i < pieces; ++i)
            text.append(kPiece);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * pieces * 10);
}

// 64 MiB of GBK: mostly Chinese with ASCII runs and line ends, like real text.
const fs::path& gbkFile()
{
    static const fs::path file = [] {
        fs::path path = fs::temp_directory_path() / "talvo-bench-gbk.txt";
        std::mt19937 random(7);
        std::u16string text;
        const std::u16string hanzi =
            u"的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而"
            u"方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好"
            u"应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向"
            u"道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特"
            u"件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队"
            u"南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风"
            u"切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许"
            u"步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列"
            u"习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派"
            u"层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严";
        const std::u16string ascii = u"Zentarro 2024-01-05, OK; ";
        while (text.size() < static_cast<std::size_t>(40 * kMi)) {
            const int run = 5 + static_cast<int>(random() % 40);
            for (int i = 0; i < run; ++i)
                text.push_back(hanzi[random() % hanzi.size()]);
            text += ascii.substr(0, random() % ascii.size());
            if (random() % 8 == 0)
                text += u"\r\n";
        }
        std::string bytes = talvo::platform::textToAnsi(text);
        bytes.resize(static_cast<std::size_t>(64 * kMi), ' ');
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }();
    return file;
}

void BM_Fso_OpenFile(benchmark::State& state)
{
    const std::u16string name = gbkFile().u16string();
    talvo::fso f;
    for (auto _ : state) {
        if (!f.OpenFile(name)) {
            state.SkipWithError("OpenFile failed");
            break;
        }
        benchmark::DoNotOptimize(f.GetFileText().data());
    }
    state.SetBytesProcessed(state.iterations() * 64 * kMi);
}

void BM_Icu_DecodeGbk(benchmark::State& state)
{
    std::ifstream in(gbkFile(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("windows-936-2000", &status);
    for (auto _ : state) {
        std::u16string text(bytes.size(), u'\0');
        status = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()),
                                        static_cast<int32_t>(text.size()), bytes.data(),
                                        static_cast<int32_t>(bytes.size()), &status);
        if (U_FAILURE(status)) {
            state.SkipWithError("ICU decoding failed");
            break;
        }
        text.resize(static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(text.data());
    }
    ucnv_close(converter);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

// Mixed Chinese and Latin text of the given length in characters, the name in it in
// one spelling every so often, so exact and case-insensitive walks find the same.
std::u16string findText(std::int64_t characters)
{
    static const std::u16string pieces[] = {u"客户营销管理",     u"软件",
                                            u" Zentarro ",       u"提示信息",
                                            u"2026-12-08 ",      u"联系人：张三，电话 13800000000；",
                                            u"user=admin&cp=1 ", u"您真的确定要退出系统！",
                                            u"Straße "};
    std::mt19937 random(11);
    std::u16string text;
    while (text.size() < static_cast<std::size_t>(characters))
        text += pieces[random() % std::size(pieces)];
    text.resize(static_cast<std::size_t>(characters));
    return text;
}

void walkAll(benchmark::State& state, int compare)
{
    talvo::cStringBuilder builder;
    builder.Append(findText(state.range(0)));
    std::int64_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (std::int32_t at = builder.Find(u"Zentarro", 1, compare); at != 0;
             at = builder.Find(u"Zentarro", at + 1, compare))
            ++found;
        benchmark::DoNotOptimize(found);
    }
    state.counters["occurrences"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Builder_FindWalkFolded(benchmark::State& state) { walkAll(state, 1); }
void BM_Builder_FindWalkExact(benchmark::State& state) { walkAll(state, 0); }

constexpr int kRepetitions = 7;

BENCHMARK(BM_Builder_Append)
    ->RangeMultiplier(4)
    ->Range(kMi, 64 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);
BENCHMARK(BM_U16String_Append)
    ->RangeMultiplier(4)
    ->Range(kMi, 64 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);
BENCHMARK(BM_Builder_FindWalkFolded)
    ->Arg(kMi / 4)
    ->Arg(kMi)
    ->Arg(4 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);
BENCHMARK(BM_Builder_FindWalkExact)
    ->Arg(kMi / 4)
    ->Arg(kMi)
    ->Arg(4 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);
BENCHMARK(BM_Fso_OpenFile)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Icu_DecodeGbk)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Keeps the medians (ms) by run name while the console shows everything. CPU time
// is the figure that holds up on a shared machine: wall time there also counts the
// time other processes held the processor.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    struct Median {
        double real = 0;
        double cpu = 0;
    };
    std::map<std::string, Median> medians;
};

bool useCpuTime = true;

double median(const MedianCollector& c, const std::string& name)
{
    const auto it = c.medians.find(name);
    if (it == c.medians.end())
        return 0.0;
    return useCpuTime ? it->second.cpu : it->second.real;
}

void printSummary(const MedianCollector& collector)
{
    std::printf("\nMedians (ms, %s time) and ratios, peer time / ours (>= 1 means ours is faster):\n",
                useCpuTime ? "CPU" : "wall");
    for (std::int64_t size = kMi; size <= 64 * kMi; size *= 4) {
        const std::string suffix = "/" + std::to_string(size) + "/repeats:" + std::to_string(kRepetitions);
        const double ours = median(collector, "BM_Builder_Append" + suffix);
        const double peer = median(collector, "BM_U16String_Append" + suffix);
        if (ours > 0 && peer > 0)
            std::printf("  Append %3lld Mi chars: builder %9.2f  u16string %9.2f  ratio %.2f\n",
                        static_cast<long long>(size / kMi), ours, peer, peer / ours);
    }
    const std::string tail = "/" + std::to_string(kMi) + "/repeats:" + std::to_string(kRepetitions);
    const std::string head = "/" + std::to_string(64 * kMi) + "/repeats:" + std::to_string(kRepetitions);
    const double small = median(collector, "BM_Builder_Append" + tail);
    const double large = median(collector, "BM_Builder_Append" + head);
    const double peerSmall = median(collector, "BM_U16String_Append" + tail);
    const double peerLarge = median(collector, "BM_U16String_Append" + head);
    if (small > 0 && large > 0 && peerSmall > 0 && peerLarge > 0)
        std::printf("  Growth 64 Mi / 1 Mi: builder %.1fx, u16string %.1fx (linear is 64x)\n", large / small,
                    peerLarge / peerSmall);
    for (std::int64_t size = kMi / 4; size <= 4 * kMi; size *= 4) {
        const std::string suffix = "/" + std::to_string(size) + "/repeats:" + std::to_string(kRepetitions);
        const double folded = median(collector, "BM_Builder_FindWalkFolded" + suffix);
        const double exact = median(collector, "BM_Builder_FindWalkExact" + suffix);
        if (folded > 0 && exact > 0)
            std::printf("  Find walk %5lld Ki chars: compare 1 %9.3f  compare 0 %9.3f  ratio %.2f (goal >= 0.25)\n",
                        static_cast<long long>(size / 1024), folded, exact, exact / folded);
    }
    const std::string repeats = "/repeats:" + std::to_string(kRepetitions);
    const double ours = median(collector, "BM_Fso_OpenFile" + repeats);
    const double peer = median(collector, "BM_Icu_DecodeGbk" + repeats);
    if (ours > 0 && peer > 0)
        std::printf("  64 MiB GBK: fso %9.2f  ICU %9.2f  ratio %.2f\n", ours, peer, peer / ours);
}

} // namespace

int main(int argc, char** argv)
{
    // Repetitions of ours and of the peer are shuffled together, so load that comes
    // and goes on the machine falls on both alike.
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    MedianCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    useCpuTime = true;
    printSummary(collector);
    useCpuTime = false;
    printSummary(collector);
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove(fs::temp_directory_path() / "talvo-bench-gbk.txt", ec);
    return 0;
}
