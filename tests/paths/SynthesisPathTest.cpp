// Each synthesis path, forced, against a reference computed here with the
// scalar library sine: all sixteen keys, silent characters, short tones and
// tones clamped to the buffer, every byte of g_sampleBuffer.
#include "DTMFTone.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Never a tone sample (they lie within 2..254): a byte still holding it was
// not written.
constexpr uint8_t kUnwrittenMark = 0;
constexpr char kKeys[] = "123A456B789C*0#D";
constexpr int kRowHz[4] = {697, 770, 852, 941};
constexpr int kColumnHz[4] = {1209, 1336, 1477, 1633};

// The buffer as the scalar sine leaves it. This file keeps the library's
// errno semantics and declares no vector forms, so std::sin stays scalar.
std::vector<uint8_t> referenceBuffer(char key, int32_t sampleCount)
{
    std::vector<uint8_t> buffer(kSampleBufferSamples, kUnwrittenMark);
    const std::string keys = kKeys;
    const std::size_t index = keys.find(key);
    const int lowHz = index == std::string::npos ? 0 : kRowHz[index / 4];
    const int highHz = index == std::string::npos ? 0 : kColumnHz[index % 4];
    const double lowStep = (lowHz * 6.283185307179586) * 0.000125;
    const double highStep = (highHz * 6.283185307179586) * 0.000125;
    for (int32_t i = 0; i < sampleCount; ++i) {
        const double x = i;
        const double sum = std::sin(x * highStep) + std::sin(x * lowStep);
        buffer[i] = static_cast<uint8_t>(128 + static_cast<int32_t>(sum * 63.0));
    }
    return buffer;
}

std::vector<uint8_t> pathBuffer(const DTMFSynthesisPath& path, char key, int32_t durationMs)
{
    std::memset(g_sampleBuffer, kUnwrittenMark, sizeof g_sampleBuffer);
    EXPECT_EQ(DTMFTonePathGenerate(path, static_cast<signed char>(key), durationMs), 1);
    return std::vector<uint8_t>(g_sampleBuffer, g_sampleBuffer + kSampleBufferSamples);
}

std::vector<const DTMFSynthesisPath*> supportedPaths()
{
    std::vector<const DTMFSynthesisPath*> paths;
    for (int32_t i = 0; i < g_synthesisPathCount; ++i) {
        if (g_synthesisPaths[i].supported()) {
            paths.push_back(&g_synthesisPaths[i]);
        }
    }
    return paths;
}

// The first sample index at which two buffers differ, or -1.
long firstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (actual[i] != expected[i]) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

void expectPathMatchesReference(char key, int32_t durationMs, int32_t sampleCount)
{
    const std::vector<uint8_t> expected = referenceBuffer(key, sampleCount);
    for (const DTMFSynthesisPath* path : supportedPaths()) {
        EXPECT_EQ(firstDifference(pathBuffer(*path, key, durationMs), expected), -1)
            << "path " << path->name << ", key 0x" << std::hex << (static_cast<int>(key) & 0xFF) << std::dec << ", "
            << durationMs << " ms";
    }
}

} // namespace

// A GCC build for glibc on x86-64 carries the three vector forms; losing
// them would leave the call on the slow scalar path without a word.
TEST(SynthesisPaths, VectorFormsPresentWhereTheCLibraryHasThem)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < g_synthesisPathCount; ++i) {
        names.push_back(g_synthesisPaths[i].name);
    }
    EXPECT_EQ(names.back(), "scalar");
#if defined(__GNUC__) && !defined(__clang__) && defined(__GLIBC__) && defined(__x86_64__)
    EXPECT_EQ(names, (std::vector<std::string>{"avx512", "avx2", "sse2", "scalar"}));
    EXPECT_GE(supportedPaths().size(), 2u) << "every x86-64 processor has SSE2";
#endif
}

// The 250 ms tone of every key, on every path, includes the three samples
// that lie exactly on a truncation boundary (sample 1000 of "5", samples 500
// and 1500 of "8"), where the last bit of the sine decides the byte.
TEST(SynthesisPaths, SixteenKeysMatchScalarSine)
{
    for (const char key : std::string(kKeys)) {
        expectPathMatchesReference(key, kToneDurationMs, kToneSamples);
    }
}

// The dispatched routine the call uses gives the same bytes as well.
TEST(SynthesisPaths, DispatchedToneMatchesScalarSine)
{
    for (const char key : std::string(kKeys)) {
        std::memset(g_sampleBuffer, kUnwrittenMark, sizeof g_sampleBuffer);
        DTMFToneGenerate(static_cast<signed char>(key), kToneDurationMs);
        const std::vector<uint8_t> actual(g_sampleBuffer, g_sampleBuffer + kSampleBufferSamples);
        EXPECT_EQ(firstDifference(actual, referenceBuffer(key, kToneSamples)), -1) << key;
    }
}

TEST(SynthesisPaths, NonKeysGiveSilenceOnEveryPath)
{
    for (const char key : {'a', 'd', 'E', ' ', '\x01', '\x7f', '\xb1', '\xff'}) {
        expectPathMatchesReference(key, kToneDurationMs, kToneSamples);
    }
}

// Short tones end inside the first vector block; tones of a second and
// longer fill the whole buffer, whose samples 2000 and 6000 sit on
// truncation boundaries for several keys.
TEST(SynthesisPaths, ShortAndClampedTonesMatchScalarSine)
{
    struct Duration {
        int32_t ms;
        int32_t samples;
    };
    const Duration durations[] = {{1, 8},       {2, 16},           {3, 24}, {249, 1992}, {251, 2008},   {1000, 8000},
                                  {4000, 8000}, {INT32_MAX, 8000}, {0, 0},  {-250, 0},   {INT32_MIN, 0}};
    for (const Duration duration : durations) {
        for (const char key : std::string(kKeys)) {
            expectPathMatchesReference(key, duration.ms, duration.samples);
        }
    }
}
