// Writing one file: the module call, and what the host does around it.
#include "Host.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
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

// SIGINT, SIGTERM and SIGHUP keep their usual meaning: they end the host at
// once, even in the middle of a file or a stalled pipe. Nothing is left to
// clean up: the module writes a file that replaces its target into a
// temporary the kernel removes with the process.
void signalsPrepare()
{
#ifndef _WIN32
    // The module refuses a file that would pass the file-size limit before
    // writing it. Should a write still pass it (another process growing the
    // same file meanwhile), it then fails with EFBIG instead of the kernel
    // stopping the host with SIGXFSZ.
    (void)std::signal(SIGXFSZ, SIG_IGN); // cannot fail for a valid signal
#endif
}

int moduleCall(const DTMFWideChar* keys, const DTMFWideChar* path)
{
    // The module leaves errno alone when it succeeds and sets it when it
    // cannot write the file, so a cleared errno tells the two apart.
    errno = 0;
    DTMFWaveCreate(keys, path);
    return errno;
}

int waveWrite(const std::string& keysUtf8, const std::string& pathUtf8, const std::string& where, bool quiet)
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
        report("%snot writing WAVE data to a terminal; redirect standard output or name a file", where.c_str());
        return kExitFailure;
    }
    if (!quiet) {
        silentSlotsReport(keysUtf8, where);
    }

    int reason = 0;
    if (toStandardOutput) {
        // What the host itself wrote to standard output goes first. It writes
        // nothing there today, so a failure here has no bytes to lose.
        (void)std::fflush(stdout);
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
