// Publishing a finished temporary on Windows. Its mark for deletion is
// lifted only just before: a free name is taken by renaming the
// temporary's own handle; an existing file is replaced with ReplaceFileW,
// which keeps that file's access list, streams, object ID, compression and
// encryption. A reader holding the target is waited for, against a
// deadline and without the module lock.
#include "CoreCall.h"
#include "CoreFaults.h"
#include "CoreOutputWindows.h"

#include <cerrno>
#include <cwchar>
#include <new>

namespace core {
namespace {

// A reader that has the target open without delete sharing holds up the
// replacement; it is waited for this long at most, looking again at every
// poll. The deadline is a time, not a count of sleeps, which Windows
// rounds up to its 15.6 ms tick.
constexpr ULONGLONG kReplaceWaitMs = 2000;
constexpr DWORD kReplacePollMs = 10;
#if defined(VUZ_DURABLE_RENAME)
constexpr DWORD kMoveFlags = MOVEFILE_WRITE_THROUGH;
#else
constexpr DWORD kMoveFlags = 0;
#endif

// The module lock is let go while waiting, so that other threads' calls do
// not wait behind a reader of this call's target.
void waitUnlocked()
{
    callLockRelease();
    Sleep(kReplacePollMs);
    callLockAcquire();
}

// A reader holding the target without delete sharing, or without the
// sharing ReplaceFileW asks of the replacement (a scanner that opened the
// temporary the moment it was closed): both let go soon.
bool isSharingFailure(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

bool renameByHandle(HANDLE handle, const wchar_t* name)
{
    const std::size_t bytes = std::wcslen(name) * sizeof(wchar_t);
    const std::size_t size = sizeof(FILE_RENAME_INFO) + bytes;
    auto* rename = static_cast<FILE_RENAME_INFO*>(operator new(size, std::nothrow));
    if (rename == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    *rename = FILE_RENAME_INFO{};
    rename->ReplaceIfExists = FALSE;
    rename->FileNameLength = static_cast<DWORD>(bytes);
    std::wmemcpy(rename->FileName, name, bytes / sizeof(wchar_t) + 1);
    const bool renamed = SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(size)) != 0;
    operator delete(rename);
    return renamed;
}

// Publishes the temporary under a free name through its own handle, which
// stays open throughout: only a kill in the instant between lifting the
// mark and the rename leaves it behind.
bool freeNameTake(Output* output)
{
    if (faultFails(VUZ_FAULT_INJECTED(rename))) {
        return false;
    }
    if (!dispositionSet(output->kept, false)) {
        return false;
    }
    if (!renameByHandle(output->kept, output->target.get())) {
        const DWORD code = GetLastError();
        dispositionSet(output->kept, true);
        SetLastError(code);
        return false;
    }
#if defined(VUZ_DURABLE_RENAME)
    FlushFileBuffers(output->kept); // the new name reaches the disk too
#endif
    return true;
}

enum class Readiness { ready, gone, failed };

// Waits while a reader holds the target without delete sharing. Nothing
// else is waited for: an access list or a read-only file refuses at once.
// An old file not marked for backup is marked now, because ReplaceFileW
// gives the replacement the attributes of the file it replaces.
Readiness targetReadyWait(Output* output, ULONGLONG deadline)
{
    const bool archiveMark = (output->targetAttributes & FILE_ATTRIBUTE_ARCHIVE) == 0;
    const DWORD access = DELETE | FILE_READ_ATTRIBUTES | (archiveMark ? FILE_WRITE_ATTRIBUTES : 0);
    for (;;) {
        HANDLE handle = CreateFileW(output->target.get(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            FILE_BASIC_INFO basic{};
            basic.FileAttributes = output->targetAttributes | FILE_ATTRIBUTE_ARCHIVE;
            const bool marked =
                !archiveMark || SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != 0;
            const DWORD code = GetLastError();
            CloseHandle(handle);
            SetLastError(code);
            return marked ? Readiness::ready : Readiness::failed;
        }
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return Readiness::gone;
        }
        if (!isSharingFailure(code) || GetTickCount64() >= deadline) {
            return Readiness::failed;
        }
        waitUnlocked();
    }
}

// After a failed ReplaceFileW the temporary is reopened and marked again,
// so that a kill while waiting cannot leave it.
void temporaryReclaim(Output* output)
{
    const DWORD code = GetLastError();
    HANDLE handle = CreateFileW(output->temporary.get(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE && !dispositionSet(handle, true)) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    output->kept = handle;
    SetLastError(code);
}

// ReplaceFileW over the target: it opens the replacement unshared, so the
// temporary's handle closes first, and its mark is lifted just before. The
// target is looked at before every try, so that ReplaceFileW is called
// only when no reader stands in its way (Wine's leaves a file of its own
// behind each time a reader makes it fail).
bool targetReplace(Output* output)
{
    const ULONGLONG deadline = GetTickCount64() + kReplaceWaitMs;
    for (;;) {
        const Readiness readiness = targetReadyWait(output, deadline);
        if (readiness == Readiness::gone) {
            return freeNameTake(output); // it went meanwhile: the name is free
        }
        if (readiness == Readiness::failed || faultFails(VUZ_FAULT_INJECTED(rename))) {
            return false;
        }
        if (output->kept != INVALID_HANDLE_VALUE) {
            if (!dispositionSet(output->kept, false)) {
                return false;
            }
            CloseHandle(output->kept);
            output->kept = INVALID_HANDLE_VALUE;
        }
        if (ReplaceFileW(output->target.get(), output->temporary.get(), nullptr, 0, nullptr, nullptr)) {
            return true;
        }
        const DWORD code = GetLastError();
        if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
            // The old file is gone and the new one still has its temporary
            // name: it takes the target's name now.
            return MoveFileExW(output->temporary.get(), output->target.get(), kMoveFlags) != 0;
        }
        temporaryReclaim(output);
        if (!isSharingFailure(code) || GetTickCount64() >= deadline) {
            return false;
        }
        waitUnlocked();
    }
}

// The replacement shows as a file in its own right (not hidden, unless the
// file it replaces was), with the replaced file's attributes, and marked
// for backup.
bool temporaryAttributesSet(Output* output)
{
    if (faultFails(VUZ_FAULT_INJECTED(metadata))) {
        return false;
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = output->targetAttributes | FILE_ATTRIBUTE_ARCHIVE;
    return SetFileInformationByHandle(output->kept, FileBasicInfo, &basic, sizeof basic) != 0;
}

} // namespace

bool temporaryPublish(Output* output)
{
    if (!temporaryAttributesSet(output)) {
        return false;
    }
#if defined(VUZ_DURABLE_RENAME)
    // The data reaches the disk before the name does.
    if (!FlushFileBuffers(output->kept)) {
        return false;
    }
#endif
    if (output->route == Route::create) {
        if (freeNameTake(output)) {
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
        // Another writer took the name meanwhile: its file is replaced.
        output->targetAttributes = FILE_ATTRIBUTE_ARCHIVE;
    }
    if (!targetReplace(output)) {
        return false;
    }
#if defined(VUZ_DURABLE_RENAME)
    // ReplaceFileW has no write-through of its own: the published file is
    // flushed, and its new name with it as far as the file system logs
    // names with the file. The file is published either way.
    HANDLE published = CreateFileW(output->target.get(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (published != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(published);
        CloseHandle(published);
    }
#endif
    return true;
}

} // namespace core
