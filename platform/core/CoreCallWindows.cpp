// The call services on Windows: the thread's last-error code beside errno,
// so that callers built against any C runtime learn why a call failed, and
// a slim reader/writer lock as the module lock.
//
// The last-error code is also the record of the call's own failure: Windows
// keeps it for each thread, so a call that waits without the module lock (a
// target held by a reader) keeps its record while other threads' calls run.
// The core keeps it intact from the operation that failed to the call's end:
// every clean-up step saves and restores it.
#include "CoreCall.h"

#include <cerrno>
#include <windows.h>

namespace core {
namespace {

// Statically initialised, so calls may come before any constructor has run.
SRWLOCK g_callLock = SRWLOCK_INIT;

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
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
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
    case EPIPE:
        return ERROR_NO_DATA;
    default:
        return ERROR_WRITE_FAULT;
    }
}

void failureRecordWin32()
{
    errno = errnoFromWin32(GetLastError());
}

// The code left by the operation that failed is kept when it is the one
// errno describes; a failure that only errno knows gets its own code.
void failureReport(int reason)
{
    errno = reason;
    const DWORD code = GetLastError();
    SetLastError(code != ERROR_SUCCESS && errnoFromWin32(code) == reason ? code : win32FromErrno(reason));
}

// Cleared at entry, so that the code a failure leaves is this call's own.
ErrorState errorStateSave()
{
    const ErrorState entry{errno, GetLastError()};
    SetLastError(ERROR_SUCCESS);
    return entry;
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
