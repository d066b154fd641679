# Authenticode signature of a site build's two programs, the uninstaller DesinstalarKestrel.exe
# before it is embedded and then InstaladorHalden.exe (tools/sign-exe.sh, Debian's osslsigncode:
# SHA-256, and a timestamp when a server is named). The site names its certificate by these
# variables, given to CMake (-D) or, when not given, taken from the environment at configure time:
#   KESTREL_SIGN_PKCS12                  a PKCS#12 file with the certificate and its key, or
#   KESTREL_SIGN_CERT + KESTREL_SIGN_KEY PEM files of the certificate (with its chain) and the key
#   KESTREL_SIGN_TIMESTAMP               an RFC 3161 timestamp server URL (optional)
# The password of the PKCS#12 file or of the key is KESTREL_SIGN_PASSWORD in the environment of
# the build, read by the signing step itself: it is never a CMake variable, so it stays out of the
# cache and the build files. Without a certificate the build is as before, and says it is unsigned.
#
# The signature is the last step that touches a file: every check of the image that a signature
# would change comes before it, and the checks that read the finished file (the import audit, the
# payload scenarios) read the signed one. Keep any new post-build step above this file's include.
foreach(_var KESTREL_SIGN_PKCS12 KESTREL_SIGN_CERT KESTREL_SIGN_KEY KESTREL_SIGN_TIMESTAMP)
  if(NOT DEFINED ${_var} AND DEFINED ENV{${_var}})
    set(${_var} "$ENV{${_var}}")
  endif()
  set(${_var} "${${_var}}" CACHE STRING "Authenticode signing of the site build (cmake/signing.cmake)")
endforeach()
if(DEFINED KESTREL_SIGN_PASSWORD)
  message(FATAL_ERROR "KESTREL_SIGN_PASSWORD is read from the environment only: do not pass it to CMake")
endif()

if(NOT KESTREL_PAYLOAD STREQUAL "site")
  return()
endif()

if(KESTREL_SIGN_PKCS12 OR KESTREL_SIGN_CERT OR KESTREL_SIGN_KEY)
  if(KESTREL_SIGN_PKCS12 AND (KESTREL_SIGN_CERT OR KESTREL_SIGN_KEY))
    message(FATAL_ERROR "Signing: give KESTREL_SIGN_PKCS12 or KESTREL_SIGN_CERT with KESTREL_SIGN_KEY, not both")
  endif()
  if(NOT KESTREL_SIGN_PKCS12 AND NOT (KESTREL_SIGN_CERT AND KESTREL_SIGN_KEY))
    message(FATAL_ERROR "Signing: KESTREL_SIGN_CERT and KESTREL_SIGN_KEY go together")
  endif()
  find_program(KESTREL_OSSLSIGNCODE osslsigncode)
  if(NOT KESTREL_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing: osslsigncode is not installed (bash tools/setup.sh installs it)")
  endif()
  foreach(_file KESTREL_SIGN_PKCS12 KESTREL_SIGN_CERT KESTREL_SIGN_KEY)
    if(${_file} AND NOT EXISTS "${${_file}}")
      message(FATAL_ERROR "Signing: ${_file} names no file: ${${_file}}")
    endif()
  endforeach()
  # The uninstaller is signed by a post-build step of its own target, so that the file the
  # installer embeds (cmake/resources.cmake) is the signed one; the installer is signed last.
  # Each under its own name, which the UAC prompt shows.
  set(_name_DesinstalarKestrel "Desinstalador Kestrel")
  set(_name_InstaladorHalden "Instalador Kestrel")
  foreach(_target DesinstalarKestrel InstaladorHalden)
    add_custom_command(TARGET ${_target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E env
              "KESTREL_SIGN_PKCS12=${KESTREL_SIGN_PKCS12}" "KESTREL_SIGN_CERT=${KESTREL_SIGN_CERT}"
              "KESTREL_SIGN_KEY=${KESTREL_SIGN_KEY}" "KESTREL_SIGN_TIMESTAMP=${KESTREL_SIGN_TIMESTAMP}"
              ${CMAKE_SOURCE_DIR}/tools/sign-exe.sh $<TARGET_FILE:${_target}> "${_name_${_target}}"
      VERBATIM)
  endforeach()
  if(KESTREL_SIGN_TIMESTAMP)
    set(_how "SHA-256, timestamp from ${KESTREL_SIGN_TIMESTAMP}")
  else()
    set(_how "SHA-256, no timestamp server named")
  endif()
  message(STATUS "Signing: InstaladorHalden.exe will be signed (${_how}), and before it the uninstaller it carries, DesinstalarKestrel.exe")
else()
  message(STATUS "Signing: no certificate (KESTREL_SIGN_PKCS12 or KESTREL_SIGN_CERT + KESTREL_SIGN_KEY): InstaladorHalden.exe will be UNSIGNED, and so will the uninstaller it carries")
  add_custom_command(TARGET InstaladorHalden POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E echo
            "NOTE: $<TARGET_FILE_NAME:InstaladorHalden> is UNSIGNED: Windows shows an unknown publisher (see the README, Signing)"
    VERBATIM)
endif()
