# Warnings for every target. They are errors only with PENWICK_WERROR (scripts/test.sh and
# development builds turn it on), so that a newer compiler's new warning never breaks a user's
# plain build.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(PENWICK_WERROR)
  add_compile_options(-Werror)
endif()
# GCC 12 reports overlapping copies inside std::string's operator+ once it inlines them at -O2
# and above, where none overlap (a false positive fixed in GCC 13). The optimised Windows cross
# build meets it; the Linux builds keep the warning.
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
