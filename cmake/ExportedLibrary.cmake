# penwick_exported_library(TARGET): a library whose exports are exactly the names its list
# gives, and nothing else: TARGET.def beside its CMakeLists on Windows (the DLL is TARGET.dll,
# its import library libTARGET.dll.a), TARGET.map as a version script elsewhere (with every
# static library's symbols kept inside and the soname's version 0).
function(penwick_exported_library target)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  if(WIN32)
    target_sources(${target} PRIVATE ${dir}/${target}.def)
    set_target_properties(${target} PROPERTIES PREFIX "")
    return()
  endif()
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL
                      -Wl,--version-script=${dir}/${target}.map)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${dir}/${target}.map)
  # clang links no sanitizer runtime into shared libraries, so only plain builds can insist.
  if(NOT PENWICK_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 0)
endfunction()
