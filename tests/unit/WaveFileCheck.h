// Helpers shared by the unit and ABI tests: private temporary folders, file
// bytes, the test's own reading and writing of the 44-byte header, and a
// Goertzel detector that measures tones without trusting the synthesis code.
#ifndef VUZIRIZORURUZA_TESTS_WAVEFILECHECK_H
#define VUZIRIZORURUZA_TESTS_WAVEFILECHECK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::size_t kHeaderBytes = 44;
inline constexpr std::size_t kSlotSize = 4000;
inline constexpr std::size_t kToneBytes = 2000;
inline constexpr uint8_t kSilence = 128;
inline constexpr double kDetectorRateHz = 8000.0;

// A folder made with mkdtemp and removed with everything in it when the
// test ends, so tests never meet each other's files.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// ASCII text widened unit by unit: enough for the mkdtemp paths and keys.
std::u16string widen(const std::string& ascii);

bool fileExists(const std::string& path);
std::vector<uint8_t> fileBytes(const std::string& path);
void fileWriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<std::string> folderEntries(const std::string& path);

// Every field of the header, decoded little-endian from the file's bytes.
struct ParsedWaveHeader {
    std::string riffId;
    uint32_t riffSize;
    std::string waveId;
    std::string fmtId;
    uint32_t fmtSize;
    uint16_t formatTag;
    uint16_t channelCount;
    uint32_t sampleRate;
    uint32_t byteRate;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    std::string dataId;
    uint32_t dataSize;
};

ParsedWaveHeader waveHeaderParse(const std::vector<uint8_t>& file);

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
