# The executable's icons, banner, version block and manifest. The pictures are made by
# tools/make-art.py.
set(KESTREL_APP_RC ${CMAKE_SOURCE_DIR}/app/res/InstaladorHalden.rc)
target_sources(InstaladorHalden PRIVATE ${KESTREL_APP_RC})

# The manifest asks for administrator rights and nothing else (no common controls 6: the window
# keeps its classic controls). Its identity names the build's processor. The trust element is
# spelt as Inno Setup and NSIS spell it, the form known to load on Windows XP SP2 and SP3:
# trustInfo carrying the asm.v3 namespace as its one default-namespace declaration, children
# unprefixed. XP refuses a trustInfo left in the asm.v1 namespace, and SP2 without hotfix
# KB921337 crashes on an element that declares the namespace twice (prefix and default).
if(KESTREL_ARCH STREQUAL "x86_64")
  set(KESTREL_MANIFEST_ARCH amd64)
else()
  set(KESTREL_MANIFEST_ARCH x86)
endif()
set(KESTREL_MANIFEST ${CMAKE_BINARY_DIR}/res/InstaladorHalden.manifest)
configure_file(${CMAKE_SOURCE_DIR}/app/res/InstaladorHalden.manifest.in ${KESTREL_MANIFEST} @ONLY)

set_property(SOURCE ${KESTREL_APP_RC} APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/res/banner.jpg ${CMAKE_SOURCE_DIR}/app/res/mainicon.ico
  ${CMAKE_SOURCE_DIR}/app/res/formicon.ico ${CMAKE_SOURCE_DIR}/app/res/ResourceIds.h
  ${KESTREL_MANIFEST})
set_property(SOURCE ${KESTREL_APP_RC} APPEND PROPERTY INCLUDE_DIRECTORIES
  ${CMAKE_SOURCE_DIR}/app/res ${CMAKE_BINARY_DIR}/res)
if(KESTREL_PAYLOAD STREQUAL "sample")
  set_property(SOURCE ${KESTREL_APP_RC} APPEND PROPERTY COMPILE_DEFINITIONS KESTREL_SAMPLE_PAYLOAD=1)
endif()
