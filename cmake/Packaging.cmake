# The Debian package: exactly what the install rules lay out (cmake/Install.cmake and every
# install() of the tree), under /usr, plus the package's own documents and AppStream metadata.
# A program added to the install rules joins the package without changes here.
#
# <build>/package/vexmo_<version>_amd64.deb is built with the rest (target vexmo_deb) whenever
# one of the installed programs or files changes. Dependencies on shared libraries are computed
# by dpkg-shlibdeps; the Qt plug-ins the program loads at run time are named here.

set(VEXMO_HOMEPAGE "https://vexmo.example.org" CACHE STRING
    "Project homepage, named in the package and in the AppStream metadata (screenshots below it)")
set(VEXMO_PACKAGE_CONTACT "Vexmo developers <vexmo@example.org>" CACHE STRING
    "Maintainer of the Debian package")

find_program(VEXMO_DPKG_DEB dpkg-deb)
find_program(VEXMO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VEXMO_DPKG_DEB AND VEXMO_DPKG_SHLIBDEPS)
  set(vexmo_can_package ON)
else()
  set(vexmo_can_package OFF)
endif()
option(VEXMO_PACKAGE "Build the Debian package with the rest (needs dpkg-dev)" ${vexmo_can_package})

if(NOT TARGET vexmo)
  return()
endif()

# Software centres read the metainfo; Debian wants a copyright file and a changelog.
set(VEXMO_METAINFO ${CMAKE_BINARY_DIR}/dist/com.korvane.vexmo.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/dist/vexmo.metainfo.xml.in ${VEXMO_METAINFO} @ONLY)
install(FILES ${VEXMO_METAINFO} DESTINATION share/metainfo)

execute_process(COMMAND date -u -R -d "${VEXMO_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE VEXMO_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_SOURCE_DIR}/dist/changelog.in ${CMAKE_BINARY_DIR}/dist/changelog @ONLY)
# gzip -n: no name or time stamp inside, so the same sources give the same package.
execute_process(COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/dist/changelog
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/dist/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_SOURCE_DIR}/dist/copyright ${CMAKE_BINARY_DIR}/dist/changelog.gz
        DESTINATION share/doc/vexmo)
execute_process(COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/dist/vexmo.1
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/dist/vexmo.1.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/dist/vexmo.1.gz DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexmo)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VEXMO_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "radio presenter's tool for voice tracks and playlists")
set(CPACK_PACKAGE_DESCRIPTION
    "Vexmo prepares voice tracks, the short spoken links between songs, for a\n"
    "station whose automation program offers a remote-control interface over HTTP.\n"
    "It shows the station's playlist, marks the entry on air, deletes and reorders\n"
    "entries, uploads recorded FLAC voice tracks, and edits the microphone's\n"
    "processing chain (equalizer, compressor, gain, Winamp DSP and VST plug-ins)\n"
    "with presets.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VEXMO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see it: the SVG icon engine that draws the
# window's icons. (The window-system plug-ins come with libqt6gui6, a linked library.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dpf-plugins-vst, lsp-plugins-vst")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Running cpack must not build the whole tree (tests, benchmarks): the package target below
# depends on what it installs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)

if(VEXMO_PACKAGE)
  set(VEXMO_DEB ${CMAKE_BINARY_DIR}/package/vexmo_${PROJECT_VERSION}_amd64.deb)
  file(GLOB vexmo_packaged_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/dist/*
       ${CMAKE_SOURCE_DIR}/lang/*/lang.ini)
  add_custom_command(
    OUTPUT ${VEXMO_DEB}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${VEXMO_DEB}
    COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    DEPENDS ${VEXMO_INSTALLED_TARGETS} ${vexmo_packaged_sources} ${VEXMO_METAINFO}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Packing ${VEXMO_DEB}"
    VERBATIM)
  add_custom_target(vexmo_deb ALL DEPENDS ${VEXMO_DEB})
endif()

# The package's own checks (tests/install/check_package.sh), next to the install test.
if(VEXMO_PACKAGE AND VEXMO_TESTS)
  foreach(mode lint install)
    add_test(NAME vexmo_package_${mode}
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/check_package.sh ${mode}
                     ${CMAKE_BINARY_DIR} ${VEXMO_DEB})
    set_tests_properties(vexmo_package_${mode} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900
                                                         LABELS package)
  endforeach()
endif()
