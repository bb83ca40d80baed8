# penwick_windows_resources(TARGET DESCRIPTION): gives a Windows executable or DLL its version
# resource and the application manifest (cmake/windows/penwick.manifest), compiled by windres.
# A program's manifest is resource 1, a DLL's resource 2, as the loader looks for them.
enable_language(RC)

function(penwick_windows_resources target description)
  get_target_property(type ${target} TYPE)
  set(PENWICK_RC_NAME ${target})
  set(PENWICK_RC_DESCRIPTION "${description}")
  set(PENWICK_RC_VERSION4 "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(PENWICK_RC_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  if(type STREQUAL "SHARED_LIBRARY")
    set(PENWICK_RC_MANIFEST_ID 2)
    set(PENWICK_RC_FILETYPE VFT_DLL)
    set(PENWICK_RC_FILENAME ${target}.dll)
  else()
    set(PENWICK_RC_MANIFEST_ID 1)
    set(PENWICK_RC_FILETYPE VFT_APP)
    set(PENWICK_RC_FILENAME ${target}.exe)
  endif()
  set(dir ${CMAKE_BINARY_DIR}/resources/${target})
  set(PENWICK_RC_MANIFEST ${dir}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/penwick.manifest ${PENWICK_RC_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${dir}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
endfunction()
