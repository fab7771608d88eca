// The text helpers against plain byte loops written here for the same jobs, and on x86 the URL
// helpers against libcurl's, on the same inputs in one run: 10,000 short texts as callers pass
// them (URLs, paths and form values of 20 to 300 bytes, plain and in both escaped forms), texts of
// 4 and 16 MiB (ordinary text mixing words, delimiters, escapes and UTF-8; its strict-escaped
// form; a comma-separated list), and a text of 64 KiB on which the plain search takes quadratic
// time. The results are checked against the loops' before anything is timed. Each benchmark runs
// five times, interleaved at random with the others; the median processor time counts, and after
// the figures each ratio is printed beside its goal. On the device's processor family (the arm
// build, run under qemu-arm as an XScale) the time is a proxy for the instructions run, so the
// ratios, not the times, are the figures. Memory comes from the default allocator, as callers
// have it.
#include <benchmark/benchmark.h>
#ifndef WRENFOLD_BENCH_WITHOUT_CURL
#include <curl/curl.h>
#endif

#include <array>
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

#if defined(__arm__)
// The goals hold on the device's processor; elsewhere the same ratios are shown without them.
constexpr bool kDeviceProcessor = true;
#else
constexpr bool kDeviceProcessor = false;
#endif

// ---- Inputs -----------------------------------------------------------------------------------

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

// "mixed", "strict" or "commas", of `size` bytes.
const std::string& Input(const std::string& name, std::size_t size) {
    static std::map<std::pair<std::string, std::size_t>, std::string> inputs;
    std::string& input = inputs[{name, size}];
    if (input.empty()) {
        input = name == "mixed"    ? MixedText(size)
                : name == "strict" ? StrictEscapedText(size)
                                   : CommaEveryEighthByte(size);
    }
    return input;
}

// What ContainsNoCase looks for in the mixed text: words that occur there often, joined by a byte
// that never does, so the whole text is searched.
const char* const kAbsentPart = "Korvessa\\Preview";

// The plain search's worst case: a part that matches everywhere until its last byte.
const std::string& NearMissText() {
    static const std::string text(64 * 1024, 'a');
    return text;
}

const std::string& NearMissPart() {
    static const std::string part = std::string(255, 'A') + "b";
    return part;
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

// ---- The plain byte loops ---------------------------------------------------------------------
// The obvious code for each job, table-driven as ours, compiled the same way: what the helpers
// must at least match on the device's processor.

struct LoopTables {
    std::array<bool, 256> url;     // kept by UrlEscape
    std::array<bool, 256> strict;  // kept by UrlEscapeStrict
    std::array<int, 256> hex;      // a digit's value, or -1
    std::array<char, 256> upper;   // ASCII letters in upper case
};

LoopTables MakeLoopTables() {
    LoopTables tables{};
    for (int byte = 0; byte < 256; ++byte) {
        const auto at = static_cast<std::size_t>(byte);
        tables.url[at] = byte >= 32 && byte < 128 && UrlSafeTable[byte - 32] != 0;
        tables.strict[at] = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                            (byte >= 'a' && byte <= 'z');
        tables.hex[at] = byte >= '0' && byte <= '9'   ? byte - '0'
                         : byte >= 'A' && byte <= 'F' ? byte - 'A' + 10
                         : byte >= 'a' && byte <= 'f' ? byte - 'a' + 10
                                                      : -1;
        tables.upper[at] = static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 32 : byte);
    }
    return tables;
}

const LoopTables& Tables() {
    static const LoopTables tables = MakeLoopTables();
    return tables;
}

std::string LoopEscape(const std::string& input, const std::array<bool, 256>& keep) {
    static const char kDigits[] = "0123456789abcdef";
    std::string result;
    result.reserve(input.size());
    for (const char c : input) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep[byte]) {
            result += c;
        } else {
            result += '%';
            result += kDigits[byte >> 4];
            result += kDigits[byte & 0xF];
        }
    }
    return result;
}

