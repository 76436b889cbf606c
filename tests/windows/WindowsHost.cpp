// A Windows host for the module, run under Wine by CTest. Each command loads
// VUZIRIZORURUZA.dll the way a host application would and checks one thing
// the Windows loader, the module's exports or its resources must give; the
// exit status is 0 when every check held.
//
//   WindowsHost exports | version | typelib | strings | refusal | registration | lasterror | waits
//   WindowsHost write KEYS.utf8 OUTPUT.wav   (calls the module by ordinal 1)
//   WindowsHost saves DTMFWAVE.exe          (dtmfwave.exe killed part way, and '-')
//   WindowsHost utf8                        (built with UTF-8 as its ANSI code page)
#include "ClassLibrary.h"
#include "DTMFWave.h"
#include "WindowsTestFiles.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using WaveCreateFunction = int32_t(__cdecl*)(const wchar_t*, const wchar_t*);

constexpr wchar_t kModuleName[] = L"VUZIRIZORURUZA.dll";
constexpr WORD kWaveCreateOrdinal = 1;
constexpr UINT kSocketsMessageId = 101;
constexpr LCID kUsEnglish = 0x0409;
constexpr WORD kUnicodeCodePage = 1200;
constexpr UINT kWindowsLatin1CodePage = 1252;
constexpr int kLoadCycles = 3;

int g_failures = 0;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++g_failures;
    }
}

void checkText(const std::wstring& found, const std::wstring& expected, const char* what)
{
    if (found != expected) {
        std::fprintf(stderr, "FAILED: %s: found \"%ls\", expected \"%ls\"\n", what, found.c_str(), expected.c_str());
        ++g_failures;
    }
}

std::wstring modulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

// Build paths are Unix paths; Wine shows the Unix root as drive Z:.
std::wstring windowsPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return path;
}

std::vector<const ClassExtensionLink*> linksOf(const void* instance)
{
    struct Census {
        const void* instance;
        std::vector<const ClassExtensionLink*> links;
    } census{instance, {}};
    ClassExtensionChainWalk(
        [](const ClassExtensionLink* link, void* context) {
            auto* found = static_cast<Census*>(context);
            if (link->instance == found->instance) {
                found->links.push_back(link);
            }
        },
        &census);
    return census.links;
}

std::wstring versionString(const std::vector<BYTE>& block, const wchar_t* key)
{
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length)) {
        return L"<missing>";
    }
    return length == 0 ? std::wstring() : std::wstring(static_cast<const wchar_t*>(value));
}

std::wstring versionText()
{
    wchar_t text[64];
    swprintf(text, 64, L"%d, %d, %d, %d", VUZ_VERSION_MAJOR, VUZ_VERSION_MINOR, VUZ_VERSION_PATCH,
             VUZ_VERSION_TWEAK);
    return text;
}

int exportsCheck()
{
    const HMODULE module = LoadLibraryW(kModuleName);
    check(module != nullptr, "LoadLibraryW loads the module");
    if (module == nullptr) {
        return 1;
    }
    const FARPROC byName = GetProcAddress(module, "DTMFWaveCreate");
    const FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(kWaveCreateOrdinal));
    check(byName != nullptr, "DTMFWaveCreate is exported by name");
    check(byName == byOrdinal, "export number 1 is DTMFWaveCreate");
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "DllMain", "DllCanUnloadNow"}) {
        check(GetProcAddress(module, name) == nullptr, name);
    }
    check(GetProcAddress(module, MAKEINTRESOURCEA(kWaveCreateOrdinal + 1)) == nullptr, "no export number 2");
    FreeLibrary(module);
    return g_failures;
}

