# Helpers shared by the layer folders.
#
# Layers glob their own sources so that files can be added to a folder without touching the
# build files of other layers.

# vexmo_layer(<target> [DEPS <libs...>])
# A static library from every .cpp/.h of the current folder.
function(vexmo_layer target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  if(NOT sources)
    return()
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/platform)
  target_link_libraries(${target} PUBLIC vexmo_compile_rules ${ARG_DEPS})
endfunction()

# vexmo_test(<name> [GUI] [DEPS <libs...>] [SOURCES <files...>])
# One GoogleTest executable per test folder; every .cpp in the folder unless SOURCES is given.
# GUI tests get a QApplication (offscreen platform), the others a QCoreApplication.
function(vexmo_test name)
  cmake_parse_arguments(ARG "GUI" "" "DEPS;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE vexmo_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE vexmo_test_main_core)
  endif()
  target_link_libraries(${name} PRIVATE vexmo_compile_rules ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE VEXMO_BIN_DIR="${VEXMO_BIN_DIR}/"
                             VEXMO_SOURCE_DIR="${CMAKE_SOURCE_DIR}/")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# Adds each listed sub-folder that has a CMakeLists.txt of its own.
macro(vexmo_subdirs)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endmacro()
