// The module entry: what the module does when the platform loads and unloads
// it. The platform's own hook (DllMain on Windows, the ELF constructor and
// destructor elsewhere) forwards its notifications here.
#ifndef VUZIRIZORURUZA_MODULEENTRY_H
#define VUZIRIZORURUZA_MODULEENTRY_H

#include "ClassLibrary.h"

#include <cstdint>

// The platform's notification codes; the values are the Windows ones.
inline constexpr uint32_t kModuleProcessDetach = 0;
inline constexpr uint32_t kModuleProcessAttach = 1;
inline constexpr uint32_t kModuleThreadAttach = 2;
inline constexpr uint32_t kModuleThreadDetach = 3;

// The module's record in the class library. Zero at load; only the class
// library fills and empties it.
extern ClassExtensionModule g_extensionModule;

// The class library's load hook: on attach it parks each registration list
// head of the current module state in the slot beside it and empties the
// list, so what the module registers is kept apart from what was there.
// On detach it does nothing. Returns 1.
int32_t DTMFModuleLoadHook(uint32_t reason);

// Attach registers the module with the class library and returns 0 when the
// library refuses it; detach undoes the registration. Any other reason
// returns 1 and changes nothing.
int32_t DTMFModuleEntry(void* instance, uint32_t reason, void* reserved);

#endif
