// Standard output on Windows, which has no name the file API opens: the
// module writes a named pipe of this process, in place, and this thread
// copies what arrives to standard output in binary mode. Nothing of it is
// ever on disk, so a host killed part way leaves nothing behind, and a
// standard output redirected to a file is written on from where the shell
// left it, never from its start.
#include "Host.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

// What the pipe holds before the module's next write waits for the copy.
constexpr DWORD kPipeBytes = 64 * 1024;

struct ModuleRun {
    const std::u16string* keys;
    const wchar_t* pipeName;
    int reason;
};

// The module call, on a thread of its own: it blocks whenever the pipe is
// full, until the copy has made room.
DWORD WINAPI moduleRun(void* context)
{
    auto* run = static_cast<ModuleRun*>(context);
    run->reason = moduleCall(moduleText(*run->keys), reinterpret_cast<const DTMFWideChar*>(run->pipeName));
    return 0;
}

// Why standard output took no more: a reader that went away is a broken
// pipe, which the C runtime calls an invalid argument.
int failureReason()
{
    const DWORD code = GetLastError();
    if (code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED) {
        return EPIPE;
    }
    return errno != 0 ? errno : EIO;
}

// Copies everything the module writes to standard output until it closes
// its end. Only a writer of this very process is read: the pipe's name is
// no secret.
int pipeToStandardOutputCopy(HANDLE pipe, OVERLAPPED* overlapped)
{
    ULONG client = 0;
    if (!GetNamedPipeClientProcessId(pipe, &client) || client != GetCurrentProcessId()) {
        return EACCES;
    }
    static char buffer[kPipeBytes];
    errno = 0;
    for (;;) {
        DWORD got = 0;
        if ((!ReadFile(pipe, buffer, sizeof buffer, nullptr, overlapped) && GetLastError() != ERROR_IO_PENDING)
            || !GetOverlappedResult(pipe, overlapped, &got, TRUE)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) {
                break; // the module closed its end: the file is complete
            }
            return EIO;
        }
        if (std::fwrite(buffer, 1, got, stdout) != got) {
            return failureReason();
        }
    }
    return std::fflush(stdout) == 0 ? 0 : failureReason();
}

// Listens on the pipe while the module runs. Once it connects, what it
// writes is copied; should it fail before it ever connects, the listening
// ends with it.
int pipeServe(HANDLE pipe, const std::u16string& keys, const wchar_t* name)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) {
        return ENOMEM;
    }
    if (ConnectNamedPipe(pipe, &overlapped) || GetLastError() == ERROR_PIPE_CONNECTED) {
        SetEvent(overlapped.hEvent);
    } else if (GetLastError() != ERROR_IO_PENDING) {
        CloseHandle(overlapped.hEvent);
        return EIO;
    }
    ModuleRun run{&keys, name, 0};
    HANDLE thread = CreateThread(nullptr, 0, moduleRun, &run, 0, nullptr);
    if (thread == nullptr) {
        CancelIo(pipe);
        CloseHandle(overlapped.hEvent);
        return EAGAIN;
    }
    // The connection comes first when both are signalled: a module that
    // wrote a short file and ended still left it in the pipe.
    const HANDLE events[] = {overlapped.hEvent, thread};
    int copyReason = 0;
    DWORD ignored = 0;
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) {
        copyReason = pipeToStandardOutputCopy(pipe, &overlapped);
        if (copyReason != 0) {
            // The module's next write then fails instead of waiting for a
            // reader that has gone.
            DisconnectNamedPipe(pipe);
        }
    } else {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(overlapped.hEvent);
    return copyReason != 0 ? copyReason : run.reason;
}

} // namespace

int standardOutputWrite(const std::u16string& keys)
{
    // One pipe for each file a run writes to standard output.
    static unsigned pipeCount = 0;
    wchar_t name[64];
    std::swprintf(name, sizeof name / sizeof name[0], L"\\\\.\\pipe\\dtmfwave-%lu-%u", GetCurrentProcessId(),
                  ++pipeCount);
    // One instance, made by this call or the call fails: nobody else can
    // have made it first and wait for the bytes.
    HANDLE pipe = CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
                                   kPipeBytes, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    }
    _setmode(_fileno(stdout), _O_BINARY);
    const int reason = pipeServe(pipe, keys, name);
    CloseHandle(pipe);
    return reason;
}
