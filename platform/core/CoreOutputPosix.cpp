// File output on POSIX systems: a temporary file renamed over the target.
#include "CoreFaults.h"
#include "CoreOutput.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <new>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace core {
namespace {

// The one output a call has open; calls hold the module lock from its
// opening to its end, so module-static state serves.
struct Output {
    bool replacing;      // a temporary beside the target, renamed over it
    bool inPlaceRegular; // an in-place regular file, emptied and removed on failure
    bool seekable;       // known from the file's type; otherwise asked
    dev_t device;
    ino_t node;
};
Output g_output;
// The file the path finally names, after its symbolic links.
char g_targetName[PATH_MAX];
// The temporary file beside it, while g_output.replacing.
char g_temporaryName[PATH_MAX];

// The stream's buffer. A slot is 4000 bytes, just under stdio's usual 4 KiB,
// which would cost a system call per slot; 64 KiB takes sixteen slots a
// write. One static buffer serves, since calls hold the module lock from
// open to close.
char g_streamBuffer[64 * 1024];

// As the kernel counts symbolic links on one path before ELOOP.
constexpr int kMaxSymbolicLinkHops = 40;
// Tries at a fresh temporary name before giving up.
constexpr int kTemporaryNameAttempts = 64;

void descriptorCloseKeepingErrno(int descriptor)
{
    const int reason = errno;
    close(descriptor);
    errno = reason;
}

bool textCopy(char* destination, std::size_t size, const char* first, const char* second = "")
{
    const std::size_t firstLength = std::strlen(first);
    const std::size_t secondLength = std::strlen(second);
    if (firstLength + secondLength + 1 > size) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(destination, first, firstLength);
    std::memcpy(destination + firstLength, second, secondLength + 1);
    return true;
}

// Where the last component of name starts.
const char* baseNameOf(const char* name)
{
    const char* slash = std::strrchr(name, '/');
    return slash ? slash + 1 : name;
}

// The folder part of name, with its slash, or empty for a bare name.
std::size_t folderLengthOf(const char* name)
{
    return static_cast<std::size_t>(baseNameOf(name) - name);
}

// /dev/stdout, /dev/fd/N and /proc/<pid>/fd/N name descriptors the process
// already holds, not files to replace: whatever stdout is, the bytes must go
// down that very descriptor. All of them lead through a symbolic link that
// lives in the proc file system.
bool linkNamesOpenDescriptor(const char* link)
{
    char folder[PATH_MAX];
    const std::size_t folderLength = folderLengthOf(link);
    std::memcpy(folder, link, folderLength);
    std::strcpy(folder + folderLength, ".");
    struct statfs fileSystem {};
    return statfs(folder, &fileSystem) == 0 && fileSystem.f_type == PROC_SUPER_MAGIC;
}

// Follows the symbolic links of the last component of path into
// g_targetName, so that a link stays a link and the file it names is the
// one replaced. status receives lstat of the result; statusErrno its errno
// (0 when something is there). Returns false when path must be written in
// place: it names an open descriptor, or ends in a slash.
bool targetFind(const char* path, struct stat* status, int* statusErrno)
{
    if (!textCopy(g_targetName, sizeof g_targetName, path)) {
        *statusErrno = ENAMETOOLONG;
        return false;
    }
    const std::size_t length = std::strlen(path);
    if (length == 0 || path[length - 1] == '/') {
        return false;
    }
    for (int hop = 0; hop <= kMaxSymbolicLinkHops; ++hop) {
        *statusErrno = lstat(g_targetName, status) == 0 ? 0 : errno;
        if (*statusErrno != 0 || !S_ISLNK(status->st_mode)) {
            return true;
        }
        if (linkNamesOpenDescriptor(g_targetName)) {
            return false;
        }
        char link[PATH_MAX];
        const ssize_t linkLength = readlink(g_targetName, link, sizeof link - 1);
        if (linkLength < 0) {
            return false;
        }
        link[linkLength] = '\0';
        char next[PATH_MAX];
        const std::size_t folderLength = link[0] == '/' ? 0 : folderLengthOf(g_targetName);
        std::memcpy(next, g_targetName, folderLength);
        next[folderLength] = '\0';
        if (!textCopy(g_targetName, sizeof g_targetName, next, link)) {
            return false;
        }
    }
    return false;
}

// Hidden, named for the file it becomes and for what it is, and unique:
// ".out.wav.3fa9c2.partial" beside "out.wav".
bool temporaryNameMake(unsigned attempt)
{
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    constexpr std::size_t kTagLength = 6;
    constexpr char kSuffix[] = ".partial";
    // The name must fit NAME_MAX with its dot, tag and suffix.
    constexpr std::size_t kBaseRoom = NAME_MAX - 1 - 1 - kTagLength - (sizeof kSuffix - 1);

    // Uniqueness comes from the exclusive creation; the tag only makes a
    // clash unlikely. The clock, the place of this frame (which differs
    // between processes) and the attempt seed it, with no system call.
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const char* frame = reinterpret_cast<const char*>(&now);
    std::uint64_t seed = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30)
        ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(frame))
        ^ (std::uint64_t{attempt} * 0x9E3779B97F4A7C15ULL);
    char tag[kTagLength + 1];
    for (std::size_t i = 0; i < kTagLength; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        tag[i] = kDigits[(seed >> 33) % (sizeof kDigits - 1)];
    }
    tag[kTagLength] = '\0';

    // Every part is measured, so the name always fits NAME_MAX.
    const std::size_t folderLength = folderLengthOf(g_targetName);
    const std::size_t baseLength = std::min(std::strlen(g_targetName + folderLength), kBaseRoom);
    const std::size_t total = folderLength + 1 + baseLength + 1 + kTagLength + sizeof kSuffix;
    if (total > sizeof g_temporaryName) {
        errno = ENAMETOOLONG;
        return false;
    }
    char* out = g_temporaryName;
    out = std::copy_n(g_targetName, folderLength, out);
    *out++ = '.';
    out = std::copy_n(g_targetName + folderLength, baseLength, out);
    *out++ = '.';
    out = std::copy_n(tag, kTagLength, out);
    std::copy_n(kSuffix, sizeof kSuffix, out);
    return true;
}

