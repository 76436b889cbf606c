# find_package(vuzirizoruza): the package VuzirizORURUZA under the name
# Debian and pkg-config use, found in the folder beside this one.
include("${CMAKE_CURRENT_LIST_DIR}/../VuzirizORURUZA/VuzirizORURUZAConfig.cmake")
