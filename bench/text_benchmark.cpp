// The URL escaper and unescaper against libcurl's, on the same inputs in one run, and how the
// unescaper, the splitter and the case-blind search grow from 4 MiB to 16 MiB of input. After the
// figures (the fastest of five runs, processor time) it prints each ratio beside its goal: at least
// twice libcurl's throughput, and growth of at most 4.4 times for four times the input.
// scripts/bench.sh runs it with malloc's large blocks on huge pages; without them, on a virtual
// machine, the first touch of each page of a 40 MB escaped result can outweigh the escaping.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/text.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// Text as URLs and form fields carry it: words, digits, delimiters, a few escapes and some UTF-8.
std::string MixedText(std::size_t size) {
    static const char* const kPieces[] = {
        "korvessa", "Setup",
        "theme",    "Preview",
        "2024",     "7",
        " ",        " ",
        "/",        "?",
        "&",        "=",
        "#",        "-",
        "_",        ".",
        "~",        "%20",
        "%2F",      "100%",
        "\xC3\xA9", "\xE2\x82\xAC",
        "<b>",      "\"q\"",
        "a+b",      "\t",
    };
    std::mt19937 random(1);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        text += kPieces[pick(random)];
    }
    text.resize(size);
    return text;
}

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(2);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFFu);
    }
    return bytes;
}

// "%" and two hexadecimal digits of either case, over and over.
std::string AllEscapes(std::size_t size) {
    static const char kDigits[] = "0123456789abcdefABCDEF";
    std::mt19937 random(3);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kDigits - 2);
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = i % 3 == 0 ? '%' : kDigits[pick(random)];
    }
    return text;
}

// Seven bytes and a comma, over and over.
std::string CommaEveryEighthByte(std::size_t size) {
    std::string text(size, 'x');
    for (std::size_t i = 7; i < size; i += 8) {
        text[i] = ',';
    }
    return text;
}

// The worst case for a naive search: the part nearly matches at every position.
std::string NearMisses(std::size_t size) {
    return std::string(size, 'a');
}

const std::string& Input(const std::string& name, std::size_t size) {
    static std::map<std::pair<std::string, std::size_t>, std::string> inputs;
    std::string& input = inputs[{name, size}];
    if (input.empty()) {
        if (name == "mixed") {
            input = MixedText(size);
        } else if (name == "random") {
            input = RandomBytes(size);
        } else if (name == "escapes") {
            input = AllEscapes(size);
        } else if (name == "commas") {
            input = CommaEveryEighthByte(size);
        } else {
            input = NearMisses(size);
        }
    }
    return input;
}

CURL* Curl() {
    static CURL* const curl = curl_easy_init();
    return curl;
}

void Throughput(benchmark::State& state, const std::string& input) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
}

void UrlEscapeStrictOn(benchmark::State& state, const std::string& name) {
    const std::string& input = Input(name, 16 * kMiB);
    for (auto _ : state) {
        benchmark::DoNotOptimize(UrlEscapeStrict(input));
    }
    Throughput(state, input);
}

void CurlEscapeOn(benchmark::State& state, const std::string& name) {
    const std::string& input = Input(name, 16 * kMiB);
    for (auto _ : state) {
        char* escaped = curl_easy_escape(Curl(), input.data(), static_cast<int>(input.size()));
        benchmark::DoNotOptimize(escaped);
        curl_free(escaped);
    }
    Throughput(state, input);
}

void UrlUnescapeOn(benchmark::State& state, const std::string& name) {
    const std::string& input = Input(name, static_cast<std::size_t>(state.range(0)) * kMiB);
    for (auto _ : state) {
        benchmark::DoNotOptimize(UrlUnescape(input));
    }
    Throughput(state, input);
}

void CurlUnescapeOn(benchmark::State& state, const std::string& name) {
    const std::string& input = Input(name, 16 * kMiB);
    for (auto _ : state) {
        int length = 0;
        char* plain =
            curl_easy_unescape(Curl(), input.data(), static_cast<int>(input.size()), &length);
        benchmark::DoNotOptimize(plain);
        curl_free(plain);
    }
    Throughput(state, input);
}

void SplitStringOn(benchmark::State& state) {
    const std::string& input = Input("commas", static_cast<std::size_t>(state.range(0)) * kMiB);
    // Split once untimed: the list's memory is then in place, as for a caller who splits again.
    std::vector<std::string> pieces;
    SplitString(input, ",", pieces);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SplitString(input, ",", pieces));
    }
    Throughput(state, input);
}