int writeFile(const char* keysFile, const char* outputFile)
{
    check(GetACP() == kWindowsLatin1CodePage, "the ANSI code page is Windows-1252");
    std::FILE* input = std::fopen(keysFile, "rb");
    check(input != nullptr, "the key file opens");
    if (input == nullptr) {
        return 1;
    }
    std::string utf8;
    for (int c; (c = std::fgetc(input)) != EOF;) {
        utf8 += static_cast<char>(c);
    }
    std::fclose(input);
    // The host's own decoding, so the keys reach the module as UTF-16.
    std::wstring keys(utf8.size() + 1, L'\0');
    const int units = utf8.empty() ? 0
                                   : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                                         static_cast<int>(utf8.size()), keys.data(),
                                                         static_cast<int>(keys.size()));
    check(utf8.empty() || units > 0, "the key file is UTF-8");
    keys.resize(static_cast<std::size_t>(units));

    const HMODULE module = LoadLibraryW(kModuleName);
    check(module != nullptr, "LoadLibraryW loads the module");
    if (module == nullptr) {
        return 1;
    }
    // FARPROC stands for any function; the plain function pointer type in
    // between says the cast to the real signature is meant.
    const auto waveCreate = reinterpret_cast<WaveCreateFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, MAKEINTRESOURCEA(kWaveCreateOrdinal))));
    check(waveCreate != nullptr, "export number 1 is found");
    if (waveCreate != nullptr) {
        check(waveCreate(keys.c_str(), windowsPath(outputFile).c_str()) == DTMFWAVE_RESULT, "the call returns 999");
    }
    FreeLibrary(module);
    return g_failures;
}

int versionCheck()
{
    const HMODULE module = LoadLibraryW(kModuleName);
    check(module != nullptr, "LoadLibraryW loads the module");
    const std::wstring path = modulePath(module);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> block(size);
    check(size != 0 && GetFileVersionInfoW(path.c_str(), 0, size, block.data()), "the version block is read");
    if (g_failures != 0) {
        return g_failures;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    check(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && length == sizeof *fixed,
          "the fixed part is there");
    if (fixed != nullptr) {
        const DWORD versionHigh = MAKELONG(VUZ_VERSION_MINOR, VUZ_VERSION_MAJOR);
        const DWORD versionLow = MAKELONG(VUZ_VERSION_TWEAK, VUZ_VERSION_PATCH);
        check(fixed->dwSignature == VS_FFI_SIGNATURE, "fixed part signature");
        check(fixed->dwFileVersionMS == versionHigh && fixed->dwFileVersionLS == versionLow, "file version");
        check(fixed->dwProductVersionMS == versionHigh && fixed->dwProductVersionLS == versionLow, "product version");
        check(fixed->dwFileFlagsMask == 0x3F && fixed->dwFileFlags == 0, "flags mask 0x3F, flags 0");
        check(fixed->dwFileOS == VOS__WINDOWS32, "operating system: 32-bit Windows");
        check(fixed->dwFileType == VFT_DLL && fixed->dwFileSubtype == 0, "file type: DLL, no subtype");
        check(fixed->dwFileDateMS == 0 && fixed->dwFileDateLS == 0, "no file date");
    }

    const wchar_t* const emptyKeys[] = {L"CompanyName", L"LegalTrademarks", L"OLESelfRegister"};
    for (const wchar_t* key : emptyKeys) {
        checkText(versionString(block, key), L"", "empty version string");
    }
    checkText(versionString(block, L"FileDescription"), L"VuzirizORURUZA DLL", "FileDescription");
    checkText(versionString(block, L"FileVersion"), versionText(), "FileVersion");
    checkText(versionString(block, L"InternalName"), L"VuzirizORURUZA", "InternalName");
    checkText(versionString(block, L"OriginalFilename"), L"VuzirizORURUZA.DLL", "OriginalFilename");
    checkText(versionString(block, L"ProductName"), L"VuzirizORURUZA Dynamic Link Library", "ProductName");
    checkText(versionString(block, L"ProductVersion"), versionText(), "ProductVersion");
    const std::wstring copyright = versionString(block, L"LegalCopyright");
    check(!copyright.empty() && copyright != L"<missing>", "LegalCopyright carries a notice");

    WORD* translation = nullptr;
    check(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                         &length)
              && length == 2 * sizeof(WORD) && translation[0] == kUsEnglish && translation[1] == kUnicodeCodePage,
          "translation 0x0409, 1200");
    FreeLibrary(module);
    return g_failures;
}

