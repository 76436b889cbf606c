# The packages as their users take them, each built afresh from the source
# tree: the Debian packages with dpkg-deb and lintian, the Python package
# with pip, and the tree as a CMake subproject. Each is a fresh plain build,
# the same whatever this build's sanitizers, so the sanitizer builds leave
# them out rather than run the same thing again under a preloaded runtime.
if(VUZ_SANITIZE)
  return()
endif()
set(vuz_consumer_dir ${CMAKE_CURRENT_LIST_DIR})
add_test(NAME consumer.debian_packages
  COMMAND bash ${vuz_consumer_dir}/debian_packages.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:dtmfwave>
          ${CMAKE_LIBRARY_ARCHITECTURE})
add_test(NAME consumer.pip_package
  COMMAND bash ${vuz_consumer_dir}/pip_package.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:dtmfwave>
          ${PROJECT_VERSION})
add_test(NAME consumer.subproject
  COMMAND bash ${vuz_consumer_dir}/subproject.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:dtmfwave>)
# Each configures and builds the module once more: heavier than the rest.
set_tests_properties(consumer.debian_packages consumer.pip_package consumer.subproject
  PROPERTIES TIMEOUT 900 PROCESSORS 2)
