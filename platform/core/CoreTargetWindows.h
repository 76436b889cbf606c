// What a path names on Windows, before the writer touches it: the file to
// replace (links followed), a name that is free, or something to write as it
// stands; and the names of the temporary that replaces a file.
#ifndef VUZIRIZORURUZA_CORETARGETWINDOWS_H
#define VUZIRIZORURUZA_CORETARGETWINDOWS_H

#include <memory>
#include <windows.h>

namespace core {

using WideText = std::unique_ptr<wchar_t[]>;

struct LocalMemoryFree {
    void operator()(void* block) const { LocalFree(block); }
};
// A security descriptor as the system hands it out.
using SecurityDescriptor = std::unique_ptr<void, LocalMemoryFree>;

enum class TargetKind {
    absent,      // nothing there: a new file is renamed to the name
    replaceable, // a file of one link: a new file replaces it
    inPlace,     // a device, a pipe, a file of several links, a link to
                 // nothing: opened and written as it stands
    refused,     // a read-only file, or one the caller may not write
    failed,      // the path could not even be looked at
};

struct Target {
    TargetKind kind;
    // The \\.\ namespace (devices, pipes): opened once, as it is, since a
    // look would take a pipe's only instance.
    bool device;
    // The full name: for a replaceable file the file itself, links followed.
    WideText name;
    // A replaceable file's attributes, and its discretionary access control
    // list, which the temporary takes from its creation.
    DWORD attributes;
    SecurityDescriptor security;
};

// Looks at what path names. On refused and failed the last-error code says
// why; on the other kinds it is left as it was on entry.
Target targetFind(const wchar_t* path);

// The name of a temporary beside target, unique with good odds for each
// attempt: ".out.wav.3fa9c2.partial" beside "out.wav", in its long form
// (\\?\) wherever the plain one would pass MAX_PATH. Null, with the
// last-error code set, when it cannot be made.
WideText temporaryNameMake(const wchar_t* target, unsigned attempt);

// The folder part of name, with its last separator.
WideText folderOf(const wchar_t* name);

} // namespace core

#endif
