/* A C program built the Microsoft toolchain's way (Clang in MSVC mode,
 * lld-link) against the ZIP's VUZIRIZORURUZA.lib:
 *   msvc_consumer KEYS OUTPUT.wav
 * exits 0 when the file was written, 1 when the last-error code says it was
 * not, 2 for a usage error. Microsoft's C runtime is not on this machine,
 * so the program starts at its own entry point and asks Windows for its
 * arguments. */
#include <vuzirizoruza/DTMFWave.h>

/* What it needs of Windows, declared as <windows.h> declares it: MinGW's
 * <windows.h> does not compile in MSVC mode. */
__declspec(dllimport) wchar_t* __stdcall GetCommandLineW(void);
__declspec(dllimport) wchar_t** __stdcall CommandLineToArgvW(const wchar_t* commandLine, int* count);
__declspec(dllimport) void* __stdcall LocalFree(void* memory);
__declspec(dllimport) unsigned long __stdcall GetLastError(void);
__declspec(dllimport) void __stdcall SetLastError(unsigned long code);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int status);

static unsigned int run(void)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    unsigned int status = 2;
    if (arguments && count == 3) {
        SetLastError(0);
        const int32_t result = DTMFWaveCreate(arguments[1], arguments[2]);
        status = (result == DTMFWAVE_RESULT && GetLastError() == 0) ? 0 : 1;
    }
    LocalFree(arguments);
    return status;
}

void __cdecl mainCRTStartup(void)
{
    ExitProcess(run());
}
