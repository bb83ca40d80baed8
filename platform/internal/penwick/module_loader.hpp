// Loading a shared library by its file name, as the system's module loader does: the name is
// looked up the way the dynamic linker looks up a needed library (a library already loaded
// under that name is found at once).
#pragma once

#include "penwick/platform_api.h"

namespace pw {

// Loads the library `fileName` (its soname, e.g. "libHvUsb.so.0"). The module stays loaded
// for the life of the process; nothing is kept of it. False when it cannot be loaded.
PW_PLATFORM_API bool LoadModule(const char* fileName);

}  // namespace pw