int temporaryCreate()
{
    if (VUZ_FAULT_INJECTED(temporary)) {
        return -1;
    }
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        if (!temporaryNameMake(attempt)) {
            return -1;
        }
        const int descriptor =
            open(g_temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    errno = EEXIST;
    return -1;
}

void temporaryRemove()
{
    const int reason = errno;
    if (VUZ_FAULT_INJECTED(discard) || unlink(g_temporaryName) != 0) {
        // Should the folder refuse, an empty leftover at least claims nothing.
        [[maybe_unused]] const int emptied = truncate(g_temporaryName, 0);
    }
    errno = reason;
}

enum class Ownership { kept, cannotKeep, failed };

// The replacement takes the old file's owner where it differs from the
// writer's, then its permission bits (after, since a change of owner clears
// set-id bits).
Ownership ownershipCopy(int descriptor, const struct stat& target)
{
    struct stat made {};
    if (fstat(descriptor, &made) != 0) {
        return Ownership::failed;
    }
    if ((made.st_uid != target.st_uid || made.st_gid != target.st_gid)
        && fchown(descriptor, target.st_uid, target.st_gid) != 0) {
        return Ownership::cannotKeep;
    }
    if (VUZ_FAULT_INJECTED(metadata) || fchmod(descriptor, target.st_mode & 07777) != 0) {
        return Ownership::failed;
    }
    return Ownership::kept;
}

// Opens path as it stands for writing, as fopen(path, "wb") would, for the
// targets that cannot be replaced. No lock is taken: any lock a writer can
// take, a reader of the file can hold against it, and these targets (devices,
// pipes, multi-link files) are not ones two writers share.
int inPlaceOpen(const char* path)
{
    // Removal after a failure goes by the path the caller gave.
    if (!textCopy(g_targetName, sizeof g_targetName, path) || VUZ_FAULT_INJECTED(create)) {
        return -1;
    }
    // Without O_NONBLOCK a pipe that nobody reads would hold the call for
    // ever; it fails with ENXIO instead. Writes then block again.
    const int descriptor = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (descriptor < 0) {
        return -1;
    }
    struct stat status {};
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0 || fstat(descriptor, &status) != 0) {
        descriptorCloseKeepingErrno(descriptor);
        return -1;
    }
    g_output.inPlaceRegular = S_ISREG(status.st_mode);
    g_output.seekable = S_ISREG(status.st_mode) || S_ISBLK(status.st_mode);
    g_output.device = status.st_dev;
    g_output.node = status.st_ino;
    // Devices and pipes are written as they are; only a file is emptied.
    if (g_output.inPlaceRegular && ftruncate(descriptor, 0) != 0) {
        descriptorCloseKeepingErrno(descriptor);
        return -1;
    }
    return descriptor;
}

// What replacementOpen returns, instead of a descriptor, for a target that
// must be written in place after all.
constexpr int kWriteInPlace = -2;

// Opens the temporary beside an absent or single-linked regular target.
// Returns -1 with errno set on failure, or kWriteInPlace: the folder refuses
// new files but the target is there, or its owner cannot be kept.
int replacementOpen(const struct stat& target, bool targetExists)
{
    if (targetExists && faccessat(AT_FDCWD, g_targetName, W_OK, AT_EACCESS) != 0) {
        return -1; // a file the caller may not write is not replaced either
    }
    const int descriptor = temporaryCreate();
    if (descriptor < 0) {
        const bool folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
        return targetExists && folderRefuses ? kWriteInPlace : -1;
    }
    if (!targetExists) {
        return descriptor;
    }
    const Ownership ownership = ownershipCopy(descriptor, target);
    if (ownership == Ownership::kept) {
        return descriptor;
    }
    descriptorCloseKeepingErrno(descriptor);
    temporaryRemove();
    return ownership == Ownership::cannotKeep ? kWriteInPlace : -1;
}

