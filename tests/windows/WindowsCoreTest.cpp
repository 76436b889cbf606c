// The Windows core layer on its own, under Wine: the ANSI conversion through
// the real code page, wide paths, and outputs that reach their path whole or
// not at all. It is built with the fault seam, so that the failures Wine
// cannot make (a full disk, a refused deletion) are made here.
#include "CoreCall.h"
#include "CoreFaults.h"
#include "CoreOutput.h"
#include "WindowsTestFiles.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using core::FaultPlan;
using core::FileOperation;
using core::WriteFailure;

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

// One whole write, as the module's call makes it: under the module lock,
// which the commit lets go of while it waits.
bool outputWrite(const std::wstring& path, const std::string& bytes)
{
    core::callLockAcquire();
    std::FILE* stream = core::outputOpen(path.c_str(), bytes.size());
    bool written = false;
    if (stream != nullptr) {
        if (core::fileWrite(stream, bytes.data(), bytes.size())) {
            written = core::outputCommit(stream);
        } else {
            core::outputAbandon(stream);
        }
    }
    core::callLockRelease();
    return written;
}

bool outputWriteFailing(const std::wstring& path, std::vector<FaultPlan> plans)
{
    core::faultPlansReset();
    for (const FaultPlan& plan : plans) {
        core::faultPlanAdd(plan);
    }
    const bool written = outputWrite(path, "RIFF");
    core::faultPlansReset();
    return written;
}

void outputCheck(const std::wstring& folder)
{
    // A new file appears only when committed, under its wide name.
    const std::wstring made = folder + L"made \u0416\u20ac.wav";
    core::callLockAcquire();
    std::FILE* stream = core::outputOpen(made.c_str(), 4);
    check(stream != nullptr && core::outputSeekable(stream), "a wide path opens as a seekable file");
    if (stream != nullptr) {
        core::fileWrite(stream, "RIFF", 4);
        check(!fileExists(made), "nothing is at the path before the commit");
        check(core::outputCommit(stream) && fileText(made) == "RIFF", "the commit puts the file at its path");
    }

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

    // A device is written in place and cannot go back to its start.
    stream = core::outputOpen(L"NUL", 4);
    check(stream != nullptr && !core::outputSeekable(stream), "the null device is written in place");
    if (stream != nullptr) {
        core::outputCommit(stream);
    }
    core::callLockRelease();
    check(folderClear(folder), "nothing is left in the folder");
}

