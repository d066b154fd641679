# The 82 vendor files, embedded in InstaladorHalden as RT_RCDATA resources 1 to 82, language
# Portuguese (Brazil) 1046, through a generated .rc compiled by the cross windres.
#   KESTREL_PAYLOAD=sample  deterministic stand-ins of the catalogue's sizes, made at build time
#                           (rows 80 and 81 are our marker DLLs); the executable is marked.
#   KESTREL_PAYLOAD=site    the files 1 to 82 of KESTREL_PAYLOAD_DIR; configuring fails unless all
#                           are there, and a manifest is printed and written beside the executable.

# The catalogue: row, file name and vendor size, read from the compiled-in table.
set(_table ${CMAKE_SOURCE_DIR}/tasks/PayloadTable.cpp)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_table})
file(STRINGS ${_table} _rows REGEX "^ *\\{ *[0-9]+, *PayloadBase::")
set(_expected 1)
foreach(_line IN LISTS _rows)
  if(NOT _line MATCHES "^ *\\{ *([0-9]+), *PayloadBase::([A-Za-z]+), *\"([^\"]+)\", *([0-9]+),")
    message(FATAL_ERROR "payload: cannot read the catalogue line: ${_line}")
  endif()
  set(_row ${CMAKE_MATCH_1})
  if(NOT _row EQUAL _expected)
    message(FATAL_ERROR "payload: catalogue row ${_row} found where row ${_expected} belongs")
  endif()
  string(REPLACE "\\\\" "\\" _name "${CMAKE_MATCH_3}")
  set(_payload_name_${_row} "${_name}")
  set(_payload_size_${_row} ${CMAKE_MATCH_4})
  math(EXPR _expected "${_expected} + 1")
endforeach()
if(NOT _expected EQUAL 83)
  message(FATAL_ERROR "payload: the catalogue has rows up to ${_expected} - 1, not 82")
endif()

set(_payload_files "")
if(KESTREL_PAYLOAD STREQUAL "site")
  set(_dir ${KESTREL_PAYLOAD_DIR})
  set(_missing "")
  foreach(_row RANGE 1 82)
    if(NOT EXISTS "${_dir}/${_row}" OR IS_DIRECTORY "${_dir}/${_row}")
      list(APPEND _missing "  ${_row} ${_payload_name_${_row}}")
    endif()
    list(APPEND _payload_files "${_dir}/${_row}")
  endforeach()
  if(_missing)
    list(LENGTH _missing _count)
    list(JOIN _missing "\n" _text)
    message(FATAL_ERROR "Site build: ${_count} of the 82 vendor files are missing from ${_dir}:\n${_text}\n"
                        "Put each vendor file there under its row number (1 to 82).")
  endif()
  # A changed vendor file configures again, so the manifest always tells what is embedded.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_payload_files})

  set(_manifest "# Payload of InstaladorHalden.exe (site build from ${_dir})\n# row\tdestination name\tbytes\tSHA-256\n")
  set(_total 0)
  set(_differ "")
  foreach(_row RANGE 1 82)
    file(SIZE "${_dir}/${_row}" _size)
    file(SHA256 "${_dir}/${_row}" _hash)
    string(APPEND _manifest "${_row}\t${_payload_name_${_row}}\t${_size}\t${_hash}\n")
    math(EXPR _total "${_total} + ${_size}")
    if(NOT _size EQUAL _payload_size_${_row})
      list(APPEND _differ "  ${_row} ${_payload_name_${_row}}: ${_size} bytes, catalogue ${_payload_size_${_row}}")
    endif()
  endforeach()
  string(APPEND _manifest "# total\t${_total} bytes\n")
  if(_differ)
    list(LENGTH _differ _count)
    list(JOIN _differ "\n" _text)
    message(WARNING "Site build: ${_count} vendor files differ in size from the catalogue:\n${_text}\n")
  endif()
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/InstaladorHalden.payload.txt "${_manifest}")
  message(STATUS "Site build payload manifest (also in ${CMAKE_CURRENT_BINARY_DIR}/InstaladorHalden.payload.txt):\n${_manifest}")

