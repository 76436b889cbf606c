// The platform loader's part on ELF systems. The dynamic loader runs the
// constructor when the module is mapped and the destructor before it is
// unmapped; both drive the module entry as the Windows loader drives
// DllMain, the load hook first on attach and last on detach.
//
// A constructor cannot fail a load. When the class library refuses the
// module, dlopen still succeeds, but the module stays unregistered and
// inert: DTMFWaveCreate writes nothing, sets errno and returns 999. That is
// this platform's form of the failed load a Windows host would see.
#include "ModuleEntry.h"
#include "ModuleState.h"

#include <dlfcn.h>

namespace {

// The module's instance is its load address, as a Windows module handle is.
void* moduleInstance()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DTMFModuleEntry), &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

__attribute__((constructor)) void moduleLoad()
{
    DTMFModuleLoadHook(kModuleProcessAttach);
    DTMFModuleRefusalRecord(DTMFModuleEntry(moduleInstance(), kModuleProcessAttach, nullptr) == 0);
}

// Runs after a refused attach too, as Windows follows a failed attach with
// a detach; terminating a record that was never filled does nothing.
__attribute__((destructor)) void moduleUnload()
{
    DTMFModuleEntry(moduleInstance(), kModuleProcessDetach, nullptr);
    DTMFModuleLoadHook(kModuleProcessDetach);
}

} // namespace