int typeLibraryCheck()
{
    const HMODULE module = LoadLibraryW(kModuleName);
    check(module != nullptr, "LoadLibraryW loads the module");
    ITypeLib* library = nullptr;
    check(SUCCEEDED(LoadTypeLibEx(modulePath(module).c_str(), REGKIND_NONE, &library)), "LoadTypeLibEx");
    if (library == nullptr) {
        return 1;
    }
    TLIBATTR* attributes = nullptr;
    check(SUCCEEDED(library->GetLibAttr(&attributes)), "GetLibAttr");
    if (attributes != nullptr) {
        check(attributes->lcid == kUsEnglish, "locale 0x0409");
        check(attributes->syskind == SYS_WIN32, "system kind: 32-bit Windows");
        check(attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0, "library version 1.0");
        library->ReleaseTLibAttr(attributes);
    }
    BSTR name = nullptr;
    BSTR helpString = nullptr;
    BSTR helpFile = nullptr;
    DWORD helpContext = 0;
    check(SUCCEEDED(library->GetDocumentation(-1, &name, &helpString, &helpContext, &helpFile)),
          "GetDocumentation");
    checkText(name != nullptr ? name : L"", L"VuzirizORURUZA", "library name");
    check(helpString == nullptr || SysStringLen(helpString) == 0, "no help string");
    check(helpFile == nullptr || SysStringLen(helpFile) == 0, "no help file");
    check(library->GetTypeInfoCount() == 0, "no type descriptions");
    SysFreeString(name);
    SysFreeString(helpString);
    SysFreeString(helpFile);
    library->Release();
    FreeLibrary(module);
    return g_failures;
}

int stringTableCheck()
{
    const HMODULE module = LoadLibraryW(kModuleName);
    check(module != nullptr, "LoadLibraryW loads the module");
    wchar_t text[128] = {};
    const int length = LoadStringW(module, kSocketsMessageId, text, 128);
    check(length > 0, "string 101 is there");
    checkText(text, L"Windows sockets initialization failed.", "string 101");
    FreeLibrary(module);
    return g_failures;
}

int refusalCheck()
{
    const std::size_t chainBefore = ClassExtensionChainWalk(nullptr, nullptr);
    ClassExtensionRefusalSet(1);
    SetLastError(0);
    const HMODULE refused = LoadLibraryW(kModuleName);
    const DWORD reason = GetLastError();
    ClassExtensionRefusalSet(0);
    check(refused == nullptr, "a refused module fails LoadLibraryW");
    check(reason == ERROR_DLL_INIT_FAILED, "the failure is the module's initialisation");
    check(GetModuleHandleW(kModuleName) == nullptr, "a refused module is not left loaded");
    check(ClassExtensionChainWalk(nullptr, nullptr) == chainBefore, "a refused module is not registered");
    if (refused != nullptr) {
        FreeLibrary(refused);
    }

    // The refusal belonged to that load alone.
    const HMODULE module = LoadLibraryW(kModuleName);
    check(module != nullptr, "the next load succeeds");
    check(linksOf(module).size() == 1, "the next load registers");
    FreeLibrary(module);
    return g_failures;
}

DWORD WINAPI threadIdle(void*)
{
    return 0;
}

