# The Ruffle player the pages load. One place decides its version: the
# @ruffle-rs/ruffle dependency of tests/tools/package.json, which the browser
# tests run and the lock file pins. From that version's npm package (installed
# by scripts/install-deps into tests/tools/node_modules) the build takes
#   QUILLET_RUFFLE_VERSION    the version, for the page's CDN address;
#   QUILLET_RUFFLE_INTEGRITY  the Subresource Integrity hash of its ruffle.js
#                             ("sha384-..."), empty when the package is missing;
#   the player's files        copied into share/quillet/ruffle/ of the build
#                             tree, for quillet convert --player local (an
#                             install puts the same folder under PREFIX).
# Moving the player to another version is a change of that one line and a
# fresh lock file (npm install in tests/tools); the browser tests then serve
# the new package in place of the CDN and prove it.

# Base64 of a string of hex digits, as Subresource Integrity writes digests.
function(quillet_hex_to_base64 hex out)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  string(LENGTH "${hex}" length)
  set(result "")
  set(at 0)
  while(at LESS length)
    math(EXPR left "${length} - ${at}")
    set(bytes 3)
    if(left GREATER_EQUAL 6)
      string(SUBSTRING "${hex}" ${at} 6 group)
    else()
      string(SUBSTRING "${hex}" ${at} ${left} group)
      math(EXPR bytes "${left} / 2")
      math(EXPR missing "3 - ${bytes}")
      string(REPEAT "00" ${missing} padding)
      string(APPEND group "${padding}")
    endif()
    math(EXPR value "0x${group}")
    foreach(shift 18 12 6 0)
      math(EXPR index "(${value} >> ${shift}) & 63")
      string(SUBSTRING "${alphabet}" ${index} 1 character)
      string(APPEND result "${character}")
    endforeach()
    if(bytes EQUAL 1)
      string(REGEX REPLACE "..$" "==" result "${result}")
    elseif(bytes EQUAL 2)
      string(REGEX REPLACE ".$" "=" result "${result}")
    endif()
    math(EXPR at "${at} + 6")
  endwhile()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

set(quillet_tools_package ${PROJECT_SOURCE_DIR}/tests/tools/package.json)
file(READ ${quillet_tools_package} quillet_tools_json)
string(JSON QUILLET_RUFFLE_VERSION GET "${quillet_tools_json}" dependencies @ruffle-rs/ruffle)
if(NOT QUILLET_RUFFLE_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "${quillet_tools_package} must pin @ruffle-rs/ruffle to one exact version, not "
                      "'${QUILLET_RUFFLE_VERSION}'")
endif()

set(quillet_ruffle_package ${PROJECT_SOURCE_DIR}/tests/tools/node_modules/@ruffle-rs/ruffle)
set(QUILLET_RUFFLE_FILES ${CMAKE_BINARY_DIR}/share/quillet/ruffle)
set(QUILLET_RUFFLE_INTEGRITY "")
set(quillet_installed_version "")
if(EXISTS ${quillet_ruffle_package}/package.json AND EXISTS ${quillet_ruffle_package}/ruffle.js)
  file(READ ${quillet_ruffle_package}/package.json quillet_ruffle_json)
  string(JSON quillet_installed_version GET "${quillet_ruffle_json}" version)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${quillet_tools_package})
if(quillet_installed_version STREQUAL QUILLET_RUFFLE_VERSION)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${quillet_ruffle_package}/package.json ${quillet_ruffle_package}/ruffle.js)
  file(SHA384 ${quillet_ruffle_package}/ruffle.js quillet_ruffle_digest)
  quillet_hex_to_base64("${quillet_ruffle_digest}" quillet_ruffle_digest64)
  set(QUILLET_RUFFLE_INTEGRITY "sha384-${quillet_ruffle_digest64}")
  # The player as the CDN serves it, without source maps or the read-me.
  file(GLOB quillet_ruffle_sources ${quillet_ruffle_package}/*.js ${quillet_ruffle_package}/*.wasm
       ${quillet_ruffle_package}/LICENSE* ${quillet_ruffle_package}/package.json)
  file(REMOVE_RECURSE ${QUILLET_RUFFLE_FILES})
  file(COPY ${quillet_ruffle_sources} DESTINATION ${QUILLET_RUFFLE_FILES})
else()
  file(REMOVE_RECURSE ${QUILLET_RUFFLE_FILES})
  message(WARNING "Ruffle ${QUILLET_RUFFLE_VERSION} is not installed in ${quillet_ruffle_package} "
                  "(found '${quillet_installed_version}'): pages will load it without an integrity hash and "
                  "quillet convert --player local will not work; run scripts/install-deps and configure again.")
endif()
