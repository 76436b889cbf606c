// The Windows core layer on its own, under Wine: the ANSI conversion through
// the real code page, wide paths, and outputs that reach their path whole or
// not at all.
#include "CoreOutput.h"

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

std::string fileText(const std::wstring& path)
{
    std::string text;
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    for (int c; file != nullptr && (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return text;
}

void outputCheck(const std::wstring& folder)
{
    // A new file appears only when committed, under its wide name.
    const std::wstring made = folder + L"made \u0416\u20ac.wav";
    std::FILE* stream = core::outputOpen(made.c_str(), 4);
    check(stream != nullptr && core::outputSeekable(stream), "a wide path opens as a seekable file");
    if (stream == nullptr) {
        return;
    }
    core::fileWrite(stream, "RIFF", 4);
    check(!fileExists(made), "nothing is at the path before the commit");
    check(core::outputCommit(stream) && fileText(made) == "RIFF", "the commit puts the file at its path");

    // An abandoned rewrite keeps the earlier file, and errno, as they were.
    stream = core::outputOpen(made.c_str(), 4);
    core::fileWrite(stream, "half", 4);
    errno = EDOM;
    core::outputAbandon(stream);
    check(errno == EDOM, "errno survives the abandon");
    check(fileText(made) == "RIFF", "an abandoned rewrite keeps the earlier file");

    // A read-only file is refused, as opening it for writing would be.
    SetFileAttributesW(made.c_str(), FILE_ATTRIBUTE_READONLY);
    check(core::outputOpen(made.c_str(), 4) == nullptr && errno == EACCES, "a read-only file is refused");
    SetFileAttributesW(made.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(made.c_str());

    // A device is written in place and cannot go back to its start.
    stream = core::outputOpen(L"NUL", 4);
    check(stream != nullptr && !core::outputSeekable(stream), "the null device is written in place");
    if (stream != nullptr) {
        core::outputCommit(stream);
    }
    check(RemoveDirectoryW(folder.c_str()) != 0, "nothing is left in the folder");
}

} // namespace

int main()
{
    check(GetACP() == 1252, "the ANSI code page is Windows-1252");
    conversionCheck();
    outputCheck(scratchFolder());
    return g_failures;
}
