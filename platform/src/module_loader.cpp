#include "penwick/module_loader.hpp"

#include <dlfcn.h>

namespace pw {

bool LoadModule(const char* fileName) {
  if (fileName == nullptr) return false;
  // The handle is not kept and not released: the library stays for the process.
  return ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL) != nullptr;
}

}  // namespace pw
