// What every test suite needs from its surroundings: private folders, whole
// file bytes, the fields of a written header decoded by the test itself, and
// children forked so a test can change limits or identity without touching
// its own process.
#ifndef VUZIRIZORURUZA_TESTS_TESTSUPPORT_H
#define VUZIRIZORURUZA_TESTS_TESTSUPPORT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The file's layout, restated here so the tests do not borrow the module's
// own constants.
inline constexpr std::size_t kHeaderBytes = 44;
inline constexpr std::size_t kSlotSize = 4000;
inline constexpr std::size_t kToneBytes = 2000;
inline constexpr uint8_t kSilence = 128;

using Bytes = std::vector<uint8_t>;

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

// Each byte becomes the UTF-16 unit of the same value (Latin-1), so keys
// above 0x7F reach the call as the code points the test meant.
std::u16string widen(const std::string& ascii);

// True for anything at path, a dangling symbolic link included: a failed
// call must not leave even that behind.
bool fileExists(const std::string& path);
Bytes fileBytes(const std::string& path);
void fileWriteBytes(const std::string& path, const Bytes& bytes);
// Names only, sorted, so tests can compare listings directly.
std::vector<std::string> folderEntries(const std::string& path);
// Entries of /proc/self/fd, the listing's own descriptor included.
std::size_t openDescriptorCount();

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

// file must hold at least kHeaderBytes bytes (std::out_of_range otherwise).
ParsedWaveHeader waveHeaderParse(const Bytes& file);

// Forks; the child runs body and exits with its result (0 for success).
// childWait returns that result, or -1 when the child could not be started
// or died; childRun does both.
int childStart(const std::function<int()>& body);
int childWait(int child);
int childRun(const std::function<int()>& body);

// Child preparations: true when they took effect.
// Caps the size of files this process writes; writes past it fail with EFBIG.
bool fileSizeLimitSet(std::size_t limitBytes);
// Leaves root for the "nobody" account, so permission checks apply again.
bool unprivilegedUserBecome();

#endif
