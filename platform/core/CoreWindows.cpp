// The core services on Windows, on top of the real platform: the ANSI code
// page for the narrow keys, _wfopen for the wide path, a slim reader/writer
// lock for the module lock.
#include "CoreFaults.h"
#include "CoreRuntime.h"

#include <cerrno>
#include <climits>
#include <io.h>
#include <windows.h>

namespace core {
namespace {

// Statically initialised, so calls may come before any constructor has run.
SRWLOCK g_callLock = SRWLOCK_INIT;

// What the file behind handle is: a regular disk file, and which one.
FileIdentity identityOf(HANDLE handle)
{
    FileIdentity identity{};
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK
        || !GetFileInformationByHandle(handle, &information)
        || (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return identity;
    }
    identity.removable = true;
    identity.device = information.dwVolumeSerialNumber;
    identity.node = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return identity;
}

// The file is checked and removed through one handle, so the file that
// goes is the file that was checked, whatever the path names by then; a
// link on the way is followed to the file itself.
HANDLE fileOpenForDiscard(const DTMFWideChar* path, DWORD access)
{
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool sameFile(const FileIdentity& found, const FileIdentity& expected)
{
    return found.removable && found.device == expected.device && found.node == expected.node;
}

} // namespace

std::size_t ansiFromWide(const DTMFWideChar* wide, char* narrow, std::size_t narrowSize)
{
    if (narrowSize == 0) {
        return 0;
    }
    const int size = narrowSize > INT_MAX ? INT_MAX : static_cast<int>(narrowSize);
    // The count includes the terminator; 0 means the conversion failed and
    // may have left a partial string behind.
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, size, NULL, NULL);
    if (written <= 0) {
        narrow[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(written - 1);
}

std::FILE* fileCreate(const DTMFWideChar* path, FileIdentity* identity)
{
    if (VUZ_FAULT_INJECTED(create)) {
        return nullptr;
    }
    std::FILE* stream = _wfopen(path, L"wb");
    if (stream == nullptr) {
        return nullptr;
    }
    *identity = identityOf(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
    return stream;
}

void fileDiscard(const DTMFWideChar* path, const FileIdentity& identity)
{
    if (!identity.removable) {
        return;
    }
    const int savedErrno = errno;
    const DWORD savedError = GetLastError();
    const bool removalFails = VUZ_FAULT_INJECTED(discard);
    // Write access is only for emptying the file should removal fail; a
    // file that has since become read-only can still be removed without it.
    HANDLE handle = fileOpenForDiscard(path, DELETE | GENERIC_WRITE | FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        handle = fileOpenForDiscard(path, DELETE | FILE_READ_ATTRIBUTES);
    }
    if (handle != INVALID_HANDLE_VALUE) {
        if (sameFile(identityOf(handle), identity)) {
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            // Should the folder refuse the removal, an empty file at least
            // claims no samples.
            if (removalFails
                || !SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
                SetEndOfFile(handle);
            }
        }
        CloseHandle(handle);
    }
    SetLastError(savedError);
    errno = savedErrno;
}

void callLockAcquire()
{
    AcquireSRWLockExclusive(&g_callLock);
}

void callLockRelease()
{
    ReleaseSRWLockExclusive(&g_callLock);
}

} // namespace core
