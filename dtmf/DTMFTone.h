// Keypad table and tone synthesis: one key character becomes 8-bit PCM
// samples of its pair of DTMF tones at the start of g_sampleBuffer.
#ifndef VUZIRIZORURUZA_DTMFTONE_H
#define VUZIRIZORURUZA_DTMFTONE_H

#include <cstdint>

inline constexpr int32_t kSampleRateHz = 8000;
inline constexpr int32_t kMillisecondsPerSecond = 1000;
// One second of audio: the longest tone the buffer can take.
inline constexpr int32_t kSampleBufferSamples = 8000;
// 8-bit PCM is unsigned; 128 is its zero level.
inline constexpr uint8_t kSilenceLevel = 128;
// Each of the two tones swings 63 steps about the zero level, so their sum
// stays inside 2..254 and never clips.
inline constexpr double kToneAmplitude = 63.0;
inline constexpr double kTwoPi = 6.283185307179586;
// 1/8000 as a double. The phase step multiplies by it rather than dividing
// by the rate: the two differ in the last bit for some keys, and the bytes
// of the file depend on it.
inline constexpr double kSecondsPerSample = 0.000125;

inline constexpr int32_t kToneDurationMs = 250;
inline constexpr int32_t kToneSamples = kToneDurationMs * kSampleRateHz / kMillisecondsPerSecond;
// A slot is the tone followed by a pause of the same length.
inline constexpr int32_t kSlotBytes = 2 * kToneSamples;

// The sample buffer shared by synthesis and the file writer.
extern uint8_t g_sampleBuffer[kSampleBufferSamples];

// The row (low) and column (high) frequencies of a key in hertz; both are 0
// for a character that is not one of the sixteen keys.
struct DTMFKeyFrequencies {
    int32_t lowHz;
    int32_t highHz;
};

DTMFKeyFrequencies DTMFKeyFrequenciesFind(signed char key);

// The sixteen keys, counted row by row from "1" (0) to "D" (15); -1 for a
// character that is not a key.
inline constexpr int32_t kKeypadKeyCount = 16;
int32_t DTMFKeyIndexFind(signed char key);

// Writes the samples of key's tone pair for durationMs to the start of
// g_sampleBuffer and leaves every later byte alone. A duration of 0 or less
// writes nothing; one longer than the buffer is clamped to it. Returns 1.
// Runs on the fastest synthesis path the processor supports.
int32_t DTMFToneGenerate(signed char key, int32_t durationMs);

// Fills samples[first] to samples[end - 1] of a tone from its two phase
// steps. Every sample depends on its own index alone, so a tone may be split
// between fills.
using DTMFToneSamplesFill = void (*)(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep);

// One way of evaluating the library sine over a tone: the scalar sine, or
// one of the vector forms of the same sine in the C library.
struct DTMFSynthesisPath {
    const char* name;
    bool (*supported)();
    DTMFToneSamplesFill samplesFill;
};

// The paths this build carries, fastest first. The last is the scalar
// library sine, which every processor supports.
extern const DTMFSynthesisPath g_synthesisPaths[];
extern const int32_t g_synthesisPathCount;

// DTMFToneGenerate on the given path, which the processor must support.
// Samples from 2000 on, reached only by tones longer than the call's, always
// come from the scalar sine.
int32_t DTMFTonePathGenerate(const DTMFSynthesisPath& path, signed char key, int32_t durationMs);

#endif