int registrationCheck()
{
    int classes = 0;
    int factories = 0;
    const std::size_t chainBefore = ClassExtensionChainWalk(nullptr, nullptr);
    for (int cycle = 0; cycle < kLoadCycles; ++cycle) {
        *ClassModuleStateCurrent() = ClassModuleState{{&classes, nullptr}, {&factories, nullptr}};
        const HMODULE module = LoadLibraryW(kModuleName);
        check(module != nullptr, "LoadLibraryW loads the module");
        if (module == nullptr) {
            return 1;
        }
        const std::vector<const ClassExtensionLink*> links = linksOf(module);
        check(links.size() == 1, "a load registers the module once");
        check(links.size() == 1 && links[0]->systemModule == 0, "as an ordinary extension module");
        const ClassModuleState& state = *ClassModuleStateCurrent();
        check(state.classes.head == nullptr && state.classes.parkedHead == &classes, "first list head parked");
        check(state.factories.head == nullptr && state.factories.parkedHead == &factories,
              "second list head parked");

        const HMODULE again = LoadLibraryW(kModuleName);
        check(again == module && linksOf(module).size() == 1, "a second reference is no second load");
        const HANDLE thread = CreateThread(nullptr, 0, threadIdle, nullptr, 0, nullptr);
        check(thread != nullptr, "a thread starts");
        if (thread != nullptr) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        check(linksOf(module).size() == 1, "thread attach and detach change nothing");
        FreeLibrary(again);
        check(linksOf(module).size() == 1, "the module stays registered while referenced");

        FreeLibrary(module);
        check(GetModuleHandleW(kModuleName) == nullptr, "FreeLibrary unloads the module");
        check(linksOf(module).empty(), "FreeLibrary undoes the registration");
        check(ClassExtensionChainWalk(nullptr, nullptr) == chainBefore, "the chain is as before the load");
    }

    // Without a link record the module loads and works all the same.
    ClassMemoryRefusalSet(1);
    const HMODULE unlinked = LoadLibraryW(kModuleName);
    ClassMemoryRefusalSet(0);
    check(unlinked != nullptr, "a failed link allocation does not fail the load");
    check(linksOf(unlinked).empty(), "nothing is registered without a link record");
    FreeLibrary(unlinked);
    return g_failures;
}

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
    const auto waveCreate = reinterpret_cast<WaveCreateFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DTMFWaveCreate")));
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
    *waveCreate = *module == nullptr ? nullptr
                                     : reinterpret_cast<WaveCreateFunction>(reinterpret_cast<void (*)()>(
                                           GetProcAddress(*module, "DTMFWaveCreate")));
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
    check(GetLastError() == ERROR_FILE_TOO_LARGE && GetFileAttributesW((folder + L"many.wav").c_str())
                                                       == INVALID_FILE_ATTRIBUTES,
          "600000 bytes of keys are refused before any file is made");
    check(folderRemove(folder), "nothing else is left in the folder");
    FreeLibrary(module);
    return g_failures;
}

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
        host = hostStart(program, keys + L"\"" + folder + name + L"\"", GetStdHandle(STD_OUTPUT_HANDLE),
                         temporaryFolder);
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

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "exports") {
        return exportsCheck();
    }
    if (command == "write" && argc == 4) {
        return writeFile(argv[2], argv[3]);
    }
    if (command == "version") {
        return versionCheck();
    }
    if (command == "typelib") {
        return typeLibraryCheck();
    }
    if (command == "strings") {
        return stringTableCheck();
    }
    if (command == "refusal") {
        return refusalCheck();
    }
    if (command == "registration") {
        return registrationCheck();
    }
    if (command == "lasterror") {
        return lastErrorCheck();
    }
    if (command == "waits") {
        return waitsCheck();
    }
    if (command == "saves" && argc == 3) {
        return savesCheck(argv[2]);
    }
    if (command == "utf8") {
        return utf8Check();
    }
    std::fputs("usage: WindowsHost exports|version|typelib|strings|refusal|registration|lasterror|waits|utf8\n"
               "       WindowsHost write KEYS.utf8 OUTPUT.wav\n"
               "       WindowsHost saves DTMFWAVE.exe\n",
               stderr);
    return 2;
}