void ContainsNoCaseOn(benchmark::State& state) {
    const std::string& input = Input("near", static_cast<std::size_t>(state.range(0)) * kMiB);
    const std::string part = std::string(1000, 'A') + "b";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ContainsNoCase(input.c_str(), part.c_str()));
    }
    Throughput(state, input);
}

double Least(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// Each benchmark runs five times, interleaved at random with the others (see main), and the
// fastest run counts: on a shared machine the other loads only ever add time.
void Repeat(benchmark::internal::Benchmark* benchmark) {
    benchmark->Repetitions(5)
        ->MinTime(0.2)
        ->ComputeStatistics("min", Least)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
}

void Register() {
    for (const char* input : {"mixed", "random", "escapes"}) {
        const std::string name = input;
        benchmark::RegisterBenchmark(("UrlEscapeStrict/" + name).c_str(), UrlEscapeStrictOn, name)
            ->Apply(Repeat);
        benchmark::RegisterBenchmark(("curl_easy_escape/" + name).c_str(), CurlEscapeOn, name)
            ->Apply(Repeat);
        benchmark::RegisterBenchmark(("UrlUnescape/" + name).c_str(), UrlUnescapeOn, name)
            ->Arg(16)
            ->Apply(Repeat);
        benchmark::RegisterBenchmark(("curl_easy_unescape/" + name).c_str(), CurlUnescapeOn, name)
            ->Apply(Repeat);
    }
    benchmark::RegisterBenchmark("UrlUnescape/escapes", UrlUnescapeOn, std::string("escapes"))
        ->Arg(4)
        ->Apply(Repeat);
    benchmark::RegisterBenchmark("SplitString/commas", SplitStringOn)
        ->Arg(4)
        ->Arg(16)
        ->Apply(Repeat);
    benchmark::RegisterBenchmark("ContainsNoCase/near", ContainsNoCaseOn)
        ->Arg(4)
        ->Arg(16)
        ->Apply(Repeat);
}

// Keeps the least processor time per iteration of each benchmark, for the ratios printed at the
// end. Processor time, since the machine may be shared: waiting for it is no work done.
class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min") {
                const std::string& args = run.run_name.args;
                seconds_[run.run_name.function_name + (args.empty() ? "" : "/" + args)] =
                    run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double Time(const std::string& name) const {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? 0.0 : found->second;
    }

  private:
    std::map<std::string, double> seconds_;
};

bool Check(const char* what, double value, bool met, const char* goal) {
    std::printf("%-58s %7.2f  (goal %s)%s\n", what, value, goal, met ? "" : "  MISSED");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    // Interleaving unless the command line says otherwise (a later flag wins).
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    Register();
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\n");
    bool met = true;
    for (const char* input : {"mixed", "random", "escapes"}) {
        const std::string name = input;
        const double ours = collector.Time("UrlEscapeStrict/" + name);
        const double theirs = collector.Time("curl_easy_escape/" + name);
        if (ours > 0 && theirs > 0) {
            const double ratio = theirs / ours;
            met &= Check(("UrlEscapeStrict vs curl_easy_escape, " + name + " (x)").c_str(), ratio,
                         ratio >= 2.0, ">= 2");
        }
        const double decode = collector.Time("UrlUnescape/" + name + "/16");
        const double curlDecode = collector.Time("curl_easy_unescape/" + name);
        if (decode > 0 && curlDecode > 0) {
            const double ratio = curlDecode / decode;
            met &= Check(("UrlUnescape vs curl_easy_unescape, " + name + " (x)").c_str(), ratio,
                         ratio >= 2.0, ">= 2");
        }
    }
    const char* const growths[][2] = {
        {"UrlUnescape/escapes/4", "UrlUnescape/escapes/16"},
        {"SplitString/commas/4", "SplitString/commas/16"},
        {"ContainsNoCase/near/4", "ContainsNoCase/near/16"},
    };
    for (const auto& growth : growths) {
        const double small = collector.Time(growth[0]);
        const double large = collector.Time(growth[1]);
        if (small > 0 && large > 0) {
            met &= Check((std::string(growth[0]) + " to 16 MiB, time grows (x)").c_str(),
                         large / small, large / small <= 4.4, "<= 4.4");
        }
    }
    std::printf(met ? "every goal met\n" : "some goal MISSED\n");
    benchmark::Shutdown();
    return 0;
}
