// Fuzzes the exported call with arbitrary UTF-16 key strings (the input's
// bytes taken as little-endian units: surrogates, unpaired halves, early
// terminators and every narrow byte value included) written to a private
// folder, and checks the file, not just survival:
//   - its size is 44 + 4000 x the number of narrow bytes;
//   - every header field agrees with that size and the format;
//   - the second half of every slot is silence (128), and the whole slot of
//     a character that is not a key;
//   - one narrow byte always gives the same slot;
//   - the call leaves errno alone and no descriptor open.
#include "CoreText.h"
#include "DTMFWave.h"
#include "FuzzChecks.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kHeaderBytes = 44;
constexpr std::size_t kSlotBytes = 4000;
constexpr std::size_t kToneBytes = 2000;
constexpr uint8_t kSilence = 128;
constexpr uint32_t kSampleRateHz = 8000;
constexpr char kKeypad[] = "0123456789*#ABCD";

std::string g_folder;
std::u16string g_path;
// The first slot seen for each narrow byte; later ones must match it.
std::array<std::vector<uint8_t>, 256> g_slotSeen;

void folderRemove()
{
    unlink((g_folder + "/fuzz.wav").c_str());
    rmdir(g_folder.c_str());
}

uint32_t little32(const uint8_t* at)
{
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uint16_t little16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

std::vector<uint8_t> fileRead(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(file != nullptr, "the call left no file");
    uint8_t chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return bytes;
}

void headerCheck(const uint8_t* header, uint32_t dataSize)
{
    FUZZ_CHECK(std::memcmp(header, "RIFF", 4) == 0, "RIFF tag");
    FUZZ_CHECK(little32(header + 4) == 36 + dataSize, "RIFF size");
    FUZZ_CHECK(std::memcmp(header + 8, "WAVEfmt ", 8) == 0, "WAVE and fmt tags");
    FUZZ_CHECK(little32(header + 16) == 16 && little16(header + 20) == 1, "PCM format chunk");
    FUZZ_CHECK(little16(header + 22) == 1 && little32(header + 24) == kSampleRateHz, "mono at 8000 Hz");
    FUZZ_CHECK(little32(header + 28) == kSampleRateHz && little16(header + 32) == 1, "byte rate and alignment");
    FUZZ_CHECK(little16(header + 34) == 8, "8 bits a sample");
    FUZZ_CHECK(std::memcmp(header + 36, "data", 4) == 0, "data tag");
    FUZZ_CHECK(little32(header + 40) == dataSize, "data size");
}

void slotCheck(const uint8_t* slot, unsigned char narrow)
{
    for (std::size_t i = kToneBytes; i < kSlotBytes; ++i) {
        FUZZ_CHECK(slot[i] == kSilence, "pause byte is not 128");
    }
    const bool isKey = narrow != 0 && std::strchr(kKeypad, narrow) != nullptr;
    if (!isKey) {
        for (std::size_t i = 0; i < kToneBytes; ++i) {
            FUZZ_CHECK(slot[i] == kSilence, "a character that is no key sounds");
        }
    }
    std::vector<uint8_t>& seen = g_slotSeen[narrow];
    if (seen.empty()) {
        seen.assign(slot, slot + kSlotBytes);
    } else {
        FUZZ_CHECK(std::memcmp(seen.data(), slot, kSlotBytes) == 0, "one key, two different slots");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vuz-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr, "no private folder");
    g_folder = pattern;
    const std::string path = g_folder + "/fuzz.wav";
    g_path.assign(path.begin(), path.end());
    std::atexit(folderRemove);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::u16string keys;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        keys += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    }
    // The call sees the string up to its first terminator.
    const std::size_t units = std::char_traits<char16_t>::length(keys.c_str());
    std::unique_ptr<char[]> narrow(new char[units + 1]);
    const std::size_t narrowBytes = core::ansiFromWide(keys.c_str(), narrow.get(), units + 1);
    FUZZ_CHECK(narrowBytes == units, "one narrow byte a unit");

    const int descriptorsBefore = openDescriptorCount();
    errno = 0;
    FUZZ_CHECK(DTMFWaveCreate(keys.c_str(), g_path.c_str()) == DTMFWAVE_RESULT, "result is not 999");
    FUZZ_CHECK(errno == 0, "a successful call changed errno");
    FUZZ_CHECK(openDescriptorCount() == descriptorsBefore, "a descriptor stayed open");

    const std::string path(g_path.begin(), g_path.end());
    const std::vector<uint8_t> file = fileRead(path);
    FUZZ_CHECK(file.size() == kHeaderBytes + kSlotBytes * narrowBytes, "file size");
    headerCheck(file.data(), static_cast<uint32_t>(kSlotBytes * narrowBytes));
    for (std::size_t slot = 0; slot < narrowBytes; ++slot) {
        slotCheck(file.data() + kHeaderBytes + slot * kSlotBytes, static_cast<unsigned char>(narrow[slot]));
    }
    unlink(path.c_str());
    return 0;
}
