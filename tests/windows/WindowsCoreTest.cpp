// The Windows core layer on its own, under Wine: the ANSI conversion through
// the real code page, wide paths, and the rule that a failed file is
// removed only while the path still names the regular file this call made.
#include "CoreRuntime.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int g_failures = 0;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++g_failures;
    }
}

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring scratchFolder()
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"vuz-core-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

void conversionCheck()
{
    // Letters Windows-1252 holds exactly, and two units it cannot encode.
    const wchar_t keys[] = L"1\u00e9\u20ac\u00fc#\u0416";
    char narrow[32];
    const std::size_t length = core::ansiFromWide(keys, narrow, sizeof narrow);
    check(length == 6 && std::memcmp(narrow, "1\xe9\x80\xfc#?", 7) == 0, "keys through code page 1252");
    check(core::ansiFromWide(keys, narrow, 3) == 0 && narrow[0] == '\0', "a short buffer gives the empty string");
}

void discardCheck(const std::wstring& folder)
{
    // A regular file made by this call goes, and errno stays as it was.
    const std::wstring made = folder + L"made \u0416\u20ac.wav";
    core::FileIdentity identity{};
    std::FILE* stream = core::fileCreate(made.c_str(), &identity);
    check(stream != nullptr && identity.removable, "a wide path opens as a regular file");
    if (stream == nullptr) {
        return;
    }
    core::fileWrite(stream, "RIFF", 4);
    core::fileClose(stream);
    errno = EDOM;
    core::fileDiscard(made.c_str(), identity);
    check(!fileExists(made), "the file this call made is removed");
    check(errno == EDOM, "errno survives the removal");

    // A file that took the path's place since is someone else's.
    const std::wstring moved = folder + L"moved.wav";
    stream = core::fileCreate(made.c_str(), &identity);
    core::fileClose(stream);
    MoveFileW(made.c_str(), moved.c_str());
    HANDLE replacement = CreateFileW(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(replacement);
    core::fileDiscard(made.c_str(), identity);
    check(fileExists(made) && fileExists(moved), "a replaced file is left alone");
    DeleteFileW(made.c_str());
    DeleteFileW(moved.c_str());

    // A device is never a file to remove.
    stream = core::fileCreate(L"NUL", &identity);
    check(stream != nullptr && !identity.removable, "the null device is not removable");
    if (stream != nullptr) {
        core::fileClose(stream);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

int main()
{
    check(GetACP() == 1252, "the ANSI code page is Windows-1252");
    conversionCheck();
    discardCheck(scratchFolder());
    return g_failures;
}
