// The scrambled copy against a plain copy of the same 256 MiB file, through the same streams of
// the simulated device, whose file system lives in /dev/shm for the run: the scrambled copy must
// be bound by the copying, not by the mixing (at least 0.9 of the plain copy's throughput).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "sim.h"
#include "support/files.h"

namespace {

constexpr std::size_t kFileBytes = 256u << 20;
constexpr std::size_t kBlockBytes = 4096;
const WCHAR* const kSource = TEXT("\\source.bin");
const WCHAR* const kTarget = TEXT("\\target.bin");

void MakeSource() {
    const HANDLE file = CreateFileW(kSource, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot create the source file\n");
        std::exit(1);
    }
    std::vector<BYTE> chunk(1u << 20);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<BYTE>(i * 7 + i / 251);
    }
    for (std::size_t written = 0; written < kFileBytes; written += chunk.size()) {
        DWORD count = 0;
        WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &count, nullptr);
    }
    CloseHandle(file);
}

// What the scrambled copy is held against: the same streams, the same block, no mixing.
bool PlainCopy(const WCHAR* source, const WCHAR* target) {
    FILE* input = _wfopen(source, TEXT("rb"));
    FILE* output = _wfopen(target, TEXT("wb"));
    std::vector<char> block(kBlockBytes);
    std::size_t count = 0;
    while ((count = std::fread(block.data(), 1, block.size(), input)) > 0) {
        std::fwrite(block.data(), 1, count, output);
    }
    const bool copied = std::ferror(input) == 0 && std::ferror(output) == 0;
    std::fclose(input);
    return std::fclose(output) == 0 && copied;
}

void BM_PlainCopy(benchmark::State& state) {
    for (auto _ : state) {
        if (!PlainCopy(kSource, kTarget)) {
            state.SkipWithError("the plain copy failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void BM_ScrambleCopyFile(benchmark::State& state) {
    for (auto _ : state) {
        if (!ScrambleCopyFile(kSource, kTarget)) {
            state.SkipWithError("ScrambleCopyFile failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

// Nine runs each, interleaved at random (see main), so that a slow spell of the machine or of
// /dev/shm falls on both sides alike instead of on whichever ran second.
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_ScrambleCopyFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);

// Prints as usual and keeps the median throughput of each benchmark for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[run.run_name.function_name] = run.counters.at("bytes_per_second");
            }
        }
    }

    double Median(const std::string& name) const {
        const auto found = medians_.find(name);
        return found == medians_.end() ? 0 : found->second.value;
    }

  private:
    std::map<std::string, benchmark::Counter> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    // The device's file system is made in the host's temporary folder: memory, for this run.
    setenv("TMPDIR", "/dev/shm", 1);
    sim::Reset();
    MakeSource();
    std::printf("device file system: %s\n", sim::FileSystemRoot().c_str());

    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);  // a later argument may still say false
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double plain = reporter.Median("BM_PlainCopy");
    const double scrambled = reporter.Median("BM_ScrambleCopyFile");
    if (plain > 0 && scrambled > 0) {
        std::printf(
            "median throughput: plain copy %.0f MiB/s, ScrambleCopyFile %.0f MiB/s, "
            "ratio %.3f (goal: at least 0.9)\n",
            plain / (1 << 20), scrambled / (1 << 20), scrambled / plain);
    }
    benchmark::Shutdown();
    sim::Reset();  // removes the device's files from /dev/shm
    return 0;
}
