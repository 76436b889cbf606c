#include "WaveFileCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRowHz[4] = {697, 770, 852, 941};
constexpr int kColumnHz[4] = {1209, 1336, 1477, 1633};

void appendLittleEndian(std::vector<uint8_t>& out, uint32_t value, int width)
{
    for (int i = 0; i < width; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void appendText(std::vector<uint8_t>& out, const char* text)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(text[i]));
    }
}

} // namespace

std::vector<uint8_t> waveHeaderExpected(uint32_t slotCount)
{
    const uint32_t dataSize = slotCount * static_cast<uint32_t>(kSlotSize);
    std::vector<uint8_t> header;
    appendText(header, "RIFF");
    appendLittleEndian(header, dataSize + 36, 4);
    appendText(header, "WAVE");
    appendText(header, "fmt ");
    appendLittleEndian(header, 16, 4);
    appendLittleEndian(header, 1, 2);
    appendLittleEndian(header, 1, 2);
    appendLittleEndian(header, 8000, 4);
    appendLittleEndian(header, 8000, 4);
    appendLittleEndian(header, 1, 2);
    appendLittleEndian(header, 8, 2);
    appendText(header, "data");
    appendLittleEndian(header, dataSize, 4);
    return header;
}

void expectWaveFileShape(const std::vector<uint8_t>& file, uint32_t slotCount)
{
    const uint32_t dataSize = slotCount * static_cast<uint32_t>(kSlotSize);
    ASSERT_EQ(file.size(), kHeaderBytes + dataSize);
    const ParsedWaveHeader header = waveHeaderParse(file);
    EXPECT_EQ(header.riffId, "RIFF");
    EXPECT_EQ(header.riffSize, dataSize + 36);
    EXPECT_EQ(header.waveId, "WAVE");
    EXPECT_EQ(header.fmtId, "fmt ");
    EXPECT_EQ(header.fmtSize, 16u);
    EXPECT_EQ(header.formatTag, 1u);
    EXPECT_EQ(header.channelCount, 1u);
    EXPECT_EQ(header.sampleRate, 8000u);
    EXPECT_EQ(header.byteRate, 8000u);
    EXPECT_EQ(header.blockAlign, 1u);
    EXPECT_EQ(header.bitsPerSample, 8u);
    EXPECT_EQ(header.dataId, "data");
    EXPECT_EQ(header.dataSize, dataSize);
}

std::string keypadKeys(std::size_t length)
{
    static const std::string kKeys = "0123456789*#ABCD";
    std::string keys;
    for (std::size_t i = 0; i < length; ++i) {
        keys += kKeys[i % kKeys.size()];
    }
    return keys;
}

double goertzelPower(const uint8_t* samples, std::size_t count, double frequencyHz)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequencyHz / kDetectorRateHz);
    double previous = 0.0;
    double beforePrevious = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double centred = static_cast<double>(samples[i]) - kSilence;
        const double current = centred + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

DetectedPair dtmfPairDetect(const uint8_t* samples, std::size_t count)
{
    double rowPower[4];
    double columnPower[4];
    for (int i = 0; i < 4; ++i) {
        rowPower[i] = goertzelPower(samples, count, kRowHz[i]);
        columnPower[i] = goertzelPower(samples, count, kColumnHz[i]);
    }
    const auto row = std::max_element(rowPower, rowPower + 4) - rowPower;
    const auto column = std::max_element(columnPower, columnPower + 4) - columnPower;
    double strongestOther = 0.0;
    for (int i = 0; i < 4; ++i) {
        strongestOther = std::max(strongestOther, i == row ? 0.0 : rowPower[i]);
        strongestOther = std::max(strongestOther, i == column ? 0.0 : columnPower[i]);
    }
    const double weakestExpected = std::min(rowPower[row], columnPower[column]);
    return {kRowHz[row], kColumnHz[column], weakestExpected / std::max(strongestOther, 1e-9)};
}
