#include "TestSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The conventional "nobody" ids; any unprivileged account would do.
constexpr uid_t kUnprivilegedUid = 65534;
constexpr gid_t kUnprivilegedGid = 65534;

uint32_t readLittleEndian(const Bytes& bytes, std::size_t offset, int width)
{
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | bytes.at(offset + static_cast<std::size_t>(i));
    }
    return value;
}

std::string readFourCC(const Bytes& bytes, std::size_t offset)
{
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

} // namespace

TempFolder::TempFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vuz-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        // Not an exception: folders are also made in forked children and
        // worker threads, where one would escape into the test runner.
        std::fprintf(stderr, "mkdtemp failed for %s\n", pattern.c_str());
        std::abort();
    }
    path = pattern;
}

TempFolder::~TempFolder()
{
    // A test may have taken the folder's own permissions away.
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}

std::u16string widen(const std::string& ascii)
{
    std::u16string wide;
    for (const char narrow : ascii) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(narrow));
    }
    return wide;
}

bool fileExists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void fileWriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> folderEntries(const std::string& path)
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

ParsedWaveHeader waveHeaderParse(const Bytes& file)
{
    return {readFourCC(file, 0),
            readLittleEndian(file, 4, 4),
            readFourCC(file, 8),
            readFourCC(file, 12),
            readLittleEndian(file, 16, 4),
            static_cast<uint16_t>(readLittleEndian(file, 20, 2)),
            static_cast<uint16_t>(readLittleEndian(file, 22, 2)),
            readLittleEndian(file, 24, 4),
            readLittleEndian(file, 28, 4),
            static_cast<uint16_t>(readLittleEndian(file, 32, 2)),
            static_cast<uint16_t>(readLittleEndian(file, 34, 2)),
            readFourCC(file, 36),
            readLittleEndian(file, 40, 4)};
}

int childStart(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        // _exit: the child must not run the parent's atexit handlers or
        // flush its copy of the parent's stdio buffers.
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

bool fileSizeLimitSet(std::size_t limitBytes)
{
    // SIGXFSZ keeps its default: a write past the limit would kill the
    // writer, so a call that did not refuse the file first dies and fails
    // the test.
    const rlimit limit{limitBytes, limitBytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool unprivilegedUserBecome()
{
    if (geteuid() != 0) {
        return true;
    }
    return setgroups(0, nullptr) == 0 && setgid(kUnprivilegedGid) == 0 && setuid(kUnprivilegedUid) == 0
        && geteuid() == kUnprivilegedUid;
}