std::string LoopUnescape(const std::string& input) {
    const std::array<int, 256>& hex = Tables().hex;
    std::string result;
    result.reserve(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '%' && i + 2 < input.size()) {
            const int high = hex[static_cast<unsigned char>(input[i + 1])];
            const int low = hex[static_cast<unsigned char>(input[i + 2])];
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        result += input[i];
    }
    return result;
}

int LoopSplit(const std::string& text, const std::string& separator,
              std::vector<std::string>& pieces) {
    pieces.clear();
    if (separator.empty()) {
        return 0;
    }
    std::size_t start = 0;
    for (std::size_t at = 0; at + separator.size() <= text.size();) {
        std::size_t i = 0;
        while (i < separator.size() && text[at + i] == separator[i]) {
            ++i;
        }
        if (i == separator.size()) {
            pieces.emplace_back(text, start, at - start);
            at += separator.size();
            start = at;
        } else {
            ++at;
        }
    }
    pieces.emplace_back(text, start);
    return static_cast<int>(pieces.size());
}

BOOL LoopContainsNoCase(const char* text, const char* part) {
    const std::array<char, 256>& upper = Tables().upper;
    if (*part == 0) {
        return FALSE;
    }
    for (; *text != 0; ++text) {
        std::size_t i = 0;
        while (part[i] != 0 && upper[static_cast<unsigned char>(text[i])] ==
                                   upper[static_cast<unsigned char>(part[i])]) {
            ++i;
        }
        if (part[i] == 0) {
            return TRUE;
        }
    }
    return FALSE;
}

// ---- The jobs timed ---------------------------------------------------------------------------

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

void OurContainsNoCase(const std::string& input) {
    benchmark::DoNotOptimize(ContainsNoCase(input.c_str(), kAbsentPart));
}

void LoopStrictEscapeOn(const std::string& input) {
    benchmark::DoNotOptimize(LoopEscape(input, Tables().strict));
}

void LoopEscapeOn(const std::string& input) {
    benchmark::DoNotOptimize(LoopEscape(input, Tables().url));
}

void LoopUnescapeOn(const std::string& input) {
    benchmark::DoNotOptimize(LoopUnescape(input));
}

void LoopContainsNoCaseOn(const std::string& input) {
    benchmark::DoNotOptimize(LoopContainsNoCase(input.c_str(), kAbsentPart));
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

using Splitter = int (*)(const std::string&, const std::string&, std::vector<std::string>&);

void SplitOn(benchmark::State& state, Splitter split) {
    const std::string& input = Input("commas", static_cast<std::size_t>(state.range(0)) * kMiB);
    // Split once untimed: the list's memory is then in place, as for a caller who splits again.
    std::vector<std::string> pieces;
    split(input, ",", pieces);
    for (auto _ : state) {
        benchmark::DoNotOptimize(split(input, ",", pieces));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.size()));
}

using Search = BOOL (*)(const char*, const char*);

void SearchNearMisses(benchmark::State& state, Search search) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(search(NearMissText().c_str(), NearMissPart().c_str()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(NearMissText().size()));
}

void Repeat(benchmark::internal::Benchmark* benchmark) {
    benchmark->Repetitions(5)->MinTime(0.1)->ReportAggregatesOnly(true)->Unit(
        benchmark::kMicrosecond);
}

// The name under which a byte loop is timed beside ours.
std::string LoopName(const std::string& name) {
    return "loop:" + name;
}

const struct {
    const char* name;
    Operation ours;
    Operation loop;
    const char* form;
} kShorts[] = {
    {"UrlEscapeStrict/short", OurStrictEscape, LoopStrictEscapeOn, "plain"},
    {"UrlEscape/short", OurEscape, LoopEscapeOn, "plain"},
    {"UrlUnescape/short_strict", OurUnescape, LoopUnescapeOn, "strict"},
    {"UrlUnescape/short_escaped", OurUnescape, LoopUnescapeOn, "escaped"},
};

