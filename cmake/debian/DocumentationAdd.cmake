# Run by cpack once the components are staged, before the packages are made:
# every Debian package gets /usr/share/doc/<package>/copyright and
# changelog.Debian.gz there, as Debian's policy asks.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(docdir ${CPACK_TEMPORARY_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  file(MAKE_DIRECTORY ${docdir})
  configure_file(${CPACK_VUZ_DEBIAN_COPYRIGHT} ${docdir}/copyright COPYONLY)
  # gzip -9n: best compression, and no name or time in the header, so the
  # same changelog always gives the same bytes.
  execute_process(COMMAND gzip -9nc ${CPACK_VUZ_DEBIAN_CHANGELOG}
    OUTPUT_FILE ${docdir}/changelog.Debian.gz
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${CPACK_VUZ_DEBIAN_CHANGELOG}")
  endif()
  file(CHMOD ${docdir}/copyright ${docdir}/changelog.Debian.gz
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
