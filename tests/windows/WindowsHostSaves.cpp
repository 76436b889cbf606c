// The Windows test host's checks of how the module saves files: the
// last-error code, a held target waited for without stalling other calls,
// keys in a UTF-8 code page, and dtmfwave.exe killed part way or writing to
// standard output.
#include "WindowsHost.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The last-error code is the channel every caller can read, whatever C
// runtime it was built against: it names each failure and is left as it was
// by a success, which also leaves no temporary beside the file it replaced.
int lastErrorCheck()
{
    const HMODULE module = LoadLibraryW(kModuleName);
    check(module != nullptr, "LoadLibraryW loads the module");
    if (module == nullptr) {
        return 1;
    }
    const auto waveCreate =
        reinterpret_cast<WaveCreateFunction>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DTMFWaveCreate")));
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    const std::wstring folder = std::wstring(base) + L"vuz-lasterror-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring target = folder + L"\\replaced.wav";
    HANDLE earlier = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(earlier, "old", 3, &written, nullptr);
    CloseHandle(earlier);

    SetLastError(ERROR_SUCCESS);
    waveCreate(L"1", (folder + L"\\missing\\x.wav").c_str());
    check(GetLastError() == ERROR_PATH_NOT_FOUND, "a missing folder leaves ERROR_PATH_NOT_FOUND");
    SetLastError(ERROR_SUCCESS);
    waveCreate(L"1", nullptr);
    check(GetLastError() == ERROR_INVALID_PARAMETER, "a null path leaves ERROR_INVALID_PARAMETER");
    SetLastError(ERROR_SUCCESS);
    waveCreate(L"1#", target.c_str());
    check(GetLastError() == ERROR_SUCCESS, "a success leaves the last-error code clear");
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    check(GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &facts) && facts.nFileSizeLow == 8044
              && (facts.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0,
          "the earlier file is replaced by the whole new one, not hidden");
    check(folderNames(folder + L"\\").size() == 1, "no temporary is left beside the file");
    SetLastError(ERROR_MORE_DATA);
    waveCreate(L"", target.c_str());
    check(GetLastError() == ERROR_MORE_DATA, "a success restores the entry value");

    DeleteFileW(target.c_str());
    RemoveDirectoryW(folder.c_str());
    FreeLibrary(module);
    return g_failures;
}

namespace {

std::wstring scratchMake(const wchar_t* name)
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    const std::wstring folder =
        std::wstring(base) + L"vuz-" + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// A temporary of the module's, ".NAME.TAG.partial", is in the folder.
bool temporaryPresent(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"*.partial").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    return search != INVALID_HANDLE_VALUE;
}

bool temporaryAppears(const std::wstring& folder, HANDLE writer)
{
    for (int poll = 0; poll < 3000 && !temporaryPresent(folder); ++poll) {
        if (WaitForSingleObject(writer, 10) == WAIT_OBJECT_0) {
            break;
        }
    }
    return temporaryPresent(folder);
}

bool folderRemove(const std::wstring& folder)
{
    return folderClear(folder) && RemoveDirectoryW(folder.c_str()) != 0;
}

// Loads the module and finds its call; false when either fails.
bool moduleLoad(HMODULE* module, WaveCreateFunction* waveCreate)
{
    *module = LoadLibraryW(kModuleName);
    check(*module != nullptr, "LoadLibraryW loads the module");
    *waveCreate = *module == nullptr
        ? nullptr
        : reinterpret_cast<WaveCreateFunction>(reinterpret_cast<void (*)()>(GetProcAddress(*module, "DTMFWaveCreate")));
    check(*waveCreate != nullptr, "DTMFWaveCreate is found");
    return *waveCreate != nullptr;
}

struct HeldCall {
    WaveCreateFunction waveCreate;
    std::wstring path;
    DWORD lastError;
};

DWORD WINAPI heldCallRun(void* context)
{
    auto* call = static_cast<HeldCall*>(context);
    SetLastError(ERROR_SUCCESS);
    call->waveCreate(L"1", call->path.c_str());
    call->lastError = GetLastError();
    return 0;
}

} // namespace

