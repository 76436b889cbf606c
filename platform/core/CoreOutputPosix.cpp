// File output on POSIX systems. A file that can be replaced is written into
// an unnamed temporary in its folder (O_TMPFILE), which the kernel removes
// with the last descriptor, so a process that dies leaves nothing; once
// complete it gets a hidden name and is renamed over the target. Where the
// file system has no unnamed files, the temporary is named from the start.
// Everything else is written in place, after the file-size limit and the
// room for the whole file were checked.
#include "CoreOutputPosix.h"
#include "CoreFaults.h"
#include "CoreOutput.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {
namespace {

enum class Route {
    replace,    // a temporary renamed over the target once complete
    inPlace,    // the target opened as it stands
    descriptor, // a descriptor of this process, written where it stands
};

// The one output a call has open; calls hold the module lock from its
// opening to its end, so module-static state serves.
struct Output {
    Route route;
    Target target;
    Temporary temporary;
    bool regular; // in place: a regular file, cut back on failure
    bool seekable;
    off_t start; // where this call's bytes begin in an in-place file
    off_t end;   // and where they end
};
Output g_output;

// The stream's buffer. A slot is 4000 bytes, just under stdio's usual 4 KiB,
// which would cost a system call per slot; 64 KiB takes sixteen slots a
// write. One static buffer serves, since calls hold the module lock from
// open to close.
char g_streamBuffer[64 * 1024];

// A file of the writer's own until its metadata is the target's.
constexpr mode_t kPrivateMode = 0600;
constexpr mode_t kNewFileMode = 0666;

void descriptorCloseKeepingErrno(int descriptor)
{
    const int reason = errno;
    close(descriptor);
    errno = reason;
}

// The kernel would stop the process with SIGXFSZ at the first byte past
// its file-size limit; a file that would not fit is refused before anything
// is written instead.
bool fileSizeLimitCheck(std::uint64_t endBytes)
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && endBytes > limit.rlim_cur) {
        errno = EFBIG;
        return false;
    }
    return true;
}

// Claims the blocks of start..end without changing the file's size or
// content, so that a full disk shows before the first old byte is written
// over. A file system that cannot reserve is written as it comes.
bool roomReserve(int descriptor, off_t start, off_t end)
{
    if (VUZ_FAULT_INJECTED(reserve)) {
        return false;
    }
    if (end <= start || fallocate(descriptor, FALLOC_FL_KEEP_SIZE, start, end - start) == 0) {
        return true;
    }
    return errno == EOPNOTSUPP || errno == ENOSYS;
}

// What replacementOpen returns, instead of a descriptor, for a target that
// must be written in place after all.
constexpr int kWriteInPlace = -2;

