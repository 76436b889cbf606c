// The parts of file output on POSIX systems that live in files of their
// own: finding what a path names, and carrying a file's metadata over to
// its replacement.
#ifndef VUZIRIZORURUZA_COREOUTPUTPOSIX_H
#define VUZIRIZORURUZA_COREOUTPUTPOSIX_H

#include <climits>
#include <sys/stat.h>

namespace core {

// What a path names, once the symbolic links of its last component are
// followed one by one (so that a link stays a link and the file it names
// is the one written).
enum class TargetKind {
    absent,     // nothing there yet: a new file goes to folder/name
    file,       // a regular file at folder/name
    descriptor, // a name of a descriptor this process holds: number
    other,      // anything else, written in place through the path as given
};

struct Target {
    TargetKind kind;
    int folder;              // O_PATH descriptor of the folder, for absent and file; else -1
    char name[NAME_MAX + 1]; // the name in that folder
    mode_t mode;             // its type, and for a file its permissions
    unsigned linkCount;      // the file's number of names
    bool mountRoot;          // the file is a mount of its own (a bind-mounted file)
    int number;              // for descriptor
};

// Fills target for path. False with errno set when the path cannot name
// anything (a missing or unreachable folder, a loop of links, a name too
// long); the folder descriptor is then closed already.
bool targetFind(const char* path, Target* target);

// A replaced file's temporary, in the target's folder. named: it has a name
// there, hidden and of a fixed length (".dtmf-XXXXXXXX.partial"), so any
// target a plain open accepts has room for it.
struct Temporary {
    bool named;
    char name[NAME_MAX + 1];
};

// Creates a temporary in folder with mode (before the umask and the folder's
// default access control list, as open applies them): unnamed where the
// file system can make one, named from the start where it answers that it
// cannot. Returns its descriptor, or -1 with errno set.
int temporaryCreate(int folder, mode_t mode, Temporary* temporary);

// Gives a complete unnamed temporary its hidden name. False with errno set.
bool temporaryLink(int folder, int descriptor, Temporary* temporary);

// Takes the temporary's name away, but only while the name still leads to
// the file open as descriptor: a link put there meanwhile never leads the
// clean-up to another file. Where the folder refuses, the temporary is
// emptied through descriptor, so that what stays claims nothing.
void temporaryNameRemove(int folder, int descriptor, Temporary* temporary);

// How the metadata of the file a replacement stands in for came across.
enum class MetadataCopy { kept, cannotKeep, failed };

// Gives replacement, a new file nobody else can open yet, the owner, group,
// access control list, mode and extended attributes of the file open as
// source. cannotKeep: the writer may not give it the owner or group, so
// only writing the file in place keeps them. failed: errno says why; an
// access control list or an attribute of the user's own that cannot be
// carried over fails the copy rather than leave the file more open or
// poorer than it was.
MetadataCopy metadataCopy(int source, int replacement);

} // namespace core

#endif
