// Writing one file: the module call, and what the host does around it.
#include "Host.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// Whether the path names something now. On Windows the narrow file API
// speaks the ANSI code page, so the UTF-16 form is used there.
bool pathExists(const std::string& utf8, const std::u16string& utf16)
{
#ifdef _WIN32
    (void)utf8;
    struct _stat64 status {};
    return _wstat64(moduleText(utf16), &status) == 0;
#else
    (void)utf16;
    struct stat status {};
    return stat(utf8.c_str(), &status) == 0;
#endif
}

// The module refuses a key string past its limit with EFBIG, the code a
// file-size limit (ulimit -f) gives too. "File too large" would send the
// user looking at the disk, so the first is told in keys, with the limit to
// stay under; it is refused before anything is written, so a key string
// that long is the reason whenever EFBIG comes back.
std::string failureReason(int reason, const std::u16string& keys)
{
    if (reason == EFBIG && keys.size() > DTMFWAVE_MAX_KEYS) {
        return "too many keys (" + std::to_string(keys.size()) + "; one file holds at most "
               + std::to_string(DTMFWAVE_MAX_KEYS) + ")";
    }
    return std::strerror(reason);
}

} // namespace

// SIGINT, SIGTERM and SIGHUP stop the host between files, never inside one:
// they are held back while the module writes (a call is bounded, the
// largest about 2 GB), and acted on as soon as it returns. The module writes
// beside the target and renames, so the target is then the old file or the
// new one, and no temporary is left. The status is 128 + the signal number.
#ifndef _WIN32
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;
constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGTERM};

extern "C" void stopSignalNote(int signal)
{
    g_stopSignal = signal;
}

} // namespace

void stopSignalsCatch()
{
    // Past a file-size limit (ulimit -f) the kernel would kill the host
    // mid-file with SIGXFSZ; ignored, the write fails with EFBIG instead, the
    // module removes its temporary, and the failure is reported as any other.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const int signal : kStopSignals) {
        struct sigaction previous {};
        // A signal ignored on entry (nohup, a background job) stays ignored.
        if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = stopSignalNote;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a read waiting for the next batch line returns at
        // once, so a signal stops a batch fed slowly from a pipe promptly.
        action.sa_flags = 0;
        sigaction(signal, &action, nullptr);
    }
}

void stopIfSignalled()
{
    if (g_stopSignal != 0) {
        progressWipe();
        std::exit(128 + g_stopSignal);
    }
}

// Those that arrived meanwhile are delivered when it ends.
StopSignalsHeld::StopSignalsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kStopSignals) {
        sigaddset(&held, signal);
    }
    sigprocmask(SIG_BLOCK, &held, &previous_);
}

StopSignalsHeld::~StopSignalsHeld()
{
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
}
#else
// Windows has no such signals to hold back: a console's Ctrl+C ends the
// process as it always did.
void stopSignalsCatch() {}
void stopIfSignalled() {}
#endif

int moduleCall(const DTMFWideChar* keys, const DTMFWideChar* path)
{
    stopIfSignalled();
    int reason = 0;
    {
        const StopSignalsHeld held;
        // The module leaves errno alone when it succeeds and sets it when it
        // cannot write the file, so a cleared errno tells the two apart.
        errno = 0;
        DTMFWaveCreate(keys, path);
        reason = errno;
    }
    stopIfSignalled();
    return reason;
}

int waveWrite(const std::string& keysUtf8, const std::string& pathUtf8, const std::string& where,
              bool quiet)
{
    const std::optional<std::u16string> keys = utf16FromUtf8(keysUtf8);
    if (!keys) {
        report("%sKEYS is not valid UTF-8", where.c_str());
        return kExitUsage;
    }
    const std::optional<std::u16string> path = utf16FromUtf8(pathUtf8);
    if (!path || path->empty()) {
        report("%sOUTPUT.wav must be a non-empty UTF-8 path", where.c_str());
        return kExitUsage;
    }
    const bool toStandardOutput = pathUtf8 == kStandardStream;
    if (toStandardOutput && isTerminal(stdout)) {
        report("%snot writing WAVE data to a terminal; redirect standard output or name a file",
               where.c_str());
        return kExitFailure;
    }
    if (!quiet) {
        silentSlotsReport(keysUtf8, where);
    }

    int reason = 0;
    if (toStandardOutput) {
        reason = standardOutputWrite(*keys);
    } else {
        reason = moduleCall(moduleText(*keys), moduleText(*path));
        if (reason == 0 && !pathExists(pathUtf8, *path)) {
            reason = errno;
        }
    }
    if (reason != 0) {
        report("%scannot write '%s': %s", where.c_str(), toStandardOutput ? "<stdout>" : pathUtf8.c_str(),
               failureReason(reason, *keys).c_str());
        return kExitFailure;
    }
    return kExitSuccess;
}
