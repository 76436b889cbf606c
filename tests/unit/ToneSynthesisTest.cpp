// DTMFToneGenerate: exact samples, range, the keypad pairs heard by a
// Goertzel detector, silent characters and the buffer bounds it keeps.
#include "DTMFTone.h"
#include "WaveFileCheck.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kSlotToneMs = 250;
// No tone sample can be 0 (they lie within 2..254), so a byte still 0 after
// a call was not written.
constexpr uint8_t kUnwrittenMark = 0;

std::vector<uint8_t> bufferAfter(signed char key, int32_t durationMs, uint8_t fill)
{
    std::memset(g_sampleBuffer, fill, sizeof g_sampleBuffer);
    EXPECT_EQ(DTMFToneGenerate(key, durationMs), 1);
    return std::vector<uint8_t>(g_sampleBuffer, g_sampleBuffer + sizeof g_sampleBuffer);
}

std::vector<uint8_t> firstEight(const std::vector<uint8_t>& buffer)
{
    return std::vector<uint8_t>(buffer.begin(), buffer.begin() + 8);
}

} // namespace

// Values worked out from the DTMF pairs by hand with any accurate sine; none
// lies near a truncation boundary.
TEST(ToneSamples, FirstEightSamplesOfOneAndD)
{
    EXPECT_EQ(firstEight(bufferAfter('1', kSlotToneMs, kSilence)),
              (std::vector<uint8_t>{128, 212, 243, 209, 140, 90, 85, 111}));
    EXPECT_EQ(firstEight(bufferAfter('D', kSlotToneMs, kSilence)),
              (std::vector<uint8_t>{128, 230, 225, 137, 83, 104, 129, 99}));
}

struct KeyPair {
    char key;
    int lowHz;
    int highHz;
};

class KeyTone : public testing::TestWithParam<KeyPair> {};

// Each sample against 128 + trunc(63 (sin 2pi fh t + sin 2pi fl t)) worked
// out in long double from the exactly reduced phase. A value within a hair
// of a whole number may land on either side of the truncation.
long double toneSine(int frequencyHz, std::size_t sample)
{
    constexpr long double kTwoPiLong = 6.283185307179586476925286766559L;
    const std::size_t cycleEighths = (static_cast<std::size_t>(frequencyHz) * sample) % 8000;
    return std::sin(kTwoPiLong * static_cast<long double>(cycleEighths) / 8000.0L);
}

int samplesOffExactValue(const KeyPair& pair, const std::vector<uint8_t>& buffer)
{
    constexpr long double kBoundaryTolerance = 1e-6L;
    int off = 0;
    for (std::size_t i = 0; i < kToneBytes; ++i) {
        const long double value = 63.0L * (toneSine(pair.highHz, i) + toneSine(pair.lowHz, i));
        const int below = 128 + static_cast<int>(value - kBoundaryTolerance);
        const int above = 128 + static_cast<int>(value + kBoundaryTolerance);
        if (buffer[i] != below && buffer[i] != above && ++off <= 5) {
            ADD_FAILURE() << "key " << pair.key << " sample " << i << " is " << int{buffer[i]} << ", exact value "
                          << static_cast<double>(value);
        }
    }
    return off;
}

// Each key: 2000 samples inside 3..253 starting at the zero level, nothing
// after them touched, and a detector that knows only the standard keypad
// finds the key's own row and column tones far above the other six.
TEST_P(KeyTone, SoundsItsOwnPairWithinRange)
{
    const KeyPair pair = GetParam();
    const std::vector<uint8_t> buffer = bufferAfter(pair.key, kSlotToneMs, kUnwrittenMark);
    EXPECT_EQ(buffer[0], kSilence);
    for (std::size_t i = 0; i < kToneBytes; ++i) {
        ASSERT_GE(buffer[i], 3) << "sample " << i;
        ASSERT_LE(buffer[i], 253) << "sample " << i;
    }
    for (std::size_t i = kToneBytes; i < buffer.size(); ++i) {
        ASSERT_EQ(buffer[i], kUnwrittenMark) << "byte " << i << " past the tone";
    }
    EXPECT_EQ(samplesOffExactValue(pair, buffer), 0);
    const DetectedPair detected = dtmfPairDetect(buffer.data(), kToneBytes);
    EXPECT_EQ(detected.lowHz, pair.lowHz);
    EXPECT_EQ(detected.highHz, pair.highHz);
    EXPECT_GT(detected.weakestExpectedOverStrongestOther, 100.0);
}

