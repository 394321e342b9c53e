# Read by cpack before it builds a package (CPACK_PROJECT_CONFIG_FILE, written
# by CMakeLists.txt with the built program's and parts' paths): the Debian
# package depends on LibreOffice Impress and on the libraries the program and
# its parts link, in the versions dpkg-shlibdeps works out from their symbols.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(QUILLET_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT QUILLET_DPKG_SHLIBDEPS)
  message(FATAL_ERROR "make deb needs dpkg-shlibdeps (apt install dpkg-dev) to find the package's dependencies")
endif()
# dpkg-shlibdeps wants to run in a source package: an empty debian/control is
# enough.
file(MAKE_DIRECTORY ${QUILLET_SHLIBDEPS_FOLDER}/debian)
file(WRITE ${QUILLET_SHLIBDEPS_FOLDER}/debian/control "")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${QUILLET_DPKG_SHLIBDEPS} -O ${QUILLET_PACKAGE_BINARIES}
  WORKING_DIRECTORY ${QUILLET_SHLIBDEPS_FOLDER}
  RESULT_VARIABLE shlibdeps_status
  OUTPUT_VARIABLE shlibdeps_output
  ERROR_VARIABLE shlibdeps_errors
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT shlibdeps_status EQUAL 0 OR NOT shlibdeps_output MATCHES "^shlibs:Depends=(.+)$")
  message(FATAL_ERROR "dpkg-shlibdeps could not name the package's libraries: ${shlibdeps_errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${QUILLET_PACKAGE_DEPENDS}, ${CMAKE_MATCH_1}")
