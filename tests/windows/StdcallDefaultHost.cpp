// A 32-bit host whose default calling convention is __stdcall (built with
// -mrtd, as MSVC's /Gz would be), linked against the import library. GCC
// does not decorate -mrtd names, so a header that left the convention
// implicit would still link here and then call a __cdecl function as
// __stdcall, with nobody cleaning the stack. The type check below is what
// fails the build in that case; the call shows it works under Wine.
//
//   StdcallDefaultHost OUTPUT.wav    writes "1#"; exit 0 when the call
//                                    reports success
#include "DTMFWave.h"

#include <errno.h>
#include <type_traits>

using CdeclWaveCreate = int32_t(__cdecl*)(const wchar_t*, const wchar_t*);
static_assert(std::is_same_v<decltype(&DTMFWaveCreate), CdeclWaveCreate>,
              "DTMFWave.h must declare DTMFWaveCreate __cdecl whatever the consumer's default");

int __cdecl wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        return 2;
    }
    errno = 0;
    const int32_t result = DTMFWaveCreate(L"1#", argv[1]);
    return result == DTMFWAVE_RESULT && errno == 0 ? 0 : 1;
}
