# The end-to-end programs: each tests/e2e/NAME_e2e_test.cpp is one GoogleTest program that starts
# the real installer, InstaladorHalden.exe beside it, through the driver library; show_window holds
# the installer's window on screen for a picture. Built in the test build for the 64-bit bed (the
# installer beside them is that build's), and for the 32-bit bed in a build of their own
# (KESTREL_E2E_ONLY), where the installer beside them is the product itself, KESTREL_PRODUCT_EXE.
if(NOT TARGET gtest)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
endif()

if(KESTREL_E2E_ONLY)
  if(NOT EXISTS "${KESTREL_PRODUCT_EXE}")
    message(FATAL_ERROR "KESTREL_PRODUCT_EXE (${KESTREL_PRODUCT_EXE}) does not exist: build the product first")
  endif()
  # With the sample payload it was built from (the payload scenarios compare every file) and the
  # uninstaller it carries, as the build made it (the lifecycle scenarios compare the one written).
  get_filename_component(_product_dir ${KESTREL_PRODUCT_EXE} DIRECTORY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/InstaladorHalden.exe
                            ${CMAKE_BINARY_DIR}/DesinstalarKestrel.exe
    COMMAND ${CMAKE_COMMAND} -E copy ${KESTREL_PRODUCT_EXE} ${CMAKE_BINARY_DIR}/InstaladorHalden.exe
    COMMAND ${CMAKE_COMMAND} -E copy ${_product_dir}/DesinstalarKestrel.exe
            ${CMAKE_BINARY_DIR}/DesinstalarKestrel.exe
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/payload-sample
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${_product_dir}/payload-sample
            ${CMAKE_BINARY_DIR}/payload-sample
    DEPENDS ${KESTREL_PRODUCT_EXE} ${_product_dir}/DesinstalarKestrel.exe VERBATIM)
  add_custom_target(installer_under_test ALL DEPENDS ${CMAKE_BINARY_DIR}/InstaladorHalden.exe)
else()
  add_custom_target(installer_under_test DEPENDS InstaladorHalden)
endif()

add_library(e2e_driver STATIC ${CMAKE_SOURCE_DIR}/tests/e2e/Driver.cpp)
target_include_directories(e2e_driver PUBLIC ${CMAKE_SOURCE_DIR}/tests/e2e)
target_link_libraries(e2e_driver PUBLIC gtest user32 gdi32 ole32 uuid shell32)

file(GLOB KESTREL_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*_e2e_test.cpp)
foreach(src ${KESTREL_E2E_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE e2e_driver gtest_main)
  add_dependencies(${name} installer_under_test)
endforeach()

add_executable(show_window ${CMAKE_SOURCE_DIR}/tests/e2e/show_window.cpp)
target_link_libraries(show_window PRIVATE e2e_driver)
add_dependencies(show_window installer_under_test)

# Holds a file as a running program does (a loaded DLL, a file open without sharing) for the
# scenarios of upgrades over programs in use.
add_executable(hold_file ${CMAKE_SOURCE_DIR}/tests/e2e/hold_file.cpp)
foreach(src ${KESTREL_E2E_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_dependencies(${name} hold_file)
endforeach()
# A look-alike of a system DLL (tests/e2e/lookalike.cpp), beside the programs as lookalike.dll:
# the safety scenarios plant copies of it beside the installer.
add_library(lookalike SHARED ${CMAKE_SOURCE_DIR}/tests/e2e/lookalike.cpp)
set_target_properties(lookalike PROPERTIES PREFIX "" OUTPUT_NAME lookalike)
target_link_libraries(lookalike PRIVATE user32)
add_dependencies(safety_e2e_test lookalike)
