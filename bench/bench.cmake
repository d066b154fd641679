# The benchmark's helper programs (see tools/bench.sh).
add_executable(benchdrv ${CMAKE_SOURCE_DIR}/bench/benchdrv.cpp)
add_executable(emptywin WIN32 ${CMAKE_SOURCE_DIR}/bench/emptywin.cpp)
