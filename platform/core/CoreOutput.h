// File output of the stand-in core library: the one file a call writes,
// from its opening to its arrival at the path, and the stream operations
// every byte of it passes through.
#ifndef VUZIRIZORURUZA_COREOUTPUT_H
#define VUZIRIZORURUZA_COREOUTPUT_H

#include "CoreText.h"

#include <cstdint>
#include <cstdio>

namespace core {

// Opens the output for path for binary writing; fileBytes is the size the
// finished file will have, known before the first byte. Returns null with
// errno set on failure, leaving anything at path as it was; a path that is
// not valid UTF-16 fails with EILSEQ.
//
// A file that can be replaced, or a path that names nothing yet, is written
// into a temporary beside it that no one else can open and that vanishes
// if the process dies; it takes the old file's metadata and reaches the path
// only once complete. Whatever happens, the path names the old file or the
// new one, never a part. Targets that cannot be replaced are written in
// place, after the limits and the space of the whole file were checked.
// Only one output is open at a time: callers hold the module lock from
// outputOpen to outputCommit or outputAbandon.
std::FILE* outputOpen(const WideChar* path, std::uint64_t fileBytes);

// False when the output cannot go back to its start (a pipe, a terminal, a
// descriptor shared with others): the header, written first, must then
// already be the final one.
bool outputSeekable(std::FILE* stream);

// Flushes and closes the stream and puts the file at its path. On failure
// nothing of the new file is left and errno tells why. While it waits for a
// reader that holds the target, it lets go of the module lock, and holds it
// again when it returns.
bool outputCommit(std::FILE* stream);

// Closes the stream after a failed write and undoes what it wrote: the
// temporary goes, and an in-place file is emptied (back to where this call
// began writing, for a descriptor shared with others). No name is ever
// removed and no link is ever followed. Leaves errno as it was.
void outputAbandon(std::FILE* stream);

// Thin wrappers over the stream calls, so that every file operation of the
// writer passes through this one layer. Each reports success as true and
// leaves errno set by the failing call otherwise.
bool fileWrite(std::FILE* stream, const void* data, std::size_t size);
bool fileRewind(std::FILE* stream);
bool fileFlush(std::FILE* stream);
bool fileClose(std::FILE* stream);

} // namespace core

#endif
