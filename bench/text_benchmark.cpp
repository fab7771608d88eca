// The URL escapers and the unescaper against libcurl's, on the same inputs in one run: 10,000
// short texts as callers pass them (URLs, paths and form values of 20 to 300 bytes, plain and in
// both escaped forms), and large ones (4 MiB, and 1 MiB for the strict escaper on random bytes,
// as libcurl refuses more than 8 MB). It also shows how every text function grows from 4 MiB to
// 16 MiB of input, beside how a plain copy of the input grows on the same machine (its caches and
// memory alone). Each benchmark runs five times, interleaved at random with the others; the
// median processor time counts, and after the figures each ratio is printed beside its goal.
// Memory comes from the default allocator, as callers have it.
#include <benchmark/benchmark.h>
#ifndef WRENFOLD_BENCH_WITHOUT_CURL
#include <curl/curl.h>
#endif

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
constexpr std::size_t kShortTexts = 10000;

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

// Writes the digits of about half the escapes in upper case, as other escapers write them.
std::string MixedCaseDigits(std::string text, std::mt19937& random) {
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == '%' && isHex(text[i + 1]) && isHex(text[i + 2]) && (random() & 1u) != 0) {
            for (std::size_t k = i + 1; k <= i + 2; ++k) {
                text[k] = text[k] >= 'a' ? static_cast<char>(text[k] - ('a' - 'A')) : text[k];
            }
        }
    }
    return text;
}

// The strict-escaped form of the mixed text, cut to `size` bytes, escapes in both cases.
std::string StrictEscapedText(std::size_t size) {
    std::mt19937 random(5);
    std::string text = MixedCaseDigits(UrlEscapeStrict(MixedText(size)), random);
    text.resize(size);
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
        } else if (name == "strict") {
            input = StrictEscapedText(size);
        } else if (name == "commas") {
            input = CommaEveryEighthByte(size);
        } else {
            input = NearMisses(size);
        }
    }
    return input;
}

// One short text: a URL, a path or a form value of 20 to 300 bytes, of words (some UTF-8, some
// with blanks, "<>", quotes or "100%") joined by URL delimiters.
std::string ShortText(std::mt19937& random) {
    static const char* const kStarts[] = {"https://korvessa.example/", "/", "q=", ""};
    static const char* const kWords[] = {
        "korvessa",
        "Setup",
        "theme",
        "Preview",
        "index.html",
        "2024",
        "7",
        "v1.2",
        "caf\xC3\xA9",
        "\xE2\x82\xAC"
        "5",
        "100%",
        "<b>bold</b>",
        "a b c",
        "\"quoted\"",
        "\xE6\x97\xA5\xE6\x9C\xAC",
        "x~y",
        "FILE_NAME",
        "{id}",
        "Z\xC3\xBCrich",
        "docs",
    };
    static const char* const kJoins[] = {"/", "/", "/", "?", "&", "=",
                                         "=", " ", "+", "-", ".", "#"};
    std::uniform_int_distribution<std::size_t> length(20, 300);
    std::uniform_int_distribution<std::size_t> start(0, std::size(kStarts) - 1);
    std::uniform_int_distribution<std::size_t> word(0, std::size(kWords) - 1);
    std::uniform_int_distribution<std::size_t> join(0, std::size(kJoins) - 1);
    const std::size_t size = length(random);
    std::string text = kStarts[start(random)];
    while (text.size() < size) {
        text += kWords[word(random)];
        text += kJoins[join(random)];
    }
    text.resize(size);
    return text;
}

// The short texts: "plain", and their "strict" (UrlEscapeStrict) and "escaped" (UrlEscape) forms
// with escapes in both letter cases.
const std::vector<std::string>& ShortInputs(const std::string& form) {
    static std::map<std::string, std::vector<std::string>> corpus;
    if (corpus.empty()) {
        std::mt19937 random(4);
        for (std::size_t i = 0; i < kShortTexts; ++i) {
            const std::string text = ShortText(random);
            corpus["plain"].push_back(text);
            corpus["strict"].push_back(MixedCaseDigits(UrlEscapeStrict(text), random));
            corpus["escaped"].push_back(MixedCaseDigits(UrlEscape(text), random));
        }
    }
    return corpus[form];
}

