// The stand-in for the platform core library: the few string, file and
// locking services the DTMF writer needs, with one implementation for POSIX
// systems and one on top of the real Windows APIs.
#ifndef VUZIRIZORURUZA_CORERUNTIME_H
#define VUZIRIZORURUZA_CORERUNTIME_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace core {

// One UTF-16 code unit, the platform's wide character: Windows has a 16-bit
// wchar_t, elsewhere wchar_t is 32 bits wide and char16_t is the 16-bit type.
#if defined(_WIN32)
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif

// Number of UTF-16 units before the terminator.
std::size_t wideLength(const WideChar* text);

// Converts a null-terminated UTF-16 string to the ANSI code page (on POSIX
// systems Windows-1252, with '?' for every unit it cannot encode) into
// narrow, which holds narrowSize bytes. The result is always null-terminated,
// empty when the conversion fails. Returns its length.
std::size_t ansiFromWide(const WideChar* wide, char* narrow, std::size_t narrowSize);

// The output file of one call, from its opening to its arrival at the path.
//
// A regular file with one link, or a path that names nothing yet, is
// written into a new hidden file beside it and renamed over it only once
// complete: whatever happens to the process, the path names the old file or
// the new one, never a part. The replacement keeps the old file's permission
// bits. Devices, pipes, files with several links, names of open descriptors
// (/dev/stdout, /proc/self/fd/N) and files in a folder that refuses new files
// are written in place instead. Only one output is open at a time: callers
// hold the module lock from outputOpen to outputCommit or outputAbandon.
//
// Opens the output for path for binary writing. Returns null with errno set
// on failure, leaving anything at path as it was; a path that is not valid
// UTF-16 fails with EILSEQ.
std::FILE* outputOpen(const WideChar* path);

// False when the output cannot go back to its start (a pipe, a terminal):
// the header, written first, must then already be the final one.
bool outputSeekable(std::FILE* stream);

// Flushes and closes the stream and puts the file at its path. On failure
// nothing of the new file is left and errno tells why.
bool outputCommit(std::FILE* stream);

// Closes the stream after a failed write and removes what it wrote: the
// temporary file, or an in-place regular file, which is emptied first so no
// other link to it keeps a damaged file. Never a device, a pipe, or
// anything that replaced the file meanwhile. Leaves errno as it was.
void outputAbandon(std::FILE* stream);

// Thin wrappers over the stream calls, so that every file operation of the
// writer passes through this one layer. Each reports success as true and
// leaves errno set by the failing call otherwise.
bool fileWrite(std::FILE* stream, const void* data, std::size_t size);
bool fileRewind(std::FILE* stream);
bool fileFlush(std::FILE* stream);
bool fileClose(std::FILE* stream);

// Sets the platform's own error channels for a call that failed with the
// errno value reason: on Windows the thread's last-error code as well, which
// callers built against any C runtime can read, taken from the operation
// that failed when the core saw it fail.
void failureReport(int reason);
// The state of the channels at a call's entry (saving it also starts the
// call's record of failures), and their restoration on success.
struct ErrorState {
    int errorNumber;
    unsigned long lastError;
};
ErrorState errorStateSave();
void errorStateRestore(const ErrorState& state);

// One lock for the whole module, usable before any constructor has run.
void callLockAcquire();
void callLockRelease();

} // namespace core

#endif
