# Private folders: a library's folders that only its own targets (its code, its tests under
# tests/<library>, and fuzz targets or benchmarks marked as its own) may have on their include
# path. penwick_write_include_report() writes every compiled target's owner and its full include
# path (with what its dependencies add) at generate time; the include_paths test checks it.

# penwick_private_folder(<owner> <folder>...)
function(penwick_private_folder owner)
  foreach(folder IN LISTS ARGN)
    set_property(GLOBAL APPEND PROPERTY PENWICK_PRIVATE_FOLDERS "${owner}=${folder}")
  endforeach()
endfunction()

# penwick_owner(<owner> <target>...): targets outside <owner>'s folders that belong to it.
function(penwick_owner owner)
  set_target_properties(${ARGN} PROPERTIES PENWICK_OWNER ${owner})
endfunction()

function(_penwick_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _penwick_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# A target's owner: PENWICK_OWNER, else tests/<x> -> x, else the first folder of its CMakeLists.
function(_penwick_target_owner target out)
  get_target_property(owner ${target} PENWICK_OWNER)
  if(NOT owner)
    get_target_property(dir ${target} SOURCE_DIR)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
    if(rel MATCHES "^tests/([^/]+)")
      set(owner ${CMAKE_MATCH_1})
    elseif(rel MATCHES "^([^/]+)")
      set(owner ${CMAKE_MATCH_1})
    else()
      set(owner project)
    endif()
  endif()
  set(${out} ${owner} PARENT_SCOPE)
endfunction()

function(penwick_write_include_report output)
  # Lists are joined with "," so that every entry stays one line for file(STRINGS).
  get_property(folders GLOBAL PROPERTY PENWICK_PRIVATE_FOLDERS)
  string(JOIN "," folders ${folders})
  set(content "private|${folders}\n")
  _penwick_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY|MODULE_LIBRARY)$")
      _penwick_target_owner(${target} owner)
      string(APPEND content
             "target|${target}|${owner}|$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,,>\n")
    endif()
  endforeach()
  file(GENERATE OUTPUT ${output} CONTENT "${content}")
endfunction()