INSTANTIATE_TEST_SUITE_P(
    Keypad, KeyTone,
    testing::Values(KeyPair{'1', 697, 1209}, KeyPair{'2', 697, 1336}, KeyPair{'3', 697, 1477}, KeyPair{'A', 697, 1633},
                    KeyPair{'4', 770, 1209}, KeyPair{'5', 770, 1336}, KeyPair{'6', 770, 1477}, KeyPair{'B', 770, 1633},
                    KeyPair{'7', 852, 1209}, KeyPair{'8', 852, 1336}, KeyPair{'9', 852, 1477}, KeyPair{'C', 852, 1633},
                    KeyPair{'*', 941, 1209}, KeyPair{'0', 941, 1336}, KeyPair{'#', 941, 1477}, KeyPair{'D', 941, 1633}),
    [](const testing::TestParamInfo<KeyPair>& param) {
        const char key = param.param.key;
        return key == '*' ? std::string("star") : key == '#' ? std::string("hash") : std::string(1, key);
    });

TEST(ToneSamples, NonKeysAreTwoThousandSamplesOfSilence)
{
    for (const signed char key : {'a', 'd', 'E', ' ', '\0', static_cast<char>(0xB1), static_cast<char>(0x81)}) {
        const std::vector<uint8_t> buffer = bufferAfter(key, kSlotToneMs, kUnwrittenMark);
        const std::vector<uint8_t> expected(kToneBytes, kSilence);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin())) << "key byte " << int{key};
        EXPECT_EQ(buffer[kToneBytes], kUnwrittenMark) << "key byte " << int{key};
    }
}

TEST(ToneDuration, ZeroOrNegativeLeavesTheBufferAlone)
{
    for (const int32_t durationMs : {0, -1, -250, -1001, INT32_MIN}) {
        const std::vector<uint8_t> buffer = bufferAfter('5', durationMs, kUnwrittenMark);
        EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), kUnwrittenMark)) << durationMs << " ms";
    }
}

TEST(ToneDuration, ShortDurationsWriteEightSamplesPerMillisecond)
{
    for (const int32_t durationMs : {1, 125, 999}) {
        const std::vector<uint8_t> buffer = bufferAfter('5', durationMs, kUnwrittenMark);
        const std::size_t sampleCount = static_cast<std::size_t>(durationMs) * 8;
        EXPECT_NE(buffer[sampleCount - 1], kUnwrittenMark) << durationMs << " ms";
        EXPECT_EQ(buffer[sampleCount], kUnwrittenMark) << durationMs << " ms";
    }
}

// 268436 ms and up overflow durationMs * 8000 in 32 bits: 536871 wraps to a
// 0-sample tone and INT32_MAX to a negative one, so only a widened product
// clamps them to the whole buffer.
TEST(ToneDuration, LongDurationsClampToTheWholeBuffer)
{
    const std::vector<uint8_t> oneSecond = bufferAfter('9', 1000, kUnwrittenMark);
    ASSERT_NE(oneSecond.back(), kUnwrittenMark);
    for (const int32_t durationMs : {1001, 5000, 268436, 536871, INT32_MAX}) {
        EXPECT_EQ(bufferAfter('9', durationMs, kUnwrittenMark), oneSecond) << durationMs << " ms";
    }
}
