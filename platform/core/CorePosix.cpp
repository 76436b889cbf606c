// The core services on POSIX systems: Windows-1252 for the narrow keys,
// UTF-8 for paths, a pthread mutex for the module lock.
#include "CoreFaults.h"
#include "CoreRuntime.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {
namespace {

// Windows-1252 bytes 0x80..0x9F and the UTF-16 units they stand for. The
// five bytes without a printable character (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map to the C1 controls of the same value, as the Windows code page does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
constexpr char kUnmappable = '?';

char windows1252FromUnit(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        return static_cast<char>(unit);
    }
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == unit) {
            return static_cast<char>(0x80 + i);
        }
    }
    return kUnmappable;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

char* putUtf8(char* out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        *out++ = static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        *out++ = static_cast<char>(0xC0 | (codePoint >> 6));
        *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (codePoint >> 12));
        *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (codePoint >> 18));
        *out++ = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    return out;
}

// A UTF-16 unit never needs more than three UTF-8 bytes: a surrogate pair
// is two units and four bytes.
constexpr std::size_t kMaxUtf8BytesPerUnit = 3;

// Returns the UTF-8 form of path in a new buffer, or null with errno set:
// EILSEQ for an unpaired surrogate, ENOMEM when no buffer can be had.
std::unique_ptr<char[]> utf8FromUtf16(const DTMFWideChar* path)
{
    const std::size_t units = wideLength(path);
    std::unique_ptr<char[]> utf8(new (std::nothrow) char[units * kMaxUtf8BytesPerUnit + 1]);
    if (!utf8) {
        errno = ENOMEM;
        return nullptr;
    }
    char* out = utf8.get();
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t unit = path[i];
        if (isHighSurrogate(unit) && isLowSurrogate(path[i + 1])) {
            const char16_t low = path[++i];
            out = putUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (low - 0xDC00));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            errno = EILSEQ;
            return nullptr;
        } else {
            out = putUtf8(out, unit);
        }
    }
    *out = '\0';
    return utf8;
}

bool sameFile(const struct stat& status, const FileIdentity& identity)
{
    return S_ISREG(status.st_mode) && static_cast<std::uint64_t>(status.st_dev) == identity.device
        && static_cast<std::uint64_t>(status.st_ino) == identity.node;
}

pthread_mutex_t g_callLock = PTHREAD_MUTEX_INITIALIZER;

// The stream's buffer. A slot is 4000 bytes, just under stdio's usual 4 KiB,
// which would cost a system call per slot; 64 KiB takes sixteen slots a
// write. One static buffer serves, since calls hold the module lock from
// open to close.
char g_streamBuffer[64 * 1024];

// Another process that loses a failed file removes it between our open and
// our lock; the path is then opened afresh, a few times at most.
constexpr int kOpenAttempts = 8;

bool pathNamesFile(const char* path, const struct stat& opened)
{
    struct stat current {};
    return stat(path, &current) == 0 && current.st_dev == opened.st_dev && current.st_ino == opened.st_ino;
}

// Waits until no other writer holds the file. A file system without locks
// is written unlocked rather than not at all.
void exclusiveLockWait(int descriptor)
{
    while (flock(descriptor, LOCK_EX) != 0 && errno == EINTR) {
    }
}

// Removes the file at path, or, should the folder refuse that, empties it so
// that at least no header claims samples. Once our stream was closed, a
// writer in another process may have taken the file over: while it holds
// the lock it is writing a whole file there, which stays. Our own lock is
// held over the removal, so a writer waiting for it finds the path gone and
// creates a new file.
void fileRemoveUnlessTakenOver(const char* path, bool removalFails)
{
    const int guard = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (guard >= 0 && flock(guard, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(guard);
        return;
    }
    if (removalFails || unlink(path) != 0) {
        [[maybe_unused]] const int emptied = truncate(path, 0);
    }
    if (guard >= 0) {
        close(guard);
    }
}

void descriptorCloseKeepingErrno(int descriptor)
{
    const int reason = errno;
    close(descriptor);
    errno = reason;
}

// Opens path for writing as the only writer of a regular file and empties
// it. Writers of one path take turns from open to close (the lock goes with
// the descriptor), so two hosts writing one path leave one whole file, never
// a mix. Truncating only under the lock keeps a file another writer is still
// writing intact. Devices and pipes are neither locked nor truncated.
int descriptorOpenExclusive(const char* path, struct stat* status)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        // Without O_NONBLOCK a pipe that nobody reads would hold the call
        // for ever; it fails with ENXIO instead. Writes then block again.
        const int descriptor = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        if (descriptor < 0) {
            return -1;
        }
        const int flags = fcntl(descriptor, F_GETFL);
        if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0 || fstat(descriptor, status) != 0) {
            descriptorCloseKeepingErrno(descriptor);
            return -1;
        }
        if (!S_ISREG(status->st_mode)) {
            return descriptor;
        }
        exclusiveLockWait(descriptor);
        if (pathNamesFile(path, *status)) {
            if (ftruncate(descriptor, 0) != 0) {
                descriptorCloseKeepingErrno(descriptor);
                return -1;
            }
            return descriptor;
        }
        close(descriptor);
    }
    errno = EAGAIN;
    return -1;
}

} // namespace

std::size_t ansiFromWide(const DTMFWideChar* wide, char* narrow, std::size_t narrowSize)
{
    if (narrowSize == 0) {
        return 0;
    }
    std::size_t length = 0;
    for (; wide[length] != 0 && length + 1 < narrowSize; ++length) {
        narrow[length] = windows1252FromUnit(wide[length]);
    }
    narrow[length] = '\0';
    return length;
}

std::FILE* fileCreate(const DTMFWideChar* path, FileIdentity* identity)
{
    const std::unique_ptr<char[]> utf8 = utf8FromUtf16(path);
    if (!utf8) {
        return nullptr;
    }
    if (VUZ_FAULT_INJECTED(create)) {
        return nullptr;
    }
    struct stat status {};
    const int descriptor = descriptorOpenExclusive(utf8.get(), &status);
    if (descriptor < 0) {
        return nullptr;
    }
    identity->removable = S_ISREG(status.st_mode);
    identity->device = static_cast<std::uint64_t>(status.st_dev);
    identity->node = static_cast<std::uint64_t>(status.st_ino);

    std::FILE* stream = fdopen(descriptor, "wb");
    if (!stream) {
        const int reason = errno;
        close(descriptor);
        fileDiscard(path, *identity);
        errno = reason;
        return nullptr;
    }
    std::setvbuf(stream, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    return stream;
}

void fileDiscard(const DTMFWideChar* path, const FileIdentity& identity)
{
    if (!identity.removable) {
        return;
    }
    const int savedErrno = errno;
    const bool removalFails = VUZ_FAULT_INJECTED(discard);
    const std::unique_ptr<char[]> utf8 = utf8FromUtf16(path);
    struct stat status {};
    if (utf8 && stat(utf8.get(), &status) == 0 && sameFile(status, identity)) {
        // The path may reach the file through symbolic links; unlinking the
        // path itself would only remove the link and leave the damaged
        // file behind, so the file is removed under its resolved name.
        char resolved[PATH_MAX];
        if (realpath(utf8.get(), resolved) != nullptr && lstat(resolved, &status) == 0
            && sameFile(status, identity)) {
            fileRemoveUnlessTakenOver(resolved, removalFails);
        }
    }
    errno = savedErrno;
}

void callLockAcquire()
{
    pthread_mutex_lock(&g_callLock);
}

void callLockRelease()
{
    pthread_mutex_unlock(&g_callLock);
}

} // namespace core
