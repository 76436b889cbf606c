// Times the module beside its peer and its floor, in one run, and prints
// the ratios: per-key synthesis on every path the processor runs, and whole
// calls of 1, 16, 99 and 10,000 keys beside SpanDSP's dtmf_tx, a plain scalar
// writer and the finished bytes written from memory.
#include "BenchWriters.h"
#include "DTMFTone.h"
#include "DTMFWave.h"
#include "WaveHeader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kSixteenKeys[] = "123A456B789C*0#D";
constexpr int kKeyCounts[] = {1, 16, 99, 10000};

std::string keysOfLength(int count)
{
    std::string keys;
    for (int i = 0; i < count; ++i) {
        keys += kSixteenKeys[i % 16];
    }
    return keys;
}

std::u16string widened(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// Memory-backed where it exists, so the figures time the writers rather
// than a disk.
std::string outputPath(const std::string& writer)
{
    const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm")
        ? std::filesystem::path("/dev/shm")
        : std::filesystem::temp_directory_path();
    return (folder / ("vuz-bench-" + std::to_string(getpid()) + "-" + writer + ".wav")).string();
}

std::vector<uint8_t> fileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

bool moduleWaveWrite(const std::string& path, const std::string& keys)
{
    return DTMFWaveCreate(widened(keys).c_str(), widened(path).c_str()) == DTMFWAVE_RESULT;
}

bool sampleIsSilence(uint8_t sample)
{
    return sample == kSilenceLevel;
}

// The figures mean something only if every writer writes the file it
// claims: the module, the scalar writer and the floor the same bytes, and
// SpanDSP a file of the same size, header and silences.
bool writersAgree(const std::string& keys)
{
    const std::string modulePath = outputPath("check-module");
    const std::string scalarPath = outputPath("check-scalar");
    const std::string floorPath = outputPath("check-floor");
    const std::string peerPath = outputPath("check-spandsp");
    const std::vector<uint8_t> image = scalarWaveImage(keys);
    const bool written = moduleWaveWrite(modulePath, keys) && scalarWaveWrite(scalarPath, keys)
        && imageWaveWrite(floorPath, image) && spandspWaveWrite(peerPath, keys);
    const std::vector<uint8_t> module = fileBytes(modulePath);
    const std::vector<uint8_t> peer = fileBytes(peerPath);
    bool agree = written && module == image && fileBytes(scalarPath) == image && fileBytes(floorPath) == image
        && peer.size() == image.size() && std::equal(peer.begin(), peer.begin() + kWaveHeaderBytes, image.begin());
    for (std::size_t slot = kWaveHeaderBytes; agree && slot < peer.size(); slot += kSlotBytes) {
        const auto tone = peer.begin() + static_cast<std::ptrdiff_t>(slot);
        agree = !std::all_of(tone, tone + kToneSamples, sampleIsSilence)
            && std::all_of(tone + kToneSamples, tone + kSlotBytes, sampleIsSilence);
    }
    for (const std::string& path : {modulePath, scalarPath, floorPath, peerPath}) {
        std::remove(path.c_str());
    }
    return agree;
}

void synthesisRun(benchmark::State& state, const DTMFSynthesisPath* path)
{
    int key = 0;
    for (auto _ : state) {
        DTMFTonePathGenerate(*path, kSixteenKeys[key], kToneDurationMs);
        benchmark::DoNotOptimize(g_sampleBuffer);
        key = (key + 1) % 16;
    }
}

// The host's side of a call: UTF-16 strings made once, then the call alone.
void moduleRun(benchmark::State& state, int keyCount)
{
    const std::u16string path = widened(outputPath("module"));
    const std::u16string keys = widened(keysOfLength(keyCount));
    for (auto _ : state) {
        DTMFWaveCreate(keys.c_str(), path.c_str());
    }
    std::remove(outputPath("module").c_str());
}

// The same call over a file with a second link, which the module writes in
// place: beside moduleRun it prices the temporary file and the rename.
void moduleInPlaceRun(benchmark::State& state, int keyCount)
{
    const std::string path = outputPath("in-place");
    const std::string secondLink = path + ".link";
    const std::u16string widePath = widened(path);
    const std::u16string keys = widened(keysOfLength(keyCount));
    DTMFWaveCreate(keys.c_str(), widePath.c_str());
    if (link(path.c_str(), secondLink.c_str()) != 0) {
        state.SkipWithError("cannot link the target");
    }
    for (auto _ : state) {
        DTMFWaveCreate(keys.c_str(), widePath.c_str());
    }
    std::remove(secondLink.c_str());
    std::remove(path.c_str());
}

template <typename Writer>
void writerRun(benchmark::State& state, const std::string& name, int keyCount, Writer writer)
{
    const std::string path = outputPath(name);
    const std::string keys = keysOfLength(keyCount);
    for (auto _ : state) {
        if (!writer(path, keys)) {
            state.SkipWithError("write failed");
            break;
        }
    }
    std::remove(path.c_str());
}

void benchmarksRegister()
{
    for (int32_t i = 0; i < g_synthesisPathCount; ++i) {
        const DTMFSynthesisPath* path = &g_synthesisPaths[i];
        if (path->supported()) {
            benchmark::RegisterBenchmark((std::string("synthesis/") + path->name).c_str(), synthesisRun, path);
        }
    }
    for (const int count : kKeyCounts) {
        const std::string suffix = "/" + std::to_string(count);
        const std::vector<uint8_t> image = scalarWaveImage(keysOfLength(count));
        benchmark::RegisterBenchmark(("module" + suffix).c_str(), moduleRun, count);
        benchmark::RegisterBenchmark(("module-in-place" + suffix).c_str(), moduleInPlaceRun, count);
        benchmark::RegisterBenchmark(("spandsp" + suffix).c_str(), [=](benchmark::State& state) {
            writerRun(state, "spandsp", count, spandspWaveWrite);
        });
        benchmark::RegisterBenchmark(("scalar" + suffix).c_str(), [=](benchmark::State& state) {
            writerRun(state, "scalar", count, scalarWaveWrite);
        });
        benchmark::RegisterBenchmark(("floor" + suffix).c_str(), [=](benchmark::State& state) {
            writerRun(state, "floor", count,
                      [&image](const std::string& path, const std::string&) { return imageWaveWrite(path, image); });
        });
    }
}

// Prints as usual and keeps every repetition's wall time per benchmark, so
// the ratios come from medians of the same interleaved run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::vector<double>> microseconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const double perIteration = run.real_accumulated_time / static_cast<double>(run.iterations);
                microseconds[run.run_name.function_name].push_back(perIteration * 1e6);
            }
        }
    }

    double median(const std::string& name) const
    {
        const auto found = microseconds.find(name);
        if (found == microseconds.end()) {
            return 0.0;
        }
        std::vector<double> times = found->second;
        std::sort(times.begin(), times.end());
        const std::size_t middle = times.size() / 2;
        return times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    }
};