// The file as it is now, read only for its metadata: O_NONBLOCK, so that a
// pipe put there meanwhile cannot hold the call.
int targetReadOpen()
{
    return openat(g_output.target.folder, g_output.target.name,
                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// A temporary for a target that already exists, with its metadata on it.
// Returns kWriteInPlace where replacing would part the file from what it
// is: more than one link, a mount of its own, a folder that refuses new
// files, an owner the writer cannot give, a file it cannot read.
int existingReplacementOpen()
{
    const Target& target = g_output.target;
    if (target.linkCount > 1 || target.mountRoot) {
        return kWriteInPlace;
    }
    if (faccessat(target.folder, target.name, W_OK, AT_EACCESS) != 0) {
        return -1; // a file the caller may not write is not replaced either
    }
    const int source = targetReadOpen();
    if (source < 0) {
        return errno == EACCES ? kWriteInPlace : -1;
    }
    const int descriptor = temporaryCreate(target.folder, kPrivateMode, &g_output.temporary);
    if (descriptor < 0) {
        const bool folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
        descriptorCloseKeepingErrno(source);
        return folderRefuses ? kWriteInPlace : -1;
    }
    const MetadataCopy copy = metadataCopy(source, descriptor);
    descriptorCloseKeepingErrno(source);
    if (copy == MetadataCopy::kept) {
        return descriptor;
    }
    if (g_output.temporary.named) {
        temporaryNameRemove(target.folder, descriptor, &g_output.temporary);
    }
    descriptorCloseKeepingErrno(descriptor);
    return copy == MetadataCopy::cannotKeep ? kWriteInPlace : -1;
}

int replacementOpen(std::uint64_t fileBytes)
{
    if (!fileSizeLimitCheck(fileBytes)) {
        return -1;
    }
    if (g_output.target.kind == TargetKind::absent) {
        // A new file takes the mode and list a plain open would give it.
        return temporaryCreate(g_output.target.folder, kNewFileMode, &g_output.temporary);
    }
    return existingReplacementOpen();
}

// For a regular file: the limit and the room of start..start + fileBytes,
// checked before its first byte changes.
bool inPlaceFileSettle(int descriptor, off_t start, std::uint64_t fileBytes)
{
    g_output.regular = true;
    g_output.start = start;
    g_output.end = start + static_cast<off_t>(fileBytes);
    return fileSizeLimitCheck(static_cast<std::uint64_t>(g_output.end))
        && roomReserve(descriptor, g_output.start, g_output.end);
}

// Opens path as it stands for writing, as fopen(path, "wb") would, for the
// targets that cannot be replaced, but without emptying a file first: its
// old content stays whole until the checks are done, and the end is set
// once the new content is in. No lock is taken: any lock a writer can take,
// a reader of the file can hold against it.
int inPlaceOpen(const char* path, std::uint64_t fileBytes)
{
    if (VUZ_FAULT_INJECTED(create)) {
        return -1;
    }
    // Without O_NONBLOCK a pipe that nobody reads would hold the call for
    // ever; it fails with ENXIO instead. Writes then block again.
    const int descriptor = open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return -1;
    }
    struct stat status {};
    const int flags = fcntl(descriptor, F_GETFL);
    bool ready = flags >= 0 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0 && fstat(descriptor, &status) == 0;
    if (ready && S_ISREG(status.st_mode)) {
        ready = inPlaceFileSettle(descriptor, 0, fileBytes);
    }
    if (!ready) {
        descriptorCloseKeepingErrno(descriptor);
        return -1;
    }
    g_output.seekable = S_ISREG(status.st_mode) || S_ISBLK(status.st_mode);
    return descriptor;
}

// A descriptor the process holds (standard output, say) takes the bytes
// where it stands: a pipe or a socket as a stream, a file at its offset, or
// at its end when opened for appending. Nothing is reopened, so nothing the
// shell wrote there before is lost, and the header, right from the first
// byte, is not written again. A descriptor open for reading only is opened
// anew through its name, as a plain open would.
int descriptorOpen(const char* path, std::uint64_t fileBytes)
{
    const int number = g_output.target.number;
    const int flags = fcntl(number, F_GETFL);
    if (flags < 0) {
        return -1;
    }
    if ((flags & O_ACCMODE) == O_RDONLY) {
        g_output.route = Route::inPlace;
        return inPlaceOpen(path, fileBytes);
    }
    if (VUZ_FAULT_INJECTED(create)) {
        return -1;
    }
    const int descriptor = fcntl(number, F_DUPFD_CLOEXEC, 0);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0) {
        if (descriptor >= 0) {
            descriptorCloseKeepingErrno(descriptor);
        }
        return -1;
    }
    if (S_ISREG(status.st_mode)) {
        const off_t start = (flags & O_APPEND) != 0 ? status.st_size : lseek(descriptor, 0, SEEK_CUR);
        if (start < 0 || !inPlaceFileSettle(descriptor, start, fileBytes)) {
            descriptorCloseKeepingErrno(descriptor);
            return -1;
        }
    }
    return descriptor;
}

void folderRelease()
{
    if (g_output.target.folder >= 0) {
        descriptorCloseKeepingErrno(g_output.target.folder);
        g_output.target.folder = -1;
    }
}

int outputDescriptorOpen(const char* path, std::uint64_t fileBytes)
{
    if (!targetFind(path, &g_output.target)) {
        return -1;
    }
    switch (g_output.target.kind) {
    case TargetKind::absent:
    case TargetKind::file: {
        g_output.route = Route::replace;
        g_output.seekable = true;
        const int descriptor = replacementOpen(fileBytes);
        if (descriptor != kWriteInPlace) {
            return descriptor;
        }
        folderRelease();
        break;
    }
    case TargetKind::descriptor:
        g_output.route = Route::descriptor;
        return descriptorOpen(path, fileBytes);
    case TargetKind::other:
        break;
    }
    g_output.route = Route::inPlace;
    return inPlaceOpen(path, fileBytes);
}

// Cuts an in-place file back to what it held before this call's bytes, through
// a descriptor of its own: an in-place file is never removed, since other
// links, a mount or a shell's redirection hold it, and one that holds part
// of a file is emptied of it, so no header claims bytes that are not there.
void inPlaceCutBack(int descriptor)
{
    if (g_output.regular && !VUZ_FAULT_INJECTED(discard)) {
        [[maybe_unused]] const int cut = ftruncate(descriptor, g_output.start);
    }
}

