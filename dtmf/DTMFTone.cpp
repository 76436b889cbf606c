#include "DTMFTone.h"

#include <cmath>

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

} // namespace

DTMFKeyFrequencies DTMFKeyFrequenciesFind(signed char key)
{
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            if (kKeypad[row][column] == key) {
                return {kRowFrequenciesHz[row], kColumnFrequenciesHz[column]};
            }
        }
    }
    return {0, 0};
}

int32_t DTMFToneGenerate(signed char key, int32_t durationMs)
{
    const int32_t sampleCount = toneSampleCount(durationMs);
    const DTMFKeyFrequencies frequencies = DTMFKeyFrequenciesFind(key);
    const double lowStep = phaseStep(frequencies.lowHz);
    const double highStep = phaseStep(frequencies.highHz);

    for (int32_t i = 0; i < sampleCount; ++i) {
        const double x = static_cast<double>(i);
        const double sum = std::sin(x * highStep) + std::sin(x * lowStep);
        // Truncate first, then add the zero level as integers: adding 128.0
        // before truncating would round negative values the other way.
        const int32_t offset = static_cast<int32_t>(sum * kToneAmplitude);
        g_sampleBuffer[i] = static_cast<uint8_t>(kSilenceLevel + offset);
    }
    return 1;
}
