// The 44-byte header of the output file: a RIFF chunk holding one "fmt "
// chunk and one "data" chunk, the plainest form of a PCM WAVE file.
#ifndef VUZIRIZORURUZA_WAVEHEADER_H
#define VUZIRIZORURUZA_WAVEHEADER_H

#include <cstdint>

// Every multi-byte field is kept as its little-endian file bytes, so the
// record lies in memory exactly as it lies in the file on any host and is
// written out byte for byte.
struct WaveHeader {
    char riffId[4];           // "RIFF"
    uint8_t riffSize[4];      // bytes after this field: dataSize + 36
    char waveId[4];           // "WAVE", the RIFF form type
    char fmtId[4];            // "fmt " (trailing space is part of the id)
    uint8_t fmtSize[4];       // 16: the PCM format chunk has no extension
    uint8_t formatTag[2];     // 1: integer PCM
    uint8_t channelCount[2];  // 1: mono
    uint8_t sampleRate[4];    // 8000 samples per second
    uint8_t byteRate[4];      // 8000: rate x block alignment
    uint8_t blockAlign[2];    // 1 byte per sample frame
    uint8_t bitsPerSample[2]; // 8: unsigned samples, 128 is silence
    char dataId[4];           // "data"
    uint8_t dataSize[4];      // sample bytes: 4000 per slot
};
static_assert(sizeof(WaveHeader) == 44, "the WAVE header is 44 bytes with no padding");

inline constexpr uint32_t kWaveHeaderBytes = sizeof(WaveHeader);

extern WaveHeader g_waveHeader;

// Sets every field of g_waveHeader for a file of digitCount slots, so no
// value of an earlier call survives into the file. Returns 1.
int32_t DTMFWaveHeaderFill(int32_t digitCount);

#endif
