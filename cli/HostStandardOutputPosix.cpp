// Standard output on POSIX systems.
#include "Host.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Copies the finished file to standard output; returns 0 or the reason it
// could not.
int fileToStandardOutputCopy(std::FILE* wave)
{
    std::fflush(stdout);
    char buffer[65536];
    std::size_t got = 0;
    errno = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, wave)) > 0) {
        if (std::fwrite(buffer, 1, got, stdout) != got) {
            break;
        }
    }
    if (std::ferror(wave) || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

// The module writes a temporary file, which is then copied to standard
// output and removed. Windows has no name for standard output that its
// file API opens as a file; on POSIX this is for a standard output that is
// a regular file, which /dev/stdout would reopen at offset 0 and empty,
// losing whatever the shell had already written there (`>>`, or a group of
// commands sharing one redirection).
int temporaryWriteAndCopy(const std::u16string& keys)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/dtmfwave-XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        return errno;
    }
    close(descriptor);
    const std::optional<std::u16string> wideName = utf16FromUtf8(name);
    if (!wideName) {
        unlink(name.c_str());
        return EILSEQ;
    }
    const DTMFWideChar* moduleName = moduleText(*wideName);
    const auto fileOpen = [&] { return std::fopen(name.c_str(), "rb"); };
    const auto fileRemove = [&] { unlink(name.c_str()); };
    int reason = moduleCall(moduleText(keys), moduleName);
    if (reason == 0) {
        if (std::FILE* wave = fileOpen()) {
            reason = fileToStandardOutputCopy(wave);
            std::fclose(wave);
        } else {
            reason = errno;
        }
    }
    fileRemove();
    return reason;
}

int standardOutputThroughTemporary(const std::u16string& keys)
{
    int reason = 0;
    {
        // Held from before the temporary exists until it is gone, so that a
        // stop signal never leaves it behind. (The flag is set only by the
        // handler, which cannot run meanwhile.)
        const StopSignalsHeld held;
        stopIfSignalled();
        reason = temporaryWriteAndCopy(keys);
    }
    stopIfSignalled();
    return reason;
}

} // namespace

// Standard output takes the WAVE bytes as they are written where it is a
// pipe, a socket or a device: the module writes /dev/stdout in place, header
// first, without seeking back.
int standardOutputWrite(const std::u16string& keys)
{
    struct stat status {};
    if (fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)) {
        return standardOutputThroughTemporary(keys);
    }
    std::fflush(stdout);
    return moduleCall(moduleText(keys), u"/dev/stdout");
}
