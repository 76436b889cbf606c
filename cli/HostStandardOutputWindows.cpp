// Standard output on Windows: the module writes a temporary file, which is
// then copied to standard output in binary mode.
#include "Host.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

// Copies the finished file to standard output; returns 0 or the reason it
// could not.
int fileToStandardOutputCopy(std::FILE* wave)
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
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
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD folderLength = GetTempPathW(MAX_PATH + 1, folder);
    if (folderLength == 0 || folderLength > MAX_PATH || GetTempFileNameW(folder, L"dtw", 0, name) == 0) {
        return EACCES;
    }
    const DTMFWideChar* moduleName = reinterpret_cast<const DTMFWideChar*>(name);
    const auto fileOpen = [&] { return _wfopen(name, L"rb"); };
    const auto fileRemove = [&] { _wremove(name); };
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

} // namespace

int standardOutputWrite(const std::u16string& keys)
{
    return temporaryWriteAndCopy(keys);
}
