#include "ReliabilitySupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VUZ_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VUZ_LEAK_CHECKS 1
#endif
#endif
#if defined(VUZ_LEAK_CHECKS)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The conventional "nobody" account; any unprivileged one would do.
constexpr uid_t kNobodyUid = 65534;
constexpr gid_t kNobodyGid = 65534;

constexpr uint32_t kRiffOverheadBytes = 36;
constexpr uint32_t kSampleRateHz = 8000;

uint32_t little32(const Bytes& bytes, std::size_t at)
{
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16
        | uint32_t{bytes[at + 3]} << 24;
}

uint16_t little16(const Bytes& bytes, std::size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::string headerProblem(const Bytes& bytes, uint32_t dataSize)
{
    if (std::string(bytes.begin(), bytes.begin() + 4) != "RIFF"
        || std::string(bytes.begin() + 8, bytes.begin() + 16) != "WAVEfmt ") {
        return "chunk tags";
    }
    if (little32(bytes, 4) != kRiffOverheadBytes + dataSize) {
        return "RIFF size " + std::to_string(little32(bytes, 4));
    }
    const bool formatRight = little32(bytes, 16) == 16 && little16(bytes, 20) == 1 && little16(bytes, 22) == 1
        && little32(bytes, 24) == kSampleRateHz && little32(bytes, 28) == kSampleRateHz
        && little16(bytes, 32) == 1 && little16(bytes, 34) == 8;
    if (!formatRight) {
        return "format chunk";
    }
    if (std::string(bytes.begin() + 36, bytes.begin() + 40) != "data" || little32(bytes, 40) != dataSize) {
        return "data chunk header";
    }
    return {};
}

} // namespace

ScratchFolder::ScratchFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vuz-reliability-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    path = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path, ignored);
}

std::u16string widenAscii(const std::string& ascii)
{
    std::u16string wide;
    for (const char narrow : ascii) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(narrow));
    }
    return wide;
}

bool pathExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

Bytes fileContents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void fileReplace(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> folderListing(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t openDescriptorCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

std::string waveShapeProblem(const Bytes& bytes, std::size_t slotCount)
{
    if (bytes.size() != kWaveHeaderSize + kSlotBytesPerKey * slotCount) {
        return "size " + std::to_string(bytes.size()) + " for " + std::to_string(slotCount) + " slots";
    }
    const std::string header = headerProblem(bytes, static_cast<uint32_t>(kSlotBytesPerKey * slotCount));
    if (!header.empty()) {
        return header;
    }
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        const std::size_t pause = kWaveHeaderSize + slot * kSlotBytesPerKey + kToneBytesPerSlot;
        for (std::size_t i = pause; i < pause + kSlotBytesPerKey - kToneBytesPerSlot; ++i) {
            if (bytes[i] != kSilenceByte) {
                return "pause byte " + std::to_string(i) + " is " + std::to_string(bytes[i]);
            }
        }
    }
    return {};
}

int childStart(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    return child;
}

int childWait(int child)
{
    int status = 0;
    if (child <= 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

int childRun(const std::function<int()>& body)
{
    return childWait(childStart(body));
}

bool fileSizeLimitImpose(std::size_t limitBytes)
{
    // Otherwise the kernel kills the writer rather than failing its write.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{limitBytes, limitBytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool rootPrivilegesDrop()
{
    if (geteuid() != 0) {
        return true;
    }
    return setgroups(0, nullptr) == 0 && setgid(kNobodyGid) == 0 && setuid(kNobodyUid) == 0;
}

bool leaksFound()
{
#if defined(VUZ_LEAK_CHECKS)
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}
