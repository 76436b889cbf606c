#include "DTMFTone.h"

#if defined(VUZ_VECTOR_SINE)
#  include "DTMFToneVector.h"
#endif

#include <algorithm>
#include <cmath>
#include <iterator>

uint8_t g_sampleBuffer[kSampleBufferSamples];

namespace {

// The standard keypad: rows select the low tone, columns the high tone.
constexpr char kKeypad[4][4] = {
    {'1', '2', '3', 'A'},
    {'4', '5', '6', 'B'},
    {'7', '8', '9', 'C'},
    {'*', '0', '#', 'D'},
};
constexpr int32_t kRowFrequenciesHz[4] = {697, 770, 852, 941};
constexpr int32_t kColumnFrequenciesHz[4] = {1209, 1336, 1477, 1633};

// durationMs * 8000 / 1000 overflows 32 bits above about 268 seconds, so it
// is worked out in 64 bits; whatever does not fit the buffer is clamped.
int32_t toneSampleCount(int32_t durationMs)
{
    const int64_t samples = int64_t{durationMs} * kSampleRateHz / kMillisecondsPerSecond;
    if (samples <= 0) {
        return 0;
    }
    return samples > kSampleBufferSamples ? kSampleBufferSamples : static_cast<int32_t>(samples);
}

// Radians per sample, as (f * 2pi) * (1/8000) in that association.
double phaseStep(int32_t frequencyHz)
{
    return (static_cast<double>(frequencyHz) * kTwoPi) * kSecondsPerSample;
}

// The scalar library sine, one sample at a time. This file is built with
// the library's errno semantics, so the compiler never turns this loop into
// calls of the vector forms.
void scalarSamplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep)
{
    for (int32_t i = first; i < end; ++i) {
        const double x = static_cast<double>(i);
        const double sum = std::sin(x * highStep) + std::sin(x * lowStep);
        // Truncate first, then add the zero level as integers: adding 128.0
        // before truncating would round negative values the other way.
        const int32_t offset = static_cast<int32_t>(sum * kToneAmplitude);
        samples[i] = static_cast<uint8_t>(kSilenceLevel + offset);
    }
}

bool scalarSupported()
{
    return true;
}

// The vector sines give the scalar sine's bytes on the first 2000 samples of
// every key, the longest tone the call asks for. Past that they do not:
// samples 2000 and 6000 of several keys lie exactly on a truncation
// boundary, and there the vector forms land one step lower. Longer tones
// therefore take their remaining samples from the scalar sine.
constexpr int32_t kVectorExactSamples = kToneSamples;

const DTMFSynthesisPath& synthesisPathSelect()
{
    // The scalar path at the end always answers, so the loop always returns.
    int32_t index = 0;
    while (!g_synthesisPaths[index].supported()) {
        ++index;
    }
    return g_synthesisPaths[index];
}

} // namespace

const DTMFSynthesisPath g_synthesisPaths[] = {
#if defined(VUZ_VECTOR_SINE)
    {"avx512", DTMFAvx512SupportCheck, DTMFToneAvx512SamplesFill},
    {"avx2", DTMFAvx2SupportCheck, DTMFToneAvx2SamplesFill},
    {"sse2", DTMFSse2SupportCheck, DTMFToneSse2SamplesFill},
#endif
    {"scalar", scalarSupported, scalarSamplesFill},
};
const int32_t g_synthesisPathCount = static_cast<int32_t>(std::size(g_synthesisPaths));

int32_t DTMFKeyIndexFind(signed char key)
{
    for (int32_t row = 0; row < 4; ++row) {
        for (int32_t column = 0; column < 4; ++column) {
            if (kKeypad[row][column] == key) {
                return row * 4 + column;
            }
        }
    }
    return -1;
}

DTMFKeyFrequencies DTMFKeyFrequenciesFind(signed char key)
{
    const int32_t index = DTMFKeyIndexFind(key);
    if (index < 0) {
        return {0, 0};
    }
    return {kRowFrequenciesHz[index / 4], kColumnFrequenciesHz[index % 4]};
}

int32_t DTMFTonePathGenerate(const DTMFSynthesisPath& path, signed char key, int32_t durationMs)
{
    const int32_t sampleCount = toneSampleCount(durationMs);
    const DTMFKeyFrequencies frequencies = DTMFKeyFrequenciesFind(key);
    const double lowStep = phaseStep(frequencies.lowHz);
    const double highStep = phaseStep(frequencies.highHz);

    const int32_t pathSamples = std::min(sampleCount, kVectorExactSamples);
    path.samplesFill(g_sampleBuffer, 0, pathSamples, lowStep, highStep);
    scalarSamplesFill(g_sampleBuffer, pathSamples, sampleCount, lowStep, highStep);
    return 1;
}

int32_t DTMFToneGenerate(signed char key, int32_t durationMs)
{
    return DTMFTonePathGenerate(synthesisPathSelect(), key, durationMs);
}