int outputDescriptorOpen(const char* path)
{
    g_output = Output{};
    struct stat target {};
    int targetErrno = 0;
    if (targetFind(path, &target, &targetErrno)) {
        const bool absent = targetErrno == ENOENT;
        const bool replaceable = targetErrno == 0 && S_ISREG(target.st_mode) && target.st_nlink == 1;
        if (absent || replaceable) {
            const int descriptor = replacementOpen(target, replaceable);
            if (descriptor != kWriteInPlace) {
                g_output.replacing = descriptor >= 0;
                g_output.seekable = g_output.replacing;
                return descriptor;
            }
        }
    }
    return inPlaceOpen(path);
}

bool inPlaceFileIsStill(const struct stat& status)
{
    return S_ISREG(status.st_mode) && status.st_dev == g_output.device && status.st_ino == g_output.node;
}

// An in-place regular file that failed part way is emptied through its own
// descriptor, so that no link to it keeps a damaged file, then removed
// under its resolved name if the path still names it.
void inPlaceDiscard(int descriptor)
{
    const int reason = errno;
    [[maybe_unused]] const int emptied = ftruncate(descriptor, 0);
    char resolved[PATH_MAX];
    struct stat status {};
    if (!VUZ_FAULT_INJECTED(discard) && realpath(g_targetName, resolved) != nullptr && lstat(resolved, &status) == 0
        && inPlaceFileIsStill(status)) {
        unlink(resolved);
    }
    errno = reason;
}

#if defined(VUZ_DURABLE_RENAME)
// The new name itself reaches the disk with its folder.
void folderSync()
{
    const std::size_t folderLength = folderLengthOf(g_targetName);
    char folder[PATH_MAX];
    std::memcpy(folder, g_targetName, folderLength);
    folder[folderLength] = '\0';
    const int descriptor = open(folderLength == 0 ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}
#endif

} // namespace

std::FILE* outputOpen(const WideChar* path, std::uint64_t /*fileBytes*/)
{
    const std::unique_ptr<char[]> utf8 = utf8FromWide(path);
    if (!utf8) {
        return nullptr;
    }
    const int descriptor = outputDescriptorOpen(utf8.get());
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(descriptor, "wb");
    if (!stream) {
        const int reason = errno;
        if (g_output.replacing) {
            close(descriptor);
            temporaryRemove();
        } else {
            if (g_output.inPlaceRegular) {
                inPlaceDiscard(descriptor);
            }
            close(descriptor);
        }
        errno = reason;
        return nullptr;
    }
    std::setvbuf(stream, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    return stream;
}

bool outputSeekable(std::FILE* stream)
{
    return g_output.seekable || lseek(fileno(stream), 0, SEEK_CUR) >= 0;
}

bool outputCommit(std::FILE* stream)
{
    if (!g_output.replacing) {
        // A second descriptor keeps the file past a failing close, which
        // takes the stream's own with it.
        const int kept = g_output.inPlaceRegular ? dup(fileno(stream)) : -1;
        const bool closed = fileClose(stream);
        if (kept >= 0) {
            if (!closed) {
                inPlaceDiscard(kept);
            }
            descriptorCloseKeepingErrno(kept);
        }
        return closed;
    }
#if defined(VUZ_DURABLE_RENAME)
    // The data reaches the disk before the name does, so that even a power
    // cut leaves the old file or the whole new one.
    if (fdatasync(fileno(stream)) != 0) {
        const int reason = errno;
        fileClose(stream);
        temporaryRemove();
        errno = reason;
        return false;
    }
#endif
    if (!fileClose(stream)) {
        temporaryRemove();
        return false;
    }
    if (VUZ_FAULT_INJECTED(rename) || rename(g_temporaryName, g_targetName) != 0) {
        temporaryRemove();
        return false;
    }
#if defined(VUZ_DURABLE_RENAME)
    folderSync();
#endif
    return true;
}

void outputAbandon(std::FILE* stream)
{
    const int reason = errno;
    if (g_output.replacing) {
        std::fclose(stream);
        temporaryRemove();
    } else if (g_output.inPlaceRegular) {
        // A second descriptor keeps the file past the stream's close, whose
        // flush of buffered bytes would otherwise land after the emptying.
        const int kept = dup(fileno(stream));
        std::fclose(stream);
        if (kept >= 0) {
            inPlaceDiscard(kept);
            close(kept);
        }
    } else {
        std::fclose(stream);
    }
    errno = reason;
}

} // namespace core
