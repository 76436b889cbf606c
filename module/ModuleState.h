// What the module shell knows of its own load, for the exported call to ask.
#ifndef VUZIRIZORURUZA_MODULESTATE_H
#define VUZIRIZORURUZA_MODULESTATE_H

// True once the platform loaded the module but the class library refused
// it. Where a load cannot fail (ELF), the module then stays inert.
bool DTMFModuleRefusalQuery();

// Set by the platform's loader after the module entry answered attach.
void DTMFModuleRefusalRecord(bool refused);

#endif
