# The benchmark's helper programs (see tools/bench.py). The driver links the installer's code for
# its tables (payload rows, registry values) and its link reader for the checks.
add_executable(benchdrv ${CMAKE_SOURCE_DIR}/bench/benchdrv.cpp)
target_link_libraries(benchdrv PRIVATE kestrel ole32 shlwapi)
add_executable(emptywin WIN32 ${CMAKE_SOURCE_DIR}/bench/emptywin.cpp)
