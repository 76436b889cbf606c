// What every call of the module needs around it from the stand-in core
// library: the platform's error channels, saved at entry and set on
// failure, and the one lock that makes calls take turns.
#ifndef VUZIRIZORURUZA_CORECALL_H
#define VUZIRIZORURUZA_CORECALL_H

namespace core {

// Sets the platform's own error channels for a call that failed with the
// errno value reason: on Windows the thread's last-error code as well, which
// callers built against any C runtime can read, taken from the operation
// that failed when the core saw it fail.
void failureReport(int reason);

#if defined(_WIN32)
// Notes that a Windows call just failed: its last-error code is the one a
// caller will read, and errno is set to what that code stands for.
void failureRecordWin32();
// The Windows code for a failure that only errno describes.
unsigned long win32FromErrno(int reason);
#endif

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