// Runs a Unix program on a file, as Wine can: "ln -s TARGET", "rm -f".
bool unixRun(const wchar_t* program, const std::wstring& arguments, const std::wstring& path)
{
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* unixPath = unixName != nullptr ? unixName(path.c_str()) : nullptr;
    if (unixPath == nullptr) {
        return false;
    }
    std::wstring command = std::wstring(program) + L" " + arguments + L" \"";
    for (const char* c = unixPath; *c != '\0'; ++c) {
        command += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    command += L"\"";
    HeapFree(GetProcessHeap(), 0, unixPath);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const std::wstring image = std::wstring(L"Z:\\bin\\") + program;
    if (!CreateProcessW(image.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

// Wine does not wait for the Unix programs it starts: their work is
// waited for instead.
bool eventually(bool (*condition)(const std::wstring&), const std::wstring& path)
{
    for (int poll = 0; poll < 1000 && !condition(path); ++poll) {
        Sleep(10);
    }
    return condition(path);
}

bool nameListed(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    return search != INVALID_HANDLE_VALUE;
}

bool nameFree(const std::wstring& path)
{
    return !nameListed(path);
}

// Wine's CreateSymbolicLinkW reports success and makes nothing; Wine does
// follow the links of the Unix file system beneath it, so there the link
// is made by ln.
bool symbolicLinkMake(const std::wstring& link, const wchar_t* target)
{
    if (CreateSymbolicLinkW(link.c_str(), target, SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) && fileExists(link)) {
        return true;
    }
    return unixRun(L"ln", L"-s \"" + std::wstring(target) + L"\"", link) && eventually(fileExists, link);
}

// Under Wine DeleteFileW on a link removes the file it names instead.
void symbolicLinkRemove(const std::wstring& link)
{
    if (!unixRun(L"rm", L"-f", link) || !eventually(nameFree, link)) {
        DeleteFileW(link.c_str());
    }
}

std::wstring finalNameOf(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    wchar_t name[1024] = {};
    GetFinalPathNameByHandleW(file, name, 1024, FILE_NAME_NORMALIZED);
    CloseHandle(file);
    return name;
}

// A link stays a link, and the file it names takes the new content.
void symbolicLinkCase(const std::wstring& folder)
{
    fileMake(folder + L"real.wav", "old");
    if (!symbolicLinkMake(folder + L"link.wav", L"real.wav")) {
        std::fputs("note: no symbolic link could be made here; the link case is not run\n", stderr);
        return;
    }
    const bool linkShown = (GetFileAttributesW((folder + L"link.wav").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    check(outputWrite(folder + L"link.wav", "RIFF"), "a write through a symbolic link succeeds");
    check(fileText(folder + L"real.wav") == "RIFF", "the file the link names takes the new content");
    check(finalNameOf(folder + L"link.wav") == finalNameOf(folder + L"real.wav"), "the link still names that file");
    check(!linkShown || (GetFileAttributesW((folder + L"link.wav").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
          "the link is still a link");
    check(folderNames(folder).size() == 2, "nothing else is left beside them");
    symbolicLinkRemove(folder + L"link.wav");
}

// The replacement keeps what the file it replaces shows (hidden, system)
// and is marked for backup, as is every new file. Wine shows every file as
// marked for backup, so there only the first holds anything back. The
// access list, owner, streams, object ID, compression and encryption that
// ReplaceFileW keeps are not Wine's to show either.
void attributesCase(const std::wstring& folder)
{
    const DWORD shown = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    fileMake(folder + L"old.wav", "old", shown);
    check(outputWrite(folder + L"old.wav", "RIFF") && fileText(folder + L"old.wav") == "RIFF",
          "a hidden system file is replaced");
    const DWORD replaced = GetFileAttributesW((folder + L"old.wav").c_str());
    check((replaced & shown) == shown, "the replacement is hidden and system as the old file was");
    check((replaced & FILE_ATTRIBUTE_ARCHIVE) != 0, "the replacement is marked for backup");
    check(outputWrite(folder + L"new.wav", "RIFF"), "a new file is written");
    const DWORD made = GetFileAttributesW((folder + L"new.wav").c_str());
    check((made & FILE_ATTRIBUTE_ARCHIVE) != 0 && (made & FILE_ATTRIBUTE_HIDDEN) == 0,
          "a new file is marked for backup and not hidden");
}

// The temporary goes with every failure, even where its deletion is
// refused: the system removes it when its handle closes.
void refusedDeletionCase(const std::wstring& folder)
{
    fileMake(folder + L"old.wav", "old");
    const FaultPlan refused{FileOperation::discard, 1, EACCES, WriteFailure::atOnce, nullptr};
    for (const wchar_t* name : {L"old.wav", L"new.wav"}) {
        const std::wstring path = folder + name;
        check(!outputWriteFailing(path, {{FileOperation::write, 1, ENOSPC, WriteFailure::halfway, nullptr}, refused}),
              "a failed write fails");
        check(!outputWriteFailing(path, {{FileOperation::rename, 1, EIO, WriteFailure::atOnce, nullptr}, refused}),
              "a failed replacement fails");
        check(!outputWriteFailing(path, {{FileOperation::metadata, 1, EIO, WriteFailure::atOnce, nullptr}, refused}),
              "failed attributes fail");
    }
    check(fileText(folder + L"old.wav") == "old", "the old file is as it was");
    check(folderNames(folder).size() == 1, "no temporary is left beside it");
}

// A file of two links is written in place, through both of them.
void twoLinkFileMake(const std::wstring& folder, const std::string& text, DWORD attributes)
{
    fileMake(folder + L"a.wav", text);
    CreateHardLinkW((folder + L"b.wav").c_str(), (folder + L"a.wav").c_str(), nullptr);
    SetFileAttributesW((folder + L"a.wav").c_str(), attributes);
}

// Opened without truncation, given its exact end, and its attributes kept.
// Windows refuses to recreate a hidden or system file unless the open
// repeats its attributes; Wine does not, so there it is the room check and
// the emptying below that tell an open that truncates from one that does
// not.
void inPlaceCase(const std::wstring& folder)
{
    const DWORD shown = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    twoLinkFileMake(folder, "an older and longer file", shown);
    check(outputWrite(folder + L"a.wav", "RIFF"), "a hidden system file of two links is written");
    check(fileText(folder + L"a.wav") == "RIFF" && fileText(folder + L"b.wav") == "RIFF",
          "both links show exactly the new content");
    check((GetFileAttributesW((folder + L"a.wav").c_str()) & shown) == shown, "its attributes are kept");

    // Room is claimed before the first byte changes: refused, the file is
    // as it was (Wine cannot reserve; the free room is checked there).
    core::callLockAcquire();
    std::FILE* stream = core::outputOpen((folder + L"a.wav").c_str(), std::uint64_t{1} << 50);
    core::callLockRelease();
    check(stream == nullptr && errno == ENOSPC, "a file larger than the free room is refused");
    check(fileText(folder + L"a.wav") == "RIFF", "a refused file is left as it was");

    // A failed write empties the file and removes no name.
    check(!outputWriteFailing(folder + L"a.wav", {{FileOperation::write, 1, ENOSPC, WriteFailure::halfway, nullptr}}),
          "a failed write fails");
    check(fileExists(folder + L"a.wav") && fileExists(folder + L"b.wav"), "no name is removed");
    check(fileText(folder + L"a.wav").empty(), "the damaged file is emptied");
}

// Names near MAX_PATH: the temporary beside them is 16 units longer and
// would not open in its plain form without the system's long-path opt-in,
// so it takes the \\?\ form. Wine opens long plain names too, so there the
// case shows the names work end to end, not which form they took.
void longNameCase(const std::wstring& folder)
{
    constexpr std::size_t kPlainUnits = MAX_PATH - 1;
    // A long name in this folder, and a short one in a folder as deep as
    // plain names allow, each 259 units in all.
    const std::wstring longName = folder + std::wstring(kPlainUnits - 4 - folder.size(), L'l') + L".wav";
    const std::wstring deep = folder + std::wstring(kPlainUnits - 8 - folder.size(), L'd');
    const std::wstring shortName = deep + L"\\sss.wav";
    CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr);
    check(longName.size() == kPlainUnits && shortName.size() == kPlainUnits, "the names are 259 units");
    fileMake(longName, "old");
    check(outputWrite(longName, "RIFF") && fileText(longName) == "RIFF", "a 259-unit file is replaced");
    check(outputWrite(shortName, "RIFF") && fileText(shortName) == "RIFF", "a new 259-unit file is written");
    check(folderNames(deep + L"\\").size() == 1, "nothing else is left in the deep folder");
    DeleteFileW((L"\\\\?\\" + shortName).c_str());
    RemoveDirectoryW((L"\\\\?\\" + deep).c_str());
    check(folderNames(folder).size() == 1, "nothing else is left beside the long name");
}

// A pipe's only instance is opened once, as it stands: a look at it first
// would take the instance, and the open would find the pipe busy.
void pipeCase(const std::wstring& /*folder*/)
{
    const std::wstring name = L"\\\\.\\pipe\\vuz-core-" + std::to_wstring(GetCurrentProcessId());
    HANDLE pipe =
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
    core::callLockAcquire();
    std::FILE* stream = core::outputOpen(name.c_str(), 4);
    check(stream != nullptr && !core::outputSeekable(stream), "a pipe of one instance opens, in place");
    if (stream != nullptr) {
        core::fileWrite(stream, "RIFF", 4);
        core::outputCommit(stream);
    }
    core::callLockRelease();
    char bytes[8] = {};
    DWORD got = 0;
    check(ReadFile(pipe, bytes, sizeof bytes, &got, nullptr) && got == 4 && std::memcmp(bytes, "RIFF", 4) == 0,
          "the bytes come out of the pipe");
    CloseHandle(pipe);
}

struct SaveCase {
    const char* name;
    void (*run)(const std::wstring& folder);
};

constexpr SaveCase kSaveCases[] = {
    {"symbolic link", symbolicLinkCase}, {"attributes", attributesCase}, {"refused deletion", refusedDeletionCase},
    {"in place", inPlaceCase},           {"long names", longNameCase},   {"pipe", pipeCase},
};

void saveCasesRun(const std::wstring& scratch)
{
    for (const SaveCase& saveCase : kSaveCases) {
        const std::wstring folder = scratch + std::wstring(saveCase.name, saveCase.name + std::strlen(saveCase.name));
        CreateDirectoryW(folder.c_str(), nullptr);
        const int failuresBefore = g_failures;
        saveCase.run(folder + L"\\");
        check(folderClear(folder + L"\\") && RemoveDirectoryW(folder.c_str()), "the case's folder is removed");
        if (g_failures != failuresBefore) {
            std::fprintf(stderr, "  in the case: %s\n", saveCase.name);
        }
    }
}

} // namespace

int main()
{
    check(GetACP() == 1252, "the ANSI code page is Windows-1252");
    conversionCheck();
    const std::wstring scratch = scratchFolder();
    outputCheck(scratch);
    saveCasesRun(scratch);
    check(RemoveDirectoryW(scratch.c_str()) != 0, "the scratch folder is removed");
    return g_failures;
}
