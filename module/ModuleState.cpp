#include "ModuleState.h"

namespace {

// Constant-initialised and read only after the loader has run.
bool g_moduleLoadRefused;

} // namespace

bool DTMFModuleRefusalQuery()
{
    return g_moduleLoadRefused;
}

void DTMFModuleRefusalRecord(bool refused)
{
    g_moduleLoadRefused = refused;
}
