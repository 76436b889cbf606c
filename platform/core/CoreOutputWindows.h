// The one output a Windows call has open, shared by the file that opens and
// ends it (CoreOutputWindows.cpp) and the one that publishes a finished
// temporary (CorePublishWindows.cpp).
#ifndef VUZIRIZORURUZA_COREOUTPUTWINDOWS_H
#define VUZIRIZORURUZA_COREOUTPUTWINDOWS_H

#include "CoreTargetWindows.h"

#include <cstdint>
#include <windows.h>

namespace core {

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

enum class Route {
    create,  // a temporary renamed onto a free name
    replace, // a temporary that replaces the file at the name
    inPlace, // the target itself, written as it stands
};

// One call's output, from its opening to its end. It lives on the heap and
// belongs to the call alone: a call that waits for a held target lets go of
// the module lock, and other calls open outputs of their own meanwhile.
struct Output {
    Route route;
    bool seekable;
    // A second handle to the file the stream writes, still open once the
    // stream is closed: the temporary's carries its delete disposition and
    // publishes it; an in-place disk file's sets its end.
    HANDLE kept = INVALID_HANDLE_VALUE;
    std::uint64_t fileBytes;
    DWORD targetAttributes; // the replaced file's, for its replacement
    WideText target;
    WideText temporary;
};

// Marks the file for deletion when its last handle closes, or lifts the
// mark.
bool dispositionSet(HANDLE handle, bool deleteOnClose);

// Passes on what the fault seam says of a step; a failure it makes leaves
// the last-error code that stands for its errno.
bool faultFails(bool injected);

// Puts the finished temporary at its name, from its still open second
// handle: renamed onto a free name, or over the file there with
// ReplaceFileW. False, with the last-error code set, when it cannot; the
// temporary is then still the caller's to discard.
bool temporaryPublish(Output* output);

} // namespace core

#endif
