# Warnings for every target. They are errors only with PENWICK_WERROR (scripts/test.sh and
# development builds turn it on), so that a newer compiler's new warning never breaks a user's
# plain build.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(PENWICK_WERROR)
  add_compile_options(-Werror)
endif()