// A reader holding the target without delete sharing is waited for, for a
// bounded time and without the module lock: other threads' calls go ahead
// meanwhile, and a file that refuses for good is refused at once.
int waitsCheck()
{
    HMODULE module = nullptr;
    WaveCreateFunction waveCreate = nullptr;
    if (!moduleLoad(&module, &waveCreate)) {
        return 1;
    }
    const std::wstring folder = scratchMake(L"waits");
    HeldCall held{waveCreate, folder + L"held.wav", 0};
    fileMake(held.path, "old");
    fileMake(folder + L"locked.wav", "old", FILE_ATTRIBUTE_READONLY);
    HANDLE reader = CreateFileW(held.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);

    HANDLE thread = CreateThread(nullptr, 0, heldCallRun, &held, 0, nullptr);
    check(temporaryAppears(folder, thread), "the call on the held target writes its temporary");
    waveCreate(L"1#", (folder + L"other.wav").c_str());
    check(WaitForSingleObject(thread, 0) == WAIT_TIMEOUT && fileText(folder + L"other.wav").size() == 8044,
          "a call on another path finishes while the held target's call waits");
    SetLastError(ERROR_SUCCESS);
    waveCreate(L"1", (folder + L"locked.wav").c_str());
    check(GetLastError() == ERROR_ACCESS_DENIED && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT,
          "a read-only file is refused at once, not waited for");
    check(WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0 && held.lastError == ERROR_SHARING_VIOLATION,
          "the held target's call gives up after its bound, naming the sharing violation");
    CloseHandle(thread);
    check(fileText(held.path) == "old" && folderNames(folder).size() == 3,
          "the held file is as it was, and nothing is left beside the three files");
    CloseHandle(reader);

    // A reader that lets go while the call waits lets it through.
    reader = CreateFileW(held.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    thread = CreateThread(nullptr, 0, heldCallRun, &held, 0, nullptr);
    check(temporaryAppears(folder, thread), "the call writes its temporary again");
    CloseHandle(reader);
    check(WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0 && held.lastError == ERROR_SUCCESS
              && fileText(held.path).size() == 4044,
          "the file is replaced once its reader lets go");
    CloseHandle(thread);
    check(folderRemove(folder), "nothing else is left in the folder");
    FreeLibrary(module);
    return g_failures;
}

// Keys are one slot per byte of the ANSI code page, whatever it is: in
// UTF-8 a euro sign is three silent slots, and a key string whose UTF-8
// form passes the limit is refused though its units do not.
int utf8Check()
{
    check(GetACP() == CP_UTF8, "the ANSI code page is UTF-8");
    HMODULE module = nullptr;
    WaveCreateFunction waveCreate = nullptr;
    if (!moduleLoad(&module, &waveCreate)) {
        return 1;
    }
    const std::wstring folder = scratchMake(L"utf8");
    SetLastError(ERROR_SUCCESS);
    waveCreate(L"1\u20ac\u20ac\u20ac\u20ac#", (folder + L"euro.wav").c_str());
    const std::string wave = fileText(folder + L"euro.wav");
    check(GetLastError() == ERROR_SUCCESS && wave.size() == 44 + 14 * 4000, "1, four euro signs and # give 14 slots");
    check(wave.size() == 44 + 14 * 4000
              && std::string(wave.begin() + 44 + 4000, wave.end() - 4000) == std::string(12 * 4000, '\x80')
              && std::string(wave.end() - 4000, wave.end() - 2000) != std::string(2000, '\x80'),
          "twelve silent slots, then the # tone");

    const std::wstring many(200000, L'\u20ac');
    SetLastError(ERROR_SUCCESS);
    waveCreate(many.c_str(), (folder + L"many.wav").c_str());
    check(GetLastError() == ERROR_FILE_TOO_LARGE
              && GetFileAttributesW((folder + L"many.wav").c_str()) == INVALID_FILE_ATTRIBUTES,
          "600000 bytes of keys are refused before any file is made");
    check(folderRemove(folder), "nothing else is left in the folder");
    FreeLibrary(module);
    return g_failures;
}

namespace {

// Starts dtmfwave.exe with standard output to output, and the temporary
// folder set to temporaryFolder.
HANDLE hostStart(const std::wstring& program, const std::wstring& arguments, HANDLE output,
                 const std::wstring& temporaryFolder)
{
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    SetEnvironmentVariableW(L"TEMP", temporaryFolder.c_str());
    SetEnvironmentVariableW(L"TMP", temporaryFolder.c_str());
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    check(started != 0, "dtmfwave.exe starts");
    if (!started) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

void hostKill(HANDLE host)
{
    TerminateProcess(host, 1);
    WaitForSingleObject(host, INFINITE);
    CloseHandle(host);
}

} // namespace

// dtmfwave.exe killed part way leaves nothing behind: not beside the file
// it writes, new or replaced, and not in its temporary folder when it
// writes to standard output. And '-' gives the very bytes of a file.
int savesCheck(const char* dtmfwave)
{
    HMODULE module = nullptr;
    WaveCreateFunction waveCreate = nullptr;
    if (!moduleLoad(&module, &waveCreate)) {
        return 1;
    }
    const std::wstring program = windowsPath(dtmfwave);
    const std::wstring folder = scratchMake(L"saves");
    const std::wstring temporaryFolder = scratchMake(L"saves-temp");
    waveCreate(L"1#", (folder + L"file.wav").c_str());
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE output = CreateFileW((folder + L"piped.wav").c_str(), GENERIC_WRITE, 0, &inherited, CREATE_NEW, 0, nullptr);
    HANDLE host = hostStart(program, L"1# -", output, temporaryFolder);
    CloseHandle(output);
    DWORD status = 1;
    check(host != nullptr && WaitForSingleObject(host, 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(host, &status)
              && status == 0,
          "dtmfwave.exe '1#' - succeeds");
    CloseHandle(host);
    check(fileText(folder + L"piped.wav") == fileText(folder + L"file.wav"), "'-' gives the bytes of the file");

    // 120 MB, seconds of writing under Wine: time enough to be killed in.
    const std::wstring keys = L"-q " + std::wstring(30000, L'1') + L" ";
    fileMake(folder + L"old.wav", "old");
    for (const wchar_t* name : {L"old.wav", L"new.wav"}) {
        host =
            hostStart(program, keys + L"\"" + folder + name + L"\"", GetStdHandle(STD_OUTPUT_HANDLE), temporaryFolder);
        check(host != nullptr && temporaryAppears(folder, host), "the host writes its temporary");
        hostKill(host);
        check(!temporaryPresent(folder), "a host killed part way leaves no temporary");
    }
    check(fileText(folder + L"old.wav") == "old", "the file it was replacing is as it was");
    check(GetFileAttributesW((folder + L"new.wav").c_str()) == INVALID_FILE_ATTRIBUTES, "no new file appears");

    // Killed while writing '-', or left by its reader: the host stops.
    for (const bool killed : {true, false}) {
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        CreatePipe(&readEnd, &writeEnd, &inherited, 0);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        host = hostStart(program, keys + L"-", writeEnd, temporaryFolder);
        CloseHandle(writeEnd);
        char bytes[4096];
        DWORD got = 0;
        check(ReadFile(readEnd, bytes, sizeof bytes, &got, nullptr) && got > 0, "'-' writes as it goes");
        if (killed && host != nullptr) {
            hostKill(host);
        }
        CloseHandle(readEnd);
        if (!killed && host != nullptr) {
            check(WaitForSingleObject(host, 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(host, &status) && status == 1,
                  "a host whose reader went away stops with a failure");
            CloseHandle(host);
        }
    }
    check(folderNames(temporaryFolder).empty(), "a host killed writing '-' leaves nothing in its temporary folder");
    folderRemove(temporaryFolder);
    check(folderRemove(folder), "nothing else is left in the folder");
    FreeLibrary(module);
    return g_failures;
}
