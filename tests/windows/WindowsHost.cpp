// A Windows host for the module, run under Wine by CTest. Each command loads
// VUZIRIZORURUZA.dll the way a host application would and checks one thing
// the Windows loader, the module's exports or its resources must give (this
// file), or how the module saves files (WindowsHostSaves.cpp); the exit
// status is 0 when every check held.
//
//   WindowsHost exports | version | typelib | strings | refusal | registration | lasterror | waits
//   WindowsHost write KEYS.utf8 OUTPUT.wav   (calls the module by ordinal 1)
//   WindowsHost saves DTMFWAVE.exe          (dtmfwave.exe killed part way, and '-')
//   WindowsHost utf8                        (built with UTF-8 as its ANSI code page)
#include "WindowsHost.h"
#include "ClassLibrary.h"
#include "DTMFWave.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

int g_failures = 0;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++g_failures;
    }
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

namespace {

constexpr WORD kWaveCreateOrdinal = 1;
constexpr UINT kSocketsMessageId = 101;
constexpr LCID kUsEnglish = 0x0409;
constexpr WORD kUnicodeCodePage = 1200;
constexpr UINT kWindowsLatin1CodePage = 1252;
constexpr int kLoadCycles = 3;

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
    swprintf(text, 64, L"%d, %d, %d, %d", VUZ_VERSION_MAJOR, VUZ_VERSION_MINOR, VUZ_VERSION_PATCH, VUZ_VERSION_TWEAK);
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
    const int units = utf8.empty()
        ? 0
        : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), keys.data(),
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
    check(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length)
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
    check(SUCCEEDED(library->GetDocumentation(-1, &name, &helpString, &helpContext, &helpFile)), "GetDocumentation");
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
        check(state.factories.head == nullptr && state.factories.parkedHead == &factories, "second list head parked");

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
