# The executable's icons, banner and version block. The pictures are made by tools/make-art.py.
set(KESTREL_APP_RC ${CMAKE_SOURCE_DIR}/app/res/InstaladorHalden.rc)
target_sources(InstaladorHalden PRIVATE ${KESTREL_APP_RC})
set_property(SOURCE ${KESTREL_APP_RC} APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/res/banner.jpg ${CMAKE_SOURCE_DIR}/app/res/mainicon.ico
  ${CMAKE_SOURCE_DIR}/app/res/formicon.ico ${CMAKE_SOURCE_DIR}/app/res/ResourceIds.h)
set_property(SOURCE ${KESTREL_APP_RC} APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/app/res)
if(KESTREL_PAYLOAD STREQUAL "sample")
  set_property(SOURCE ${KESTREL_APP_RC} APPEND PROPERTY COMPILE_DEFINITIONS KESTREL_SAMPLE_PAYLOAD=1)
endif()