elseif(KESTREL_PAYLOAD STREQUAL "sample")
  # Rows 80 and 81: tiny COM DLLs of ours for the build's own architecture, whose registration
  # leaves a mark (payload/markers/marker.c); padded to the catalogue's sizes by the generator.
  foreach(_marker msxml5 capicom)
    add_library(marker_${_marker} SHARED ${CMAKE_SOURCE_DIR}/payload/markers/marker.c
                                         ${CMAKE_SOURCE_DIR}/payload/markers/marker.def)
    target_compile_definitions(marker_${_marker} PRIVATE "MARKER_NAME=\"${_marker}.dll\"")
    target_link_libraries(marker_${_marker} PRIVATE advapi32)
    target_link_options(marker_${_marker} PRIVATE -s)
    if(KESTREL_ARCH STREQUAL "i686")
      # The .def names the stdcall exports undecorated, as regsvr32 looks them up.
      target_link_options(marker_${_marker} PRIVATE -Wl,--enable-stdcall-fixup)
    endif()
    set_target_properties(marker_${_marker} PROPERTIES PREFIX "" OUTPUT_NAME "marker-${_marker}"
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/markers)
  endforeach()

  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/payload-sample)
  foreach(_row RANGE 1 82)
    list(APPEND _payload_files "${_dir}/${_row}")
  endforeach()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(
    OUTPUT ${_payload_files} ${_dir}/manifest.txt
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make-sample-payload.py
            --table ${_table} --out ${_dir}
            --file 80=$<TARGET_FILE:marker_msxml5> --file 81=$<TARGET_FILE:marker_capicom>
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/make-sample-payload.py ${_table} marker_msxml5 marker_capicom
            $<TARGET_FILE:marker_msxml5> $<TARGET_FILE:marker_capicom>
    COMMENT "Generating the sample payload (stand-ins, not the vendor files)"
    VERBATIM)

  # Marked where a person notices: the version resource's Comments test this define (the
  # resources of cmake/resources.cmake), and every link says so in the build output.
  target_compile_definitions(InstaladorHalden PRIVATE KESTREL_SAMPLE_PAYLOAD=1)
  add_custom_command(TARGET InstaladorHalden POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E echo
            "NOTE: $<TARGET_FILE_NAME:InstaladorHalden> carries the SAMPLE payload (stand-ins): not for installation on workstations"
    VERBATIM)
  message(STATUS "Sample payload: InstaladorHalden.exe will carry generated stand-ins, not the vendor files")
else()
  message(FATAL_ERROR "KESTREL_PAYLOAD must be sample or site, not '${KESTREL_PAYLOAD}'")
endif()

# LANGUAGE LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN = 1046.
set(_rc "// Generated by payload/payload.cmake: the payload of ${KESTREL_PAYLOAD} build.\nLANGUAGE 0x16, 0x01\n")
foreach(_row RANGE 1 82)
  string(APPEND _rc "${_row} RCDATA \"${_dir}/${_row}\"\n")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/payload.rc CONTENT "${_rc}")
target_sources(InstaladorHalden PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/payload.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/payload.rc PROPERTIES
  OBJECT_DEPENDS "${_payload_files}")
# Sections start at page boundaries in the file too (file alignment = section alignment): Wine's
# loader then maps the image, payload included, from the file as Windows does, and pages in only
# what is read; with the default 512-byte alignment it reads the whole image into private memory
# at start. Costs at most a page of padding per section.
target_link_options(InstaladorHalden PRIVATE -Wl,--file-alignment,0x1000)

if(KESTREL_TESTS AND KESTREL_PRODUCT_EXE)
  # The site builds reuse the product's libjpeg (i686, win32 threads), not this build's.
  get_filename_component(_product_dir ${KESTREL_PRODUCT_EXE} DIRECTORY)
  set(_product_jpeg ${_product_dir}/_deps/libjpeg-nogetenv)
  # A site build refuses an incomplete vendor folder and reports a complete one (configure only).
  add_test(NAME payload.site-build
    COMMAND ${CMAKE_SOURCE_DIR}/tests/payload/site-build.sh ${CMAKE_SOURCE_DIR} ${_product_jpeg})
  set_tests_properties(payload.site-build PROPERTIES LABELS static)
  # A site build signed with a certificate made by the test, checked and installed on the
  # 32-bit bed (it builds the product: minutes).
  add_test(NAME wine32.payload.signed-site-build
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/display-run.sh
            ${CMAKE_SOURCE_DIR}/tests/payload/signed-build.sh ${CMAKE_SOURCE_DIR} ${_product_jpeg}
            ${_product_dir}/markers)
  set_tests_properties(wine32.payload.signed-site-build PROPERTIES LABELS "e2e;wine32" TIMEOUT 1800
    ENVIRONMENT KESTREL_BED=wine32)
endif()
