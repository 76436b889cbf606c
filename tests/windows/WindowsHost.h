// What the two files of the Windows test host share: the module's name and
// call, the check that counts failures, and the checks of how files are
// saved, which live in WindowsHostSaves.cpp.
#ifndef VUZIRIZORURUZA_WINDOWSHOST_H
#define VUZIRIZORURUZA_WINDOWSHOST_H

#include "WindowsTestFiles.h"

#include <cstdint>
#include <string>

using WaveCreateFunction = int32_t(__cdecl*)(const wchar_t*, const wchar_t*);

inline constexpr wchar_t kModuleName[] = L"VUZIRIZORURUZA.dll";

// Failed checks so far; each command returns it as its exit status.
extern int g_failures;
void check(bool condition, const char* what);
// Build paths are Unix paths; Wine shows the Unix root as drive Z:.
std::wstring windowsPath(const char* unixPath);

int lastErrorCheck();
int waitsCheck();
int utf8Check();
int savesCheck(const char* dtmfwave);

#endif
