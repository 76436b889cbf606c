// What every reliability test needs: private folders, the bytes a lone call
// writes, the shape a complete file must have, descriptor counts and calls
// made in a forked child.
#ifndef VUZIRIZORURUZA_TESTS_RELIABILITYSUPPORT_H
#define VUZIRIZORURUZA_TESTS_RELIABILITYSUPPORT_H

#include "DTMFWave.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr std::size_t kWaveHeaderSize = 44;
inline constexpr std::size_t kSlotBytesPerKey = 4000;
inline constexpr std::size_t kToneBytesPerSlot = 2000;
inline constexpr uint8_t kSilenceByte = 128;

using Bytes = std::vector<uint8_t>;

// A mkdtemp folder, removed with its contents when the test ends.
struct ScratchFolder {
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Each byte becomes the UTF-16 unit of the same value (Latin-1).
std::u16string widenAscii(const std::string& ascii);
bool pathExists(const std::string& path);
Bytes fileContents(const std::string& path);
void fileReplace(const std::string& path, const Bytes& bytes);
std::vector<std::string> folderListing(const std::string& path);
std::size_t openDescriptorCount();

// DTMFWaveCreate on an ASCII key string and path; returns errno after it.
int waveCreateErrno(const std::string& keys, const std::string& path, int entryErrno = 0);

// The bytes of one undisturbed call, made once per key string in a private
// folder and remembered.
const Bytes& loneCallBytes(const std::string& keys);

// Empty when bytes is a complete file of slotCount slots (size, every header
// field, the silence half of every slot); otherwise what is wrong with it.
std::string waveShapeProblem(const Bytes& bytes, std::size_t slotCount);

// Forks; the child runs body and exits with its result (0 for success).
// childWait returns that result, or -1 when the child died; childRun does
// both.
int childStart(const std::function<int()>& body);
int childWait(int child);
int childRun(const std::function<int()>& body);

// Under LeakSanitizer: whether memory is unreachable now. Elsewhere false.
bool leaksFound();

// Child preparations: true when they took effect.
bool fileSizeLimitImpose(std::size_t limitBytes);
bool rootPrivilegesDrop();

#endif
