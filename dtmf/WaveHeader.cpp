#include "WaveHeader.h"

#include "DTMFTone.h"

#include <cstring>

WaveHeader g_waveHeader;

namespace {

constexpr uint32_t kRiffSizeOverData = kWaveHeaderBytes - 8; // 36: all but "RIFF" and its size
constexpr uint32_t kPcmFmtChunkBytes = 16;
constexpr uint16_t kFormatTagPcm = 1;
constexpr uint16_t kChannelCountMono = 1;
constexpr uint16_t kBitsPerSample = 8;
constexpr uint16_t kBlockAlignBytes = kChannelCountMono * kBitsPerSample / 8;

void putLittleEndian16(uint8_t (&field)[2], uint16_t value)
{
    field[0] = static_cast<uint8_t>(value);
    field[1] = static_cast<uint8_t>(value >> 8);
}

void putLittleEndian32(uint8_t (&field)[4], uint32_t value)
{
    field[0] = static_cast<uint8_t>(value);
    field[1] = static_cast<uint8_t>(value >> 8);
    field[2] = static_cast<uint8_t>(value >> 16);
    field[3] = static_cast<uint8_t>(value >> 24);
}

void putFourCC(char (&field)[4], const char (&text)[5])
{
    std::memcpy(field, text, 4);
}

} // namespace

int32_t DTMFWaveHeaderFill(int32_t digitCount)
{
    // The caller keeps digitCount within DTMFWAVE_MAX_KEYS, so this signed
    // product cannot overflow.
    const int32_t dataSize = digitCount * kSlotBytes;

    putFourCC(g_waveHeader.riffId, "RIFF");
    putLittleEndian32(g_waveHeader.riffSize, static_cast<uint32_t>(dataSize) + kRiffSizeOverData);
    putFourCC(g_waveHeader.waveId, "WAVE");
    putFourCC(g_waveHeader.fmtId, "fmt ");
    putLittleEndian32(g_waveHeader.fmtSize, kPcmFmtChunkBytes);
    putLittleEndian16(g_waveHeader.formatTag, kFormatTagPcm);
    putLittleEndian16(g_waveHeader.channelCount, kChannelCountMono);
    putLittleEndian32(g_waveHeader.sampleRate, kSampleRateHz);
    putLittleEndian32(g_waveHeader.byteRate, kSampleRateHz * kBlockAlignBytes);
    putLittleEndian16(g_waveHeader.blockAlign, kBlockAlignBytes);
    putLittleEndian16(g_waveHeader.bitsPerSample, kBitsPerSample);
    putFourCC(g_waveHeader.dataId, "data");
    putLittleEndian32(g_waveHeader.dataSize, static_cast<uint32_t>(dataSize));
    return 1;
}
