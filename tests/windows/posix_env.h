// setenv and unsetenv for the shared tests built with the Windows C runtime, which spells them
// _putenv_s (an empty value removes the variable).
#pragma once

#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (overwrite == 0 && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value);
}

inline int unsetenv(const char* name) {
  return _putenv_s(name, "");
}