// Sizes in MiB: 4, and 16 for the growth.
const struct {
    const char* name;
    Operation ours;
    Operation loop;
    const char* input;
} kLarges[] = {
    {"UrlUnescape/mixed", OurUnescape, LoopUnescapeOn, "mixed"},
    {"UrlUnescape/strict", OurUnescape, LoopUnescapeOn, "strict"},
    {"UrlEscapeStrict/mixed", OurStrictEscape, LoopStrictEscapeOn, "mixed"},
    {"UrlEscape/mixed", OurEscape, LoopEscapeOn, "mixed"},
    {"ContainsNoCase/mixed", OurContainsNoCase, LoopContainsNoCaseOn, "mixed"},
};

// Every result as the loop's, before anything is timed: a faster wrong answer proves nothing.
bool SameResults() {
    bool same = true;
    const auto check = [&same](const char* what, bool equal) {
        if (!equal) {
            std::printf("different results: %s\n", what);
            same = false;
        }
    };
    for (std::size_t i = 0; i < kShortTexts; ++i) {
        const std::string& plain = ShortInputs("plain")[i];
        const std::string& strict = ShortInputs("strict")[i];
        const std::string& escaped = ShortInputs("escaped")[i];
        check("UrlEscapeStrict/short",
              UrlEscapeStrict(plain) == LoopEscape(plain, Tables().strict));
        check("UrlEscape/short", UrlEscape(plain) == LoopEscape(plain, Tables().url));
        check("UrlUnescape/short_strict", UrlUnescape(strict) == LoopUnescape(strict));
        check("UrlUnescape/short_escaped", UrlUnescape(escaped) == LoopUnescape(escaped));
    }
    const std::string& mixed = Input("mixed", 4 * kMiB);
    const std::string& strict = Input("strict", 4 * kMiB);
    check("UrlUnescape/mixed", UrlUnescape(mixed) == LoopUnescape(mixed));
    check("UrlUnescape/strict", UrlUnescape(strict) == LoopUnescape(strict));
    check("UrlEscapeStrict/mixed", UrlEscapeStrict(mixed) == LoopEscape(mixed, Tables().strict));
    check("UrlEscape/mixed", UrlEscape(mixed) == LoopEscape(mixed, Tables().url));
    check("ContainsNoCase/mixed", ContainsNoCase(mixed.c_str(), kAbsentPart) ==
                                      LoopContainsNoCase(mixed.c_str(), kAbsentPart));
    check("ContainsNoCase/near",
          ContainsNoCase(NearMissText().c_str(), NearMissPart().c_str()) ==
              LoopContainsNoCase(NearMissText().c_str(), NearMissPart().c_str()));
    std::vector<std::string> ours;
    std::vector<std::string> loop;
    const std::string& commas = Input("commas", 4 * kMiB);
    check("SplitString/commas",
          SplitString(commas, ",", ours) == LoopSplit(commas, ",", loop) && ours == loop);
    return same;
}

void Register() {
    for (const auto& s : kShorts) {
        benchmark::RegisterBenchmark(s.name, OnShortTexts, s.ours, std::string(s.form))
            ->Apply(Repeat);
        benchmark::RegisterBenchmark(LoopName(s.name).c_str(), OnShortTexts, s.loop,
                                     std::string(s.form))
            ->Apply(Repeat);
    }
    for (const auto& l : kLarges) {
        for (const bool ours : {true, false}) {
            const std::string name = ours ? std::string(l.name) : LoopName(l.name);
            benchmark::RegisterBenchmark(name.c_str(), OnLargeText, ours ? l.ours : l.loop,
                                         std::string(l.input))
                ->Arg(4)
                ->Arg(16)
                ->Apply(Repeat);
        }
    }
    benchmark::RegisterBenchmark("SplitString/commas", SplitOn, SplitString)
        ->Arg(4)
        ->Arg(16)
        ->Apply(Repeat);
    benchmark::RegisterBenchmark(LoopName("SplitString/commas").c_str(), SplitOn, LoopSplit)
        ->Arg(4)
        ->Arg(16)
        ->Apply(Repeat);
    benchmark::RegisterBenchmark("ContainsNoCase/near", SearchNearMisses, ContainsNoCase)
        ->Apply(Repeat);
    benchmark::RegisterBenchmark(LoopName("ContainsNoCase/near").c_str(), SearchNearMisses,
                                 LoopContainsNoCase)
        ->Apply(Repeat);
    benchmark::RegisterBenchmark("copy/mixed", OnLargeText, PlainCopy, std::string("mixed"))
        ->Arg(4)
        ->Arg(16)
        ->Apply(Repeat);
#ifndef WRENFOLD_BENCH_WITHOUT_CURL
    const struct {
        const char* name;
        Operation operation;
        const char* form;
    } theirs[] = {
        {"curl_easy_escape/short", TheirEscape, "plain"},
        {"curl_easy_unescape/short_strict", TheirUnescape, "strict"},
        {"curl_easy_unescape/short_escaped", TheirUnescape, "escaped"},
    };
    for (const auto& t : theirs) {
        benchmark::RegisterBenchmark(t.name, OnShortTexts, t.operation, std::string(t.form))
            ->Apply(Repeat);
    }
#endif
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

// Prints "ratio" lines in one fixed form, so that the figures of several runs can be gathered. A
// ratio without a goal on this processor is shown, and counts for nothing.
bool Check(const std::string& what, double value, bool atLeast, double goal, bool applies) {
    const bool met = atLeast ? value >= goal : value <= goal;
    std::printf("ratio %-58s %7.2f  (goal %s %.1f%s)%s\n", what.c_str(), value,
                atLeast ? ">=" : "<=", goal, applies ? "" : " on the device's processor",
                applies && !met ? "  MISSED" : "");
    return met || !applies;
}

}  // namespace

