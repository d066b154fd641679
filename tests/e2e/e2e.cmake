# End-to-end programs: each tests/e2e/NAME_e2e_test.cpp is one program that starts the real
# installer (built beside it) through the driver library. Each of its tests runs as its own
# ctest in a fresh Wine prefix, on an X display of its own.
add_library(e2e_driver STATIC ${CMAKE_SOURCE_DIR}/tests/e2e/Driver.cpp)
target_include_directories(e2e_driver PUBLIC ${CMAKE_SOURCE_DIR}/tests/e2e)
target_link_libraries(e2e_driver PUBLIC gtest user32 gdi32 ole32 uuid)

file(GLOB KESTREL_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*_e2e_test.cpp)
foreach(src ${KESTREL_E2E_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE e2e_driver gtest_main)
  add_dependencies(${name} InstaladorHalden)
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_SOURCE_DIR}/tests/e2e/display-run.sh;${CMAKE_SOURCE_DIR}/tests/wine-run.sh")
  gtest_add_tests(TARGET ${name} SOURCES ${src} TEST_PREFIX "${name}." TEST_LIST _tests)
  set_tests_properties(${_tests} PROPERTIES LABELS e2e TIMEOUT 240
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] [A-Za-z]")
endforeach()

# The window held on screen for a picture: the screenshot check and the demo use it.
add_executable(show_window ${CMAKE_SOURCE_DIR}/tests/e2e/show_window.cpp)
target_link_libraries(show_window PRIVATE e2e_driver)
add_dependencies(show_window InstaladorHalden)
add_test(NAME window.screenshot
  COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/display-run.sh
          ${CMAKE_SOURCE_DIR}/tests/e2e/screenshot.sh $<TARGET_FILE:show_window>)
set_tests_properties(window.screenshot PROPERTIES LABELS e2e TIMEOUT 240)
