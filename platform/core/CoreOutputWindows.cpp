// File output on Windows: the output's opening, its end, and the targets
// written in place. A file that can be replaced, or a name that is free, is
// written into a temporary beside it, marked for deletion from its creation
// so that the system removes it if the call fails or the process dies,
// whatever else holds it (CorePublishWindows.cpp puts it at its name).
// Everything else is written in place, as it stands.
#include "CoreOutputWindows.h"
#include "CoreCall.h"
#include "CoreFaults.h"
#include "CoreOutput.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <new>
#include <windows.h>

namespace core {
namespace {

constexpr unsigned kTemporaryNameAttempts = 64;
#if defined(VUZ_DURABLE_RENAME)
constexpr DWORD kTemporaryFlags = FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_WRITE_THROUGH;
#else
constexpr DWORD kTemporaryFlags = FILE_ATTRIBUTE_HIDDEN;
#endif

// The output of the call that holds the module lock.
Output* g_output;

// The stream's buffer: sixteen slots a write instead of one, as on POSIX.
// The stream is closed before a call lets go of the lock.
char g_streamBuffer[64 * 1024];

bool endSet(HANDLE handle, std::uint64_t bytes)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(bytes);
    return SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end) != 0;
}

// Leaves errno and the last-error code as they were: they tell the caller
// how the call went.
void outputEnd(Output* output)
{
    const int reason = errno;
    const DWORD code = GetLastError();
    if (output->kept != INVALID_HANDLE_VALUE) {
        CloseHandle(output->kept);
    }
    delete output;
    SetLastError(code);
    errno = reason;
}

// The call's output, which from here on is the call's alone.
Output* outputTake()
{
    Output* output = g_output;
    g_output = nullptr;
    return output;
}

// Removes the temporary. Its mark does it when the handle closes, even where
// another program holds the file without delete sharing (the file goes when
// that program lets go). Leaves errno and the last-error code as they were:
// it runs after the failure they describe.
void temporaryDiscard(Output* output)
{
    const int reason = errno;
    const DWORD code = GetLastError();
    const bool refused = VUZ_FAULT_INJECTED(discard);
    if (output->kept != INVALID_HANDLE_VALUE) {
        if (!refused) {
            dispositionSet(output->kept, true);
        }
        CloseHandle(output->kept);
        output->kept = INVALID_HANDLE_VALUE;
    } else if (!refused) {
        DeleteFileW(output->temporary.get());
    }
    SetLastError(code);
    errno = reason;
}

// A failed in-place file is emptied through its own handle: the very file
// this call damaged, under every name it has, and none of them removed.
void inPlaceDiscard(Output* output)
{
    const int reason = errno;
    const DWORD code = GetLastError();
    if (output->kept != INVALID_HANDLE_VALUE && !VUZ_FAULT_INJECTED(discard)) {
        endSet(output->kept, 0);
    }
    SetLastError(code);
    errno = reason;
}

std::FILE* streamFromHandle(HANDLE handle)
{
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);
    }
    return stream;
}

bool handleKeep(HANDLE handle, Output* output)
{
    const HANDLE process = GetCurrentProcess();
    return DuplicateHandle(process, handle, process, &output->kept, 0, FALSE, DUPLICATE_SAME_ACCESS) != 0;
}

// The file system cannot reserve room (Wine cannot, some network file
// systems neither): the free room is checked at least.
bool freeRoomCheck(const wchar_t* name, std::uint64_t bytes)
{
    const WideText folder = folderOf(name);
    ULARGE_INTEGER available{};
    if (!folder || !GetDiskFreeSpaceExW(folder.get(), &available, nullptr, nullptr)) {
        return true; // not known: the writes will tell
    }
    if (available.QuadPart < bytes) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

// The room of the whole file is claimed before its first byte changes, so
// that a full disk, a quota or a size limit refuses the call while the file
// is still as it was.
bool roomReserve(Output* output, HANDLE handle)
{
    if (faultFails(VUZ_FAULT_INJECTED(reserve))) {
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) {
        return false;
    }
    const std::uint64_t current = static_cast<std::uint64_t>(size.QuadPart);
    if (output->fileBytes <= current) {
        return true; // an allocation below the end would cut the file
    }
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(output->fileBytes);
    if (SetFileInformationByHandle(handle, FileAllocationInfo, &allocation, sizeof allocation)) {
        return true;
    }
    switch (GetLastError()) {
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
        return freeRoomCheck(output->target.get(), output->fileBytes - current);
    default:
        return false;
    }
}

// Opens the target as it stands, for the targets a replacement cannot
// serve: never truncated first (which Windows also refuses for a hidden or
// system file), written from its start and given its end at the commit.
std::FILE* inPlaceStart(Output* output, const wchar_t* path, bool device)
{
    output->route = Route::inPlace;
    if (faultFails(VUZ_FAULT_INJECTED(create))) {
        failureRecordWin32();
        return nullptr;
    }
    // The access and sharing of a plain open for writing; a device or a
    // pipe is there already or not at all.
    HANDLE handle = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                device ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failureRecordWin32();
        return nullptr;
    }
    output->seekable = GetFileType(handle) == FILE_TYPE_DISK;
    if (output->seekable && !(roomReserve(output, handle) && handleKeep(handle, output))) {
        failureRecordWin32();
        const DWORD code = GetLastError();
        CloseHandle(handle);
        SetLastError(code);
        return nullptr;
    }
    return streamFromHandle(handle);
}

