// Helpers shared by the unit and ABI tests: the test's own writing and
// checking of the 44-byte header, and a Goertzel detector that measures tones
// without trusting the synthesis code.
#ifndef VUZIRIZORURUZA_TESTS_WAVEFILECHECK_H
#define VUZIRIZORURUZA_TESTS_WAVEFILECHECK_H

#include "TestSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr double kDetectorRateHz = 8000.0;

// The header a file of slotCount slots must carry, built here byte by byte.
std::vector<uint8_t> waveHeaderExpected(uint32_t slotCount);

// GoogleTest checks that file is a complete file of slotCount slots: its
// size and every header field.
void expectWaveFileShape(const std::vector<uint8_t>& file, uint32_t slotCount);

// "0123456789*#ABCD" repeated up to length characters.
std::string keypadKeys(std::size_t length);

// Power of frequencyHz in unsigned 8-bit samples (about the 128 level).
double goertzelPower(const uint8_t* samples, std::size_t count, double frequencyHz);

// The row and column frequencies whose Goertzel power is largest.
struct DetectedPair {
    int lowHz;
    int highHz;
    double weakestExpectedOverStrongestOther;
};
DetectedPair dtmfPairDetect(const uint8_t* samples, std::size_t count);

#endif
