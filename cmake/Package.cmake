# The Debian packages, made by CPack's DEB generator (scripts/package.sh):
#   penwick      the program, the tools, the emulated receiver, the libraries (by soname), the
#                desktop entry and icons, the udev-rule helper and the manual pages;
#   penwick-dev  the headers, the pkg-config files and the libraries' development links.
# Dependencies come from the binaries (dpkg-shlibdeps), not from a hand-written list.
set(PENWICK_DEB_RELEASE 1)
set(PENWICK_DEB_VERSION ${PROJECT_VERSION}-${PENWICK_DEB_RELEASE})
set(penwick_maintainer "The Penwick settings transfer authors <penwick@example.org>")

# Each package's copyright file and changelog (gzipped, as Debian's policy has it).
set(penwick_deb_dir ${CMAKE_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${penwick_deb_dir}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${penwick_deb_dir}/changelog.Debian.gz
  COMMAND gzip -9nkf ${penwick_deb_dir}/changelog.Debian
  DEPENDS ${penwick_deb_dir}/changelog.Debian
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${penwick_deb_dir}/changelog.Debian.gz)
add_dependencies(installed debian_changelog)
foreach(component runtime dev)
  if(component STREQUAL "runtime")
    set(package penwick)
  else()
    set(package penwick-dev)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
                ${penwick_deb_dir}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME penwick)
set(CPACK_PACKAGE_VENDOR "The Penwick settings transfer authors")
set(CPACK_PACKAGE_CONTACT ${penwick_maintainer})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PENWICK_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${penwick_maintainer})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries' shlibs entries and the ldconfig trigger are written here: CPack's own would
# call ldconfig from maintainer scripts, which Debian replaced by the trigger.
set(penwick_shlibs "")
foreach(library NorraLink HvUsb PenwickPlatform)
  string(APPEND penwick_shlibs "lib${library} 0 penwick (>= ${PROJECT_VERSION})\n")
endforeach()
file(WRITE ${penwick_deb_dir}/shlibs "${penwick_shlibs}")
file(WRITE ${penwick_deb_dir}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${penwick_deb_dir}/shlibs ${penwick_deb_dir}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME penwick)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "move a satellite receiver's settings memory over serial or USB
PenwickUpload copies the settings memory of a satellite receiver (its
settings flash and its EEPROM) between the receiver and a transfer file,
over a serial line or USB; a settings editor starts it with the file and
a port text. PenwickUpload --list shows the serial ports, USB devices and
USB/IP servers it can see, and why it cannot use one.
.
The package also holds penwick-files (files to and from the receiver's
file store), penwick-pack (packs and unpacks settings images), penwick-sim
(an emulated receiver for tests and demonstrations), penwick-udev-rule
(lets a user open a receiver without root) and the libraries NorraLink and
HvUsb.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME penwick-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "penwick (= ${PENWICK_DEB_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "development files of the NorraLink and HvUsb libraries
The C headers, pkg-config files (NorraLink, HvUsb) and development links
for programs that use the receiver settings transfer libraries:
NorraLink (settings image codec and transfer sessions) and HvUsb (USB
device access and file-transfer tasks).")

include(CPack)
