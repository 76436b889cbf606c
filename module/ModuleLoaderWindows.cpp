// The platform loader's part on Windows: DllMain forwards every notification
// to the module entry, the load hook running first on attach and last on
// detach. Returning FALSE from the attach makes LoadLibrary fail, so a
// module the class library refuses is never reachable.
#include "ModuleEntry.h"

#include <windows.h>

static_assert(DLL_PROCESS_ATTACH == kModuleProcessAttach && DLL_PROCESS_DETACH == kModuleProcessDetach
                  && DLL_THREAD_ATTACH == kModuleThreadAttach && DLL_THREAD_DETACH == kModuleThreadDetach,
              "the module entry takes the Windows notification codes");

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DTMFModuleLoadHook(reason);
    }
    const int32_t result = DTMFModuleEntry(instance, reason, reserved);
    if (reason == DLL_PROCESS_DETACH) {
        DTMFModuleLoadHook(reason);
    }
    return result != 0 ? TRUE : FALSE;
}