// The model name, and the family and model numbers that identify the
// microarchitecture when a virtual machine shortens the name.
std::string cpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::map<std::string, std::string> fields;
    std::string line;
    while (std::getline(cpuinfo, line) && !line.empty()) {
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && colon + 2 <= line.size()) {
            const std::string name = line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1);
            fields[name] = line.substr(std::min(colon + 2, line.size()));
        }
    }
    if (fields.count("model name") == 0) {
        return "unknown";
    }
    return fields["model name"] + " (family " + fields["cpu family"] + ", model " + fields["model"] + ", stepping "
        + fields["stepping"] + ")";
}

void ratiosPrint(const RatioReporter& reporter)
{
    std::printf("\nCPU: %s\n\nPer-key synthesis (2000 samples, 4000 sines), median of repetitions\n\n",
                cpuModel().c_str());
    std::printf("| path | us per key | x scalar |\n|---|---:|---:|\n");
    const double scalarKey = reporter.median("synthesis/scalar");
    for (int32_t i = 0; i < g_synthesisPathCount; ++i) {
        const double time = reporter.median(std::string("synthesis/") + g_synthesisPaths[i].name);
        if (time > 0.0) {
            std::printf("| %s | %.2f | %.2f |\n", g_synthesisPaths[i].name, time, scalarKey / time);
        }
    }
    std::printf("\nWhole files (median us per file; ratios are the other writer's time over the module's,\n"
                "and the module's over the floor's)\n\n");
    std::printf(
        "| keys | module | SpanDSP peer | scalar writer | floor | peer / module | scalar / module | module / floor |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const int count : kKeyCounts) {
        const std::string suffix = "/" + std::to_string(count);
        const double module = reporter.median("module" + suffix);
        const double peer = reporter.median("spandsp" + suffix);
        const double scalar = reporter.median("scalar" + suffix);
        const double floor = reporter.median("floor" + suffix);
        if (module > 0.0 && floor > 0.0) {
            std::printf("| %d | %.1f | %.1f | %.1f | %.1f | %.2f | %.2f | %.2f |\n", count, module, peer, scalar, floor,
                        peer / module, scalar / module, module / floor);
        }
    }
    std::printf("\nThe temporary file and the rename (median us per file: a replaced file beside a file the\n"
                "module writes in place because it has a second link)\n\n");
    std::printf("| keys | replaced | in place | cost of the replacement |\n|---:|---:|---:|---:|\n");
    for (const int count : kKeyCounts) {
        const std::string suffix = "/" + std::to_string(count);
        const double replaced = reporter.median("module" + suffix);
        const double inPlace = reporter.median("module-in-place" + suffix);
        if (replaced > 0.0 && inPlace > 0.0) {
            std::printf("| %d | %.1f | %.1f | %+.1f |\n", count, replaced, inPlace, replaced - inPlace);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    for (const int count : {1, 16, 99}) {
        if (!writersAgree(keysOfLength(count))) {
            std::fprintf(stderr, "the writers do not write the same file for %d keys\n", count);
            return 1;
        }
    }
    benchmarksRegister();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    ratiosPrint(reporter);
    benchmark::Shutdown();
    return 0;
}
