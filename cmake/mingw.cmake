# Cross toolchain: Debian's MinGW-w64. KESTREL_ARCH is i686 (the product, 32-bit) or x86_64 (the
# 64-bit test build). KESTREL_THREADS picks the thread model of the runtime:
#  - win32 for the product: the posix model's runtime (winpthreads, linked statically) imports
#    GetTickCount64 and other functions of Windows Vista, and the product must load on XP;
#  - posix for the test programs: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED KESTREL_ARCH)
  set(KESTREL_ARCH i686)
endif()
if(NOT DEFINED KESTREL_THREADS)
  set(KESTREL_THREADS win32)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTREL_ARCH KESTREL_THREADS)
set(CMAKE_SYSTEM_PROCESSOR ${KESTREL_ARCH})
set(_triple ${KESTREL_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER   ${_triple}-gcc-${KESTREL_THREADS})
set(CMAKE_CXX_COMPILER ${_triple}-g++-${KESTREL_THREADS})
set(CMAKE_RC_COMPILER  ${_triple}-windres)
set(CMAKE_AR           /usr/bin/${_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${_triple}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools built for the target run under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
