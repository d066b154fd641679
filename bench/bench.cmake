# The benchmark's helper programs (see tools/bench.py). The driver links the installer's code for
# its tables (payload rows, registry values) and its link reader for the checks; the floor is
# straight Win32 calls and links nothing of the installer.
add_executable(benchdrv ${CMAKE_SOURCE_DIR}/bench/benchdrv.cpp)
target_link_libraries(benchdrv PRIVATE kestrel ole32 shlwapi version)
add_executable(emptywin WIN32 ${CMAKE_SOURCE_DIR}/bench/emptywin.cpp)
add_executable(floor WIN32 ${CMAKE_SOURCE_DIR}/bench/floor.cpp)
target_link_libraries(floor PRIVATE ole32 uuid shell32 advapi32)
# Stripped: it copies itself as the uninstaller, and should weigh no more than the installer's.
target_link_options(floor PRIVATE -s)
