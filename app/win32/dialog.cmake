# The dialog front end of Windows (included by app/CMakeLists.txt on Windows): the dialog's
# code, and its resources (dialog templates and the program icon) that every executable showing
# the dialog compiles in with penwick_dialog_resources: a resource object in a static library
# would not be linked, since nothing refers to it.
add_library(penwick_dialog STATIC
  win32/about_box.cpp
  win32/dialog_run.cpp
  win32/dialog_session.cpp
  win32/dialog_view.cpp)
target_include_directories(penwick_dialog PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/win32)
target_link_libraries(penwick_dialog PUBLIC penwick_app comctl32 comdlg32)
target_compile_definitions(penwick_dialog PRIVATE PENWICK_VERSION="${PROJECT_VERSION}"
  PENWICK_YEAR="2026")

set(PENWICK_DIALOG_RC ${CMAKE_CURRENT_SOURCE_DIR}/win32/dialog.rc CACHE INTERNAL "")
set(PENWICK_DIALOG_RC_INCLUDES ${CMAKE_CURRENT_SOURCE_DIR}/win32 ${CMAKE_CURRENT_SOURCE_DIR}/qt/icons
    CACHE INTERNAL "")
function(penwick_dialog_resources target)
  target_sources(${target} PRIVATE ${PENWICK_DIALOG_RC})
  target_include_directories(${target} PRIVATE ${PENWICK_DIALOG_RC_INCLUDES})
  target_link_libraries(${target} PRIVATE penwick_dialog)
endfunction()
