// The stand-in for the platform core library: the few string, file and
// locking services the DTMF writer needs, with one implementation for POSIX
// systems and one on top of the real Windows APIs.
#ifndef VUZIRIZORURUZA_CORERUNTIME_H
#define VUZIRIZORURUZA_CORERUNTIME_H

#include "DTMFWave.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace core {

// Number of UTF-16 units before the terminator.
std::size_t wideLength(const DTMFWideChar* text);

// Converts a null-terminated UTF-16 string to the ANSI code page (on POSIX
// systems Windows-1252, with '?' for every unit it cannot encode) into
// narrow, which holds narrowSize bytes. The result is always null-terminated,
// empty when the conversion fails. Returns its length.
std::size_t ansiFromWide(const DTMFWideChar* wide, char* narrow, std::size_t narrowSize);

// What is needed to recognise, after the stream is closed, that a path
// still names the very file this call created or truncated.
struct FileIdentity {
    bool removable;         // a regular file, the only kind ever removed
    std::uint64_t device;
    std::uint64_t node;
};

// Creates or truncates the file at a UTF-16 path for binary writing, like
// fopen(path, "wb"). Returns null with errno set on failure; a path that is
// not valid UTF-16 fails with EILSEQ.
std::FILE* fileCreate(const DTMFWideChar* path, FileIdentity* identity);

// Thin wrappers over the stream calls, so that every file operation of the
// writer passes through this one layer. Each reports success as true and
// leaves errno set by the failing call otherwise.
bool fileWrite(std::FILE* stream, const void* data, std::size_t size);
bool fileRewind(std::FILE* stream);
bool fileFlush(std::FILE* stream);
bool fileClose(std::FILE* stream);

// Removes the file at path only if it is still the regular file described by
// identity (following symbolic links to it); never a device, a folder or
// anything that replaced it. Leaves errno as it was.
void fileDiscard(const DTMFWideChar* path, const FileIdentity& identity);

// One lock for the whole module, usable before any constructor has run.
void callLockAcquire();
void callLockRelease();

} // namespace core

#endif
