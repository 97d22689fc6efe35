# Run by cpack over the package's staged files before it packs them: dpkg-shlibdeps names the
# packages of the libraries the staged programs link, and they join the package's dependencies.
# The ELF files are found by their first bytes, so building the package needs no file(1).
cmake_policy(SET CMP0009 NEW)
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
set(programs)
foreach(file IN LISTS staged)
  if(NOT IS_SYMLINK "${file}")
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      list(APPEND programs "${file}")
    endif()
  endif()
endforeach()
if(NOT programs)
  message(FATAL_ERROR "no programs staged for the package")
endif()

# dpkg-shlibdeps reads the package's folder as a source package's: it wants a debian/control.
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(TOUCH "${work}/debian/control")
execute_process(
  COMMAND dpkg-shlibdeps -O ${programs}
  WORKING_DIRECTORY "${work}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT output MATCHES "^shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${CMAKE_MATCH_1}")
