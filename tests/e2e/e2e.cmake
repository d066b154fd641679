# End-to-end scenarios on both Windows beds. Every TEST of a tests/e2e/NAME_e2e_test.cpp runs as
# its own ctest, in a fresh Wine prefix and on an X display of its own; its name says the bed:
#   wine64.NAME.Suite.Case   the 64-bit test build of the installer, native 64-bit Wine
#   wine32.NAME.Suite.Case   the product, build/sample/InstaladorHalden.exe, on 32-bit Wine
#                            (emulated; tools/wine32-bed.sh), driven by i686 builds of the programs
include(${CMAKE_SOURCE_DIR}/tests/e2e/programs.cmake)

set(_e2e_skip "\\[  SKIPPED \\] [A-Za-z]")

# Registers every TEST of SOURCE, run by EXE on BED, with the programs that run it (RUNNER...).
function(kestrel_add_e2e_tests source exe bed timeout)
  get_filename_component(name ${source} NAME_WE)
  file(STRINGS ${source} _lines REGEX "^TEST(_F)?\\(")
  set(_runner ${ARGN})
  if(name STREQUAL "payload_e2e_test")
    # The payload scenarios get a small disk, drive T: (a 1 MB tmpfs), for the full-disk case.
    list(PREPEND _runner ${CMAKE_SOURCE_DIR}/tests/payload/with-small-disk.sh t 1m)
  endif()
  if(name STREQUAL "upgrade_e2e_test")
    # The upgrade scenarios get the workstation's program folder, C:\Kestrel, on a small disk (a
    # 1 MB tmpfs mounted there), for a copy of the program file that fails half-way.
    list(PREPEND _runner ${CMAKE_SOURCE_DIR}/tests/payload/with-small-disk.sh - 1m
         env KESTREL_SMALL_DISK_AT=Kestrel)
  endif()
  foreach(_line IN LISTS _lines)
    if(NOT _line MATCHES "^TEST(_F)?\\(([A-Za-z0-9_]+), *([A-Za-z0-9_]+)\\)")
      message(FATAL_ERROR "${source}: cannot read the test line: ${_line}")
    endif()
    set(_test ${CMAKE_MATCH_2}.${CMAKE_MATCH_3})
    add_test(NAME ${bed}.${name}.${_test} COMMAND ${_runner} ${exe} --gtest_filter=${_test})
    set_tests_properties(${bed}.${name}.${_test} PROPERTIES LABELS "e2e;${bed}" TIMEOUT ${timeout}
      ENVIRONMENT KESTREL_BED=${bed} SKIP_REGULAR_EXPRESSION "${_e2e_skip}")
  endforeach()
endfunction()

set(_wine_runner ${CMAKE_SOURCE_DIR}/tests/e2e/display-run.sh ${CMAKE_SOURCE_DIR}/tests/wine-run.sh)

foreach(src ${KESTREL_E2E_TESTS})
  get_filename_component(name ${src} NAME_WE)
  kestrel_add_e2e_tests(${src} $<TARGET_FILE:${name}> wine64 240 ${_wine_runner})
endforeach()
# The window held on screen for a picture: the screenshot check and the demo use it.
add_test(NAME wine64.window.screenshot
  COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/display-run.sh
          ${CMAKE_SOURCE_DIR}/tests/e2e/screenshot.sh $<TARGET_FILE:show_window>)
set_tests_properties(wine64.window.screenshot PROPERTIES LABELS "e2e;wine64" TIMEOUT 240
  ENVIRONMENT KESTREL_BED=wine64)

# The same programs for i686, in a build of their own beside this one, around the product.
if(KESTREL_PRODUCT_EXE)
  include(ExternalProject)
  set(_e2e32 ${CMAKE_BINARY_DIR}/e2e32)
  ExternalProject_Add(e2e32
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${_e2e32}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw.cmake -DKESTREL_ARCH=i686
               -DKESTREL_THREADS=posix -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_E2E_ONLY=ON
               -DKESTREL_PRODUCT_EXE=${KESTREL_PRODUCT_EXE}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  foreach(src ${KESTREL_E2E_TESTS})
    get_filename_component(name ${src} NAME_WE)
    kestrel_add_e2e_tests(${src} ${_e2e32}/${name}.exe wine32 900 ${_wine_runner})
  endforeach()
  add_test(NAME wine32.window.screenshot
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/display-run.sh
            ${CMAKE_SOURCE_DIR}/tests/e2e/screenshot.sh ${_e2e32}/show_window.exe)
  set_tests_properties(wine32.window.screenshot PROPERTIES LABELS "e2e;wine32" TIMEOUT 900
    ENVIRONMENT KESTREL_BED=wine32)
endif()