// Creates the temporary beside the target: shared with no one, with the
// target's access list (a new name gets what its folder gives every new
// file), and marked for deletion before a byte is in it.
HANDLE temporaryCreate(Output* output, PSECURITY_DESCRIPTOR security)
{
    if (faultFails(VUZ_FAULT_INJECTED(temporary))) {
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        output->temporary = temporaryNameMake(output->target.get(), attempt);
        if (!output->temporary) {
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = CreateFileW(output->temporary.get(), GENERIC_WRITE | DELETE, 0,
                                    security != nullptr ? &attributes : nullptr, CREATE_NEW, kTemporaryFlags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            if (dispositionSet(handle, true)) {
                return handle;
            }
            const DWORD code = GetLastError();
            CloseHandle(handle);
            DeleteFileW(output->temporary.get());
            SetLastError(code);
            return INVALID_HANDLE_VALUE;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            return INVALID_HANDLE_VALUE;
        }
    }
    return INVALID_HANDLE_VALUE;
}

std::FILE* outputStart(Output* output, const wchar_t* path)
{
    Target target = targetFind(path);
    output->target = std::move(target.name);
    switch (target.kind) {
    case TargetKind::failed:
    case TargetKind::refused:
        failureRecordWin32();
        return nullptr;
    case TargetKind::inPlace:
        return inPlaceStart(output, path, target.device);
    case TargetKind::absent:
    case TargetKind::replaceable:
        break;
    }
    output->route = target.kind == TargetKind::absent ? Route::create : Route::replace;
    output->targetAttributes = target.attributes;
    HANDLE handle = temporaryCreate(output, target.security.get());
    if (handle == INVALID_HANDLE_VALUE) {
        // A folder that refuses new files may still let its file be written,
        // and a name with no room for a temporary beside it be written as
        // a plain writer would; otherwise the open gives the usual answer.
        if (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_FILENAME_EXCED_RANGE) {
            return inPlaceStart(output, path, false);
        }
        failureRecordWin32();
        return nullptr;
    }
    output->seekable = true;
    if (!handleKeep(handle, output)) {
        failureRecordWin32();
        const DWORD code = GetLastError();
        CloseHandle(handle); // the last handle: the mark removes the file
        SetLastError(code);
        return nullptr;
    }
    std::FILE* stream = streamFromHandle(handle);
    if (stream == nullptr) {
        temporaryDiscard(output);
    }
    return stream;
}

bool inPlaceCommit(Output* output, std::FILE* stream)
{
    if (!fileClose(stream)) {
        inPlaceDiscard(output);
        return false;
    }
    if (output->kept != INVALID_HANDLE_VALUE && !endSet(output->kept, output->fileBytes)) {
        failureRecordWin32();
        inPlaceDiscard(output);
        return false;
    }
    return true;
}

} // namespace

bool dispositionSet(HANDLE handle, bool deleteOnClose)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

bool faultFails(bool injected)
{
    if (injected) {
        SetLastError(win32FromErrno(errno));
    }
    return injected;
}

std::FILE* outputOpen(const WideChar* path, std::uint64_t fileBytes)
{
    if (!isValidUtf16(path)) {
        errno = EILSEQ;
        return nullptr;
    }
    auto* output = new (std::nothrow) Output{};
    if (output == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    output->fileBytes = fileBytes;
    std::FILE* stream = outputStart(output, path);
    if (stream == nullptr) {
        outputEnd(output);
        return nullptr;
    }
    // Refused, the stream keeps a buffer of its own: slower, no less right.
    (void)std::setvbuf(stream, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    g_output = output;
    // What the look left behind (a file that was not found) is no failure.
    SetLastError(ERROR_SUCCESS);
    return stream;
}

bool outputSeekable(std::FILE* /*stream*/)
{
    return g_output->seekable;
}

bool outputCommit(std::FILE* stream)
{
    Output* output = outputTake();
    bool committed = false;
    if (output->route == Route::inPlace) {
        committed = inPlaceCommit(output, stream);
    } else if (!fileClose(stream)) {
        temporaryDiscard(output);
    } else if (!temporaryPublish(output)) {
        failureRecordWin32();
        temporaryDiscard(output);
    } else {
        committed = true;
    }
    outputEnd(output);
    return committed;
}

void outputAbandon(std::FILE* stream)
{
    const int reason = errno;
    const DWORD code = GetLastError();
    Output* output = outputTake();
    (void)std::fclose(stream); // what it holds is discarded just below
    if (output->route == Route::inPlace) {
        inPlaceDiscard(output);
    } else {
        temporaryDiscard(output);
    }
    outputEnd(output);
    SetLastError(code);
    errno = reason;
}

} // namespace core