// Each operation on one text, with the result handed back as the caller gets it.
using Operation = void (*)(const std::string&);

void OurStrictEscape(const std::string& input) {
    benchmark::DoNotOptimize(UrlEscapeStrict(input));
}

void OurEscape(const std::string& input) {
    benchmark::DoNotOptimize(UrlEscape(input));
}

void OurUnescape(const std::string& input) {
    benchmark::DoNotOptimize(UrlUnescape(input));
}

// What the machine's memory alone costs: a copy of the input, as large as an unescaped result.
void PlainCopy(const std::string& input) {
    std::string copy(input);
    benchmark::DoNotOptimize(copy.data());
}

#ifndef WRENFOLD_BENCH_WITHOUT_CURL
CURL* Curl() {
    static CURL* const curl = curl_easy_init();
    return curl;
}

void TheirEscape(const std::string& input) {
    char* escaped = curl_easy_escape(Curl(), input.data(), static_cast<int>(input.size()));
    benchmark::DoNotOptimize(escaped);
    curl_free(escaped);
}

void TheirUnescape(const std::string& input) {
    int length = 0;
    char* plain = curl_easy_unescape(Curl(), input.data(), static_cast<int>(input.size()), &length);
    benchmark::DoNotOptimize(plain);
    curl_free(plain);
}
#else
// Without libcurl (the arm build) its rows are left out.
constexpr Operation TheirEscape = nullptr;
constexpr Operation TheirUnescape = nullptr;
#endif

