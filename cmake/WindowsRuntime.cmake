# The C++ runtime of the Windows build: mingw's DLLs (libstdc++, libgcc, winpthreads) ship
# beside the program, so every module of a process shares one C++ runtime and one heap. The
# platform library's interfaces pass std::string, std::function and shared pointers between
# DLLs, which is only safe with a single runtime. They are copied next to the built binaries
# (so the tests run from the build tree) and installed with them.
set(penwick_runtime_dlls "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" REALPATH)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "the compiler has no ${dll}")
  endif()
  list(APPEND penwick_runtime_dlls ${path})
  file(COPY ${path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endforeach()
install(FILES ${penwick_runtime_dlls} DESTINATION ${CMAKE_INSTALL_BINDIR})
