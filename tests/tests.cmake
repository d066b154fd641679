# GoogleTest from Debian's source, built for the target.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Each tests/unit/NAME_test.cpp is one test program; each of its tests runs in a fresh prefix of
# the 64-bit bed (wine64.NAME.Suite.Case).
file(GLOB KESTREL_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
foreach(src ${KESTREL_UNIT_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${CMAKE_SOURCE_DIR}/tests/unit/TestSupport.cpp)
  target_link_libraries(${name} PRIVATE kestrel gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
  gtest_add_tests(TARGET ${name} SOURCES ${src} TEST_PREFIX "wine64.${name}." TEST_LIST _tests)
  set_tests_properties(${_tests} PROPERTIES LABELS "unit;wine64" ENVIRONMENT KESTREL_BED=wine64
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] [A-Za-z]")
endforeach()

# End-to-end programs: they drive the real executable in a window.
include(${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake OPTIONAL)

# The product executable: a Windows GUI PE that needs no DLL beyond the system's own.
add_test(NAME executable.imports
  COMMAND ${CMAKE_SOURCE_DIR}/tests/check-exe.sh $<TARGET_FILE:InstaladorHalden> ${KESTREL_ARCH})
set_tests_properties(executable.imports PROPERTIES LABELS static)
# The source folders depend one way: platform <- core <- settings, tasks <- app.
add_test(NAME source.layers COMMAND ${CMAKE_SOURCE_DIR}/tests/check-layers.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(source.layers PROPERTIES LABELS static)
# Its manifest: administrator rights and nothing else, in the spelling Windows XP loads.
add_test(NAME executable.manifest
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/check-manifest.py $<TARGET_FILE:InstaladorHalden>)
set_tests_properties(executable.manifest PROPERTIES LABELS static)
# The uninstaller it carries: the program built without the payload, byte for byte.
set(_uninstaller_header ${CMAKE_SOURCE_DIR}/tasks/UninstallerResource.h)
add_test(NAME executable.uninstaller
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/check-uninstaller.py $<TARGET_FILE:InstaladorHalden>
          $<TARGET_FILE:DesinstalarKestrel> ${_uninstaller_header})
set_tests_properties(executable.uninstaller PROPERTIES LABELS static)
if(KESTREL_PRODUCT_EXE)
  add_test(NAME executable.product-imports
    COMMAND ${CMAKE_SOURCE_DIR}/tests/check-exe.sh ${KESTREL_PRODUCT_EXE} i686)
  # The product loads on Windows XP: every function it imports is in the list, none newer.
  add_test(NAME executable.product-import-audit
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/audit/import-audit.py ${KESTREL_PRODUCT_EXE}
            ${CMAKE_SOURCE_DIR}/tests/audit/imports.list)
  set_tests_properties(executable.product-imports executable.product-import-audit
    PROPERTIES LABELS static)
  add_test(NAME executable.product-manifest
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/check-manifest.py ${KESTREL_PRODUCT_EXE})
  set_tests_properties(executable.product-manifest PROPERTIES LABELS static)
  get_filename_component(_product_dir ${KESTREL_PRODUCT_EXE} DIRECTORY)
  add_test(NAME executable.product-uninstaller
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/check-uninstaller.py ${KESTREL_PRODUCT_EXE}
            ${_product_dir}/DesinstalarKestrel.exe ${_uninstaller_header})
  set_tests_properties(executable.product-uninstaller PROPERTIES LABELS static)
endif()
