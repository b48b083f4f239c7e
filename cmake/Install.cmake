# Install layout: the portable program folder (<build>/bin/) laid out as <prefix>/lib/vexmo/,
# plus a uid.ini so that an installed copy keeps its settings in the user's configuration folder
# instead of the read-only program folder, a launcher in <prefix>/bin/, a desktop entry and an
# icon. Language files are installed by lang/ itself.
#
# Only targets that this tree defines are installed; a defined target that was not built makes
# `cmake --install` fail rather than leave an incomplete program folder behind.

set(VEXMO_INSTALL_DIR lib/vexmo)
set(VEXMO_INSTALL_UID "1" CACHE STRING
    "Installation identifier written to uid.ini; the data folder is ~/.config/Korvane/Vexmo_<UID>/")

# The identifier becomes one folder name; an empty one would make the read-only program folder
# the data folder.
if(VEXMO_INSTALL_UID STREQUAL "" OR VEXMO_INSTALL_UID MATCHES "[/\\\\]")
  message(FATAL_ERROR "VEXMO_INSTALL_UID must be a non-empty folder name, not '${VEXMO_INSTALL_UID}'")
endif()

# Program folder: the executables and the shared libraries they find through RPATH $ORIGIN.
# The test helpers and vexmo-demo-setup stay in the build.
set(vexmo_installed_files "")
foreach(target vexmo quillon vexmo-station vexmo_audio bass_vst)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${VEXMO_INSTALL_DIR}
            LIBRARY DESTINATION ${VEXMO_INSTALL_DIR})
    string(APPEND vexmo_installed_files "$<TARGET_FILE:${target}>\n")
  endif()
endforeach()

# Winamp DSP plug-ins: every library built into the program folder's Plugins/, wherever it is
# defined. The sample VST plug-ins (bin/VST) are test fixtures and are not installed.
function(vexmo_collect_plugin_targets dir out)
  set(found "")
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "MODULE_LIBRARY" OR type STREQUAL "SHARED_LIBRARY")
      get_target_property(output ${target} LIBRARY_OUTPUT_DIRECTORY)
      if(output STREQUAL "${VEXMO_BIN_DIR}/Plugins")
        list(APPEND found ${target})
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    vexmo_collect_plugin_targets(${subdir} sub_found)
    list(APPEND found ${sub_found})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

vexmo_collect_plugin_targets(${CMAKE_SOURCE_DIR} vexmo_plugin_targets)
if(vexmo_plugin_targets)
  install(TARGETS ${vexmo_plugin_targets} LIBRARY DESTINATION ${VEXMO_INSTALL_DIR}/Plugins)
  foreach(target ${vexmo_plugin_targets})
    string(APPEND vexmo_installed_files "$<TARGET_FILE:${target}>\n")
  endforeach()
endif()

# The build outputs that the install copies, for the install test (tests/install).
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/dist/installed_files.txt
     CONTENT "${vexmo_installed_files}")

configure_file(${CMAKE_SOURCE_DIR}/dist/uid.ini.in ${CMAKE_BINARY_DIR}/dist/uid.ini @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/dist/uid.ini DESTINATION ${VEXMO_INSTALL_DIR})

# What the desktop sees: a launcher on PATH, the menu entry and its icon. The launcher finds the
# program relative to itself, so the tree can be staged (DESTDIR) or moved.
if(TARGET vexmo)
  file(RELATIVE_PATH VEXMO_LAUNCHER_TARGET /prefix/bin /prefix/${VEXMO_INSTALL_DIR}/vexmo)
  configure_file(${CMAKE_SOURCE_DIR}/dist/vexmo.in ${CMAKE_BINARY_DIR}/dist/vexmo @ONLY)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/dist/vexmo DESTINATION bin)
  install(FILES ${CMAKE_SOURCE_DIR}/dist/vexmo.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/dist/vexmo.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
