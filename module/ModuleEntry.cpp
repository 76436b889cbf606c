#include "ModuleEntry.h"

// Constant-initialised: the module runs no static initialiser of its own.
ClassExtensionModule g_extensionModule;

namespace {

// A system module would stay registered after its own unload; this one not.
constexpr int32_t kNotSystemModule = 0;
// Termination undoes this module's registration and no other's.
constexpr int32_t kThisModuleOnly = 0;

void registrationListPark(ClassRegistrationList* list)
{
    list->parkedHead = list->head;
    list->head = nullptr;
}

int32_t processAttach(void* instance)
{
    if (ClassExtensionModuleInitialise(&g_extensionModule, instance) == 0) {
        return 0;
    }
    // The chain owns the link from here on. Without one the module still
    // works, only invisible to the chain, so a failed allocation is no
    // reason to fail the load.
    void* block = ClassMemoryAllocate(sizeof(ClassExtensionLink));
    if (block != nullptr) {
        ClassExtensionLinkConstruct(block, &g_extensionModule, kNotSystemModule);
    }
    return 1;
}

} // namespace

int32_t DTMFModuleLoadHook(uint32_t reason)
{
    if (reason == kModuleProcessAttach) {
        ClassModuleState* state = ClassModuleStateCurrent();
        registrationListPark(&state->classes);
        registrationListPark(&state->factories);
    }
    return 1;
}

int32_t DTMFModuleEntry(void* instance, uint32_t reason, void* /*reserved*/)
{
    switch (reason) {
    case kModuleProcessAttach:
        return processAttach(instance);
    case kModuleProcessDetach:
        ClassExtensionModuleTerminate(&g_extensionModule, kThisModuleOnly);
        return 1;
    default:
        return 1;
    }
}
