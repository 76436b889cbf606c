// The call services on Windows: the thread's last-error code beside errno,
// so that callers built against any C runtime learn why a call failed, and
// a slim reader/writer lock as the module lock.
#include "CoreCall.h"

#include <cerrno>
#include <windows.h>

namespace core {
namespace {

// Statically initialised, so calls may come before any constructor has run.
SRWLOCK g_callLock = SRWLOCK_INIT;

// The Win32 code of the last operation the core saw fail in this call, and
// the errno it stands for: the last-error code a caller reads names the
// operation's own failure, not a translation of errno back.
DWORD g_failureCode;
int g_failureErrno;

int errnoFromWin32(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_NO_UNICODE_TRANSLATION:
        return EILSEQ;
    default:
        return EIO;
    }
}

} // namespace

unsigned long win32FromErrno(int reason)
{
    switch (reason) {
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case EILSEQ:
        return ERROR_NO_UNICODE_TRANSLATION;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case EACCES:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_WRITE_FAULT;
    }
}

void failureRecordWin32()
{
    g_failureCode = GetLastError();
    g_failureErrno = errnoFromWin32(g_failureCode);
    errno = g_failureErrno;
}

void failureReport(int reason)
{
    errno = reason;
    SetLastError(g_failureCode != 0 && g_failureErrno == reason ? g_failureCode : win32FromErrno(reason));
}

ErrorState errorStateSave()
{
    g_failureCode = 0;
    g_failureErrno = 0;
    return ErrorState{errno, GetLastError()};
}

void errorStateRestore(const ErrorState& state)
{
    errno = state.errorNumber;
    SetLastError(static_cast<DWORD>(state.lastError));
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