void OnShortTexts(benchmark::State& state, Operation operation, const std::string& form) {
    const std::vector<std::string>& inputs = ShortInputs(form);
    std::int64_t bytes = 0;
    for (const std::string& input : inputs) {
        bytes += static_cast<std::int64_t>(input.size());
    }
    for (auto _ : state) {
        for (const std::string& input : inputs) {
            operation(input);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
    state.counters["ns_per_text"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(inputs.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The input's size in MiB is the benchmark's argument.
void OnLargeText(benchmark::State& state, Operation operation, const std::string& name) {
    const std::string& input = Input(name, static_cast<std::size_t>(state.range(0)) * kMiB);
    for (auto _ : state) {
        operation(input);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
}

void SplitStringOn(benchmark::State& state) {
    const std::string& input = Input("commas", static_cast<std::size_t>(state.range(0)) * kMiB);
    // Split once untimed: the list's memory is then in place, as for a caller who splits again.
    std::vector<std::string> pieces;
    SplitString(input, ",", pieces);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SplitString(input, ",", pieces));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
}

void ContainsNoCaseOn(benchmark::State& state) {
    const std::string& input = Input("near", static_cast<std::size_t>(state.range(0)) * kMiB);
    const std::string part = std::string(1000, 'A') + "b";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ContainsNoCase(input.c_str(), part.c_str()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
}

void Repeat(benchmark::internal::Benchmark* benchmark) {
    benchmark->Repetitions(5)->MinTime(0.1)->ReportAggregatesOnly(true)->Unit(
        benchmark::kMicrosecond);
}

void Register() {
    const struct {
        const char* name;
        Operation operation;
        const char* form;
    } shorts[] = {
        {"UrlEscapeStrict/short", OurStrictEscape, "plain"},
        {"UrlEscape/short", OurEscape, "plain"},
        {"curl_easy_escape/short", TheirEscape, "plain"},
        {"UrlUnescape/short_strict", OurUnescape, "strict"},
        {"curl_easy_unescape/short_strict", TheirUnescape, "strict"},
        {"UrlUnescape/short_escaped", OurUnescape, "escaped"},
        {"curl_easy_unescape/short_escaped", TheirUnescape, "escaped"},
    };
    for (const auto& s : shorts) {
        if (s.operation == nullptr) {
            continue;
        }
        benchmark::RegisterBenchmark(s.name, OnShortTexts, s.operation, std::string(s.form))
            ->Apply(Repeat);
    }
    // Sizes in MiB; the 16 MiB runs show the growth. The escapers' growth is shown on the mixed
    // text, whose escaped form stays below the size the default allocator maps afresh each time.
    const struct {
        const char* name;
        Operation operation;
        const char* input;
        std::vector<std::int64_t> sizes;
    } larges[] = {
        {"UrlUnescape/mixed", OurUnescape, "mixed", {4, 16}},
        {"curl_easy_unescape/mixed", TheirUnescape, "mixed", {4}},
        {"UrlUnescape/strict", OurUnescape, "strict", {4, 16}},
        {"curl_easy_unescape/strict", TheirUnescape, "strict", {4}},
        {"UrlEscapeStrict/random", OurStrictEscape, "random", {1}},
        {"curl_easy_escape/random", TheirEscape, "random", {1}},
        {"UrlEscapeStrict/mixed", OurStrictEscape, "mixed", {4, 16}},
        {"UrlEscape/mixed", OurEscape, "mixed", {4, 16}},
        {"copy/mixed", PlainCopy, "mixed", {4, 16}},
    };
    for (const auto& l : larges) {
        if (l.operation == nullptr) {
            continue;
        }
        auto* benchmark =
            benchmark::RegisterBenchmark(l.name, OnLargeText, l.operation, std::string(l.input));
        for (const std::int64_t size : l.sizes) {
            benchmark->Arg(size);
        }
        benchmark->Apply(Repeat);
    }
    benchmark::RegisterBenchmark("SplitString/commas", SplitStringOn)
        ->Arg(4)
        ->Arg(16)
        ->Apply(Repeat);
    benchmark::RegisterBenchmark("ContainsNoCase/near", ContainsNoCaseOn)
        ->Arg(4)
        ->Arg(16)
        ->Apply(Repeat);
}

// Keeps the median processor time per iteration of each benchmark, for the ratios printed at the
// end. Processor time, since the machine may be shared: waiting for it is no work done.
class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
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

// Prints "ratio" lines in one fixed form, so that the figures of several runs can be gathered.
bool Check(const std::string& what, double value, bool atLeast, double goal) {
    const bool met = atLeast ? value >= goal : value <= goal;
    std::printf("ratio %-52s %7.2f  (goal %s %.1f)%s\n", what.c_str(), value,
                atLeast ? ">=" : "<=", goal, met ? "" : "  MISSED");
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
    // {ours, libcurl's, goal}: how many times libcurl's time ours is at least.
    const struct {
        const char* ours;
        const char* theirs;
        double goal;
    } speeds[] = {
        {"UrlEscapeStrict/short", "curl_easy_escape/short", 6.0},
        {"UrlEscape/short", "curl_easy_escape/short", 6.0},
        {"UrlUnescape/short_strict", "curl_easy_unescape/short_strict", 1.5},
        {"UrlUnescape/short_escaped", "curl_easy_unescape/short_escaped", 1.5},
        {"UrlUnescape/mixed/4", "curl_easy_unescape/mixed/4", 4.0},
        {"UrlUnescape/strict/4", "curl_easy_unescape/strict/4", 2.5},
        {"UrlEscapeStrict/random/1", "curl_easy_escape/random/1", 5.0},
    };
    for (const auto& s : speeds) {
        const double ours = collector.Time(s.ours);
        const double theirs = collector.Time(s.theirs);
        if (ours > 0 && theirs > 0) {
            met &= Check(std::string(s.ours) + " vs libcurl (x)", theirs / ours, true, s.goal);
        }
    }
    const char* const growths[] = {
        "UrlUnescape/mixed", "UrlUnescape/strict", "UrlEscapeStrict/mixed",
        "UrlEscape/mixed",   "SplitString/commas", "ContainsNoCase/near",
    };
    for (const char* growth : growths) {
        const double small = collector.Time(std::string(growth) + "/4");
        const double large = collector.Time(std::string(growth) + "/16");
        if (small > 0 && large > 0) {
            met &= Check(std::string(growth) + " 4 to 16 MiB, time grows (x)", large / small, false,
                         4.4);
        }
    }
    // No goal: how the machine's caches and memory alone make a copy of the input grow.
    const double copySmall = collector.Time("copy/mixed/4");
    const double copyLarge = collector.Time("copy/mixed/16");
    if (copySmall > 0 && copyLarge > 0) {
        std::printf("for reference: a plain copy of the input, 4 to 16 MiB, grows %.2fx\n",
                    copyLarge / copySmall);
    }
    std::printf(met ? "every goal met\n" : "some goal MISSED\n");
    benchmark::Shutdown();
    return 0;
}
