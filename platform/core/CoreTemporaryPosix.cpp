// The temporary a replaced file is written into: unnamed where the file
// system can make such files, so that nothing of it outlives the process,
// and otherwise named, hidden, from the start; named once complete; and its
// name taken away again, only while that name still leads to it.
#include "CoreFaults.h"
#include "CoreOutputPosix.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {
namespace {

// Tries at a fresh temporary name before giving up.
constexpr int kTemporaryNameAttempts = 64;
// ".dtmf-" + 8 + ".partial": a fixed length, so any target that a plain
// open accepts has room for its temporary.
constexpr char kTemporaryPrefix[] = ".dtmf-";
constexpr char kTemporarySuffix[] = ".partial";
constexpr std::size_t kTemporaryTagLength = 8;
// Hidden, named for what it is, and unique: ".dtmf-3fa9c2k0.partial".
// Uniqueness comes from the exclusive creation; the tag only makes a clash
// unlikely. The clock, the place of this frame (which differs between
// processes) and the attempt seed it, with no system call.
void temporaryNameMake(Temporary* temporary, unsigned attempt)
{
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t seed = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30)
        ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&now))
        ^ (std::uint64_t{attempt} * 0x9E3779B97F4A7C15ULL);
    char tag[kTemporaryTagLength + 1];
    for (std::size_t i = 0; i < kTemporaryTagLength; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        tag[i] = kDigits[(seed >> 33) % (sizeof kDigits - 1)];
    }
    tag[kTemporaryTagLength] = '\0';
    // Parts of fixed length, for which the name is sized.
    (void)std::snprintf(temporary->name, sizeof temporary->name, "%s%s%s", kTemporaryPrefix, tag, kTemporarySuffix);
}

int unnamedTemporaryCreate(int folder, mode_t mode)
{
    if (VUZ_FAULT_INJECTED(temporary)) {
        return -1;
    }
    return openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

int namedTemporaryCreate(int folder, mode_t mode, Temporary* temporary)
{
    if (VUZ_FAULT_INJECTED(temporary)) {
        return -1;
    }
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryNameMake(temporary, attempt);
        const int descriptor =
            openat(folder, temporary->name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
        if (descriptor >= 0) {
            temporary->named = true;
            return descriptor;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

// An unnamed file where the file system has them; a named one where it
// answers that it has not (EOPNOTSUPP, or EISDIR and EINVAL from kernels
// that predate them).
} // namespace

int temporaryCreate(int folder, mode_t mode, Temporary* temporary)
{
    *temporary = Temporary{};
    const int descriptor = unnamedTemporaryCreate(folder, mode);
    if (descriptor >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return descriptor;
    }
    return namedTemporaryCreate(folder, mode, temporary);
}

// Takes the temporary's name away again, but only while it still names the
// temporary: a link never leads the clean-up to another file. Where the
// folder refuses, the temporary is emptied through its own descriptor, so
// that what stays claims nothing.
void temporaryNameRemove(int folder, int descriptor, Temporary* temporary)
{
    struct stat made {};
    struct stat named {};
    const bool stillOurs = fstat(descriptor, &made) == 0
        && fstatat(folder, temporary->name, &named, AT_SYMLINK_NOFOLLOW) == 0 && made.st_dev == named.st_dev
        && made.st_ino == named.st_ino;
    temporary->named = false;
    if (stillOurs && !VUZ_FAULT_INJECTED(discard) && unlinkat(folder, temporary->name, 0) == 0) {
        return;
    }
    [[maybe_unused]] const int emptied = ftruncate(descriptor, 0);
}

namespace {

// Gives the file open as descriptor the name folder/name. Linking a
// descriptor needs no privilege since Linux 6.10; earlier kernels allow it
// through the descriptor's name in /proc.
bool descriptorLink(int descriptor, int folder, const char* name)
{
    if (linkat(descriptor, "", folder, name, AT_EMPTY_PATH) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    char procName[32];
    (void)std::snprintf(procName, sizeof procName, "/proc/self/fd/%d", descriptor); // any int fits
    return linkat(AT_FDCWD, procName, folder, name, AT_SYMLINK_FOLLOW) == 0;
}

} // namespace

bool temporaryLink(int folder, int descriptor, Temporary* temporary)
{
    if (VUZ_FAULT_INJECTED(link)) {
        return false;
    }
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryNameMake(temporary, attempt);
        if (descriptorLink(descriptor, folder, temporary->name)) {
            temporary->named = true;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

} // namespace core