#if defined(VUZ_DURABLE_RENAME)
// The new name itself reaches the disk with its folder.
void folderSync()
{
    const int descriptor = openat(g_output.target.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}
#endif

// The temporary, complete and flushed, takes the target's place. Its
// hidden name lives only from the link to the rename; a failure takes it
// away again.
bool replacementPublish(std::FILE* stream)
{
    const int descriptor = fileno(stream);
#if defined(VUZ_DURABLE_RENAME)
    // The data reaches the disk before the name does, so that even a power
    // cut leaves the old file or the whole new one.
    if (fdatasync(descriptor) != 0) {
        outputAbandon(stream);
        return false;
    }
#endif
    if (!g_output.temporary.named && !temporaryLink(g_output.target.folder, descriptor, &g_output.temporary)) {
        outputAbandon(stream);
        return false;
    }
    // A second descriptor keeps the file past a failing close, which takes
    // the stream's own with it, so the name can still be taken back safely.
    const int kept = dup(descriptor);
    if (kept < 0) {
        outputAbandon(stream);
        return false;
    }
    const bool published = fileClose(stream) && !VUZ_FAULT_INJECTED(rename)
        && renameat(g_output.target.folder, g_output.temporary.name, g_output.target.folder, g_output.target.name) == 0;
    if (!published) {
        const int reason = errno;
        temporaryNameRemove(g_output.target.folder, kept, &g_output.temporary);
        errno = reason;
    }
    descriptorCloseKeepingErrno(kept);
#if defined(VUZ_DURABLE_RENAME)
    if (published) {
        folderSync();
    }
#endif
    folderRelease();
    return published;
}

// An in-place file ends where this call's bytes end: an old file that was
// longer loses its tail, as a plain open for writing would have emptied it.
// A descriptor shared with others keeps whatever follows.
bool inPlaceFinish(std::FILE* stream)
{
    if (!g_output.regular) {
        return fileClose(stream);
    }
    // A second descriptor keeps the file past a failing close, which takes
    // the stream's own with it, so the file can still be cut back.
    const int kept = dup(fileno(stream));
    if (kept < 0) {
        outputAbandon(stream);
        return false;
    }
    const bool ended = g_output.route == Route::descriptor || ftruncate(kept, g_output.end) == 0;
    const bool finished = fileClose(stream) && ended;
    if (!finished) {
        const int reason = errno;
        inPlaceCutBack(kept);
        errno = reason;
    }
    descriptorCloseKeepingErrno(kept);
    return finished;
}

} // namespace

std::FILE* outputOpen(const WideChar* path, std::uint64_t fileBytes)
{
    g_output = Output{};
    g_output.target.folder = -1;
    const std::unique_ptr<char[]> utf8 = utf8FromWide(path);
    if (!utf8) {
        return nullptr;
    }
    const int descriptor = outputDescriptorOpen(utf8.get(), fileBytes);
    if (descriptor < 0) {
        folderRelease();
        return nullptr;
    }
    std::FILE* stream = fdopen(descriptor, "wb");
    if (!stream) {
        const int reason = errno;
        if (g_output.temporary.named) {
            temporaryNameRemove(g_output.target.folder, descriptor, &g_output.temporary);
        }
        close(descriptor);
        folderRelease();
        errno = reason;
        return nullptr;
    }
    // Refused, the stream keeps a buffer of its own: slower, no less right.
    (void)std::setvbuf(stream, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    return stream;
}

bool outputSeekable(std::FILE* /*stream*/)
{
    return g_output.seekable;
}

bool outputCommit(std::FILE* stream)
{
    if (g_output.route == Route::replace) {
        return replacementPublish(stream);
    }
    return inPlaceFinish(stream);
}

void outputAbandon(std::FILE* stream)
{
    const int reason = errno;
    // What the stream still holds is dropped, so that none of it lands after
    // the clean-up.
    __fpurge(stream);
    const int descriptor = fileno(stream);
    if (g_output.route != Route::replace) {
        inPlaceCutBack(descriptor);
    } else if (g_output.temporary.named) {
        temporaryNameRemove(g_output.target.folder, descriptor, &g_output.temporary);
    }
    (void)std::fclose(stream); // purged: it has nothing left to lose
    folderRelease();
    errno = reason;
}

} // namespace core
