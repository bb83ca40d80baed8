# PENWICK_SANITIZE selects the sanitizers for the whole build (tests, libraries, programs).
if(PENWICK_SANITIZE)
  set(_pw_san -fsanitize=${PENWICK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${_pw_san} -g)
  add_link_options(${_pw_san})
endif()
# Fuzz builds instrument every target for coverage, so that libFuzzer sees the code under test
# (the libraries), not only the fuzz target's own file.
if(PENWICK_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
