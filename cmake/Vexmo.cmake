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

# vexmo_comma_locale_test(<target>)
# Runs a test executable a second time, all its cases in one CTest test, under a German locale
# (decimal comma). The locale is built into <build>/locale by a fixture where the machine lacks
# it; the test main refuses to run when the locale did not take effect.
set(VEXMO_COMMA_LOCALE_DIR ${CMAKE_BINARY_DIR}/locale)
set(VEXMO_COMMA_LOCALE_ENV "LOCPATH=${VEXMO_COMMA_LOCALE_DIR}" "LC_ALL=de_DE.UTF-8"
                           "VEXMO_TEST_DECIMAL_POINT=,")
function(vexmo_comma_locale_test target)
  if(NOT TARGET ${target})
    return()
  endif()
  get_property(fixture GLOBAL PROPERTY VEXMO_COMMA_LOCALE_FIXTURE)
  if(NOT fixture)
    set_property(GLOBAL PROPERTY VEXMO_COMMA_LOCALE_FIXTURE ON)
    add_test(NAME vexmo_comma_locale_setup
             COMMAND sh ${CMAKE_SOURCE_DIR}/tests/support/make_comma_locale.sh
                     ${VEXMO_COMMA_LOCALE_DIR})
    set_tests_properties(vexmo_comma_locale_setup PROPERTIES FIXTURES_SETUP vexmo_comma_locale
                         TIMEOUT 300 LABELS comma_locale)
  endif()
  add_test(NAME ${target}_comma_locale COMMAND ${target})
  set_tests_properties(${target}_comma_locale PROPERTIES
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${VEXMO_COMMA_LOCALE_ENV}"
                       FIXTURES_REQUIRED vexmo_comma_locale TIMEOUT 900 LABELS comma_locale)
endfunction()