int main(int argc, char** argv) {
    // Interleaving unless the command line says otherwise (a later flag wins).
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (!SameResults()) {
        return 1;
    }
    Register();
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\n");
    bool met = true;
    const auto ratio = [&collector](const std::string& slower, const std::string& faster) {
        const double time = collector.Time(faster);
        return time > 0 ? collector.Time(slower) / time : 0.0;
    };
    // How many times the byte loop's time ours is: at least 1, on every job.
    std::vector<std::string> jobs;
    for (const auto& s : kShorts) {
        jobs.emplace_back(s.name);
    }
    for (const auto& l : kLarges) {
        jobs.push_back(std::string(l.name) + "/4");
    }
    jobs.emplace_back("SplitString/commas/4");
    jobs.emplace_back("ContainsNoCase/near");
    for (const std::string& job : jobs) {
        const double value = ratio(LoopName(job), job);
        if (value > 0) {
            met &= Check(job + " vs byte loop (x)", value, true, 1.0, kDeviceProcessor);
        }
    }
    for (const auto& grown : {"UrlUnescape/mixed", "UrlUnescape/strict", "UrlEscapeStrict/mixed",
                              "UrlEscape/mixed", "SplitString/commas", "ContainsNoCase/mixed"}) {
        const double value = ratio(std::string(grown) + "/16", std::string(grown) + "/4");
        if (value > 0) {
            met &= Check(std::string(grown) + " 4 to 16 MiB, time grows (x)", value, false, 4.4,
                         kDeviceProcessor);
        }
    }
    // How many times libcurl's time ours is, on x86.
    const struct {
        const char* ours;
        const char* theirs;
        double goal;
    } speeds[] = {
        {"UrlEscapeStrict/short", "curl_easy_escape/short", 6.0},
        {"UrlEscape/short", "curl_easy_escape/short", 6.0},
        {"UrlUnescape/short_strict", "curl_easy_unescape/short_strict", 1.5},
        {"UrlUnescape/short_escaped", "curl_easy_unescape/short_escaped", 1.5},
    };
    for (const auto& s : speeds) {
        const double value = ratio(s.theirs, s.ours);
        if (value > 0) {
            met &= Check(std::string(s.ours) + " vs libcurl (x)", value, true, s.goal, true);
        }
    }
    // No goal: how the machine's caches and memory alone make a copy of the input grow.
    const double copyGrowth = ratio("copy/mixed/16", "copy/mixed/4");
    if (copyGrowth > 0) {
        std::printf("for reference: a plain copy of the input, 4 to 16 MiB, grows %.2fx\n",
                    copyGrowth);
    }
    std::printf(met ? "every goal met\n" : "some goal MISSED\n");
    benchmark::Shutdown();
    return 0;
}
