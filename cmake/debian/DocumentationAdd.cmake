# Run by cpack once the components are staged, before the packages are made:
# every Debian package gets /usr/share/doc/<package>/copyright,
# changelog.Debian.gz and the project's own changelog.gz there, as Debian's
# policy asks.
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
  foreach(changelog IN ITEMS "${CPACK_VUZ_DEBIAN_CHANGELOG}|changelog.Debian.gz"
                             "${CPACK_VUZ_UPSTREAM_CHANGELOG}|changelog.gz")
    string(REPLACE "|" ";" changelog "${changelog}")
    list(GET changelog 0 source)
    list(GET changelog 1 name)
    execute_process(COMMAND gzip -9nc ${source}
      OUTPUT_FILE ${docdir}/${name}
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip failed on ${source}")
    endif()
  endforeach()
  file(CHMOD ${docdir}/copyright ${docdir}/changelog.Debian.gz ${docdir}/changelog.gz
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
