// Loading a DLL by its file name with the system's search order (a DLL already loaded under
// that name is found at once).
#include "penwick/module_loader.hpp"

#include <windows.h>

namespace pw {

bool LoadModule(const char* fileName) {
  if (fileName == nullptr) return false;
  // The handle is not kept and not released: the DLL stays for the process.
  return ::LoadLibraryA(fileName) != nullptr;
}

}  // namespace pw
