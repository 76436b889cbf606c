# The version and the release date, each read from the one place it is
# written, so that nothing else in the tree spells them out:
#   VUZ_VERSION           MAJOR.MINOR.PATCH.TWEAK, from the DTMFWAVE_VERSION_*
#                         macros of dtmf/DTMFWave.h; project(VERSION) takes it
#   VUZ_RELEASE_DATE      YYYY-MM-DD, from that version's entry in
#                         CHANGELOG.md ("## [1.0.0.1] - 2026-12-10"); the
#                         manual pages carry it
#   VUZ_RELEASE_DATE_RFC2822  the same day as Debian's changelog writes it
# Included before project(). The configure runs again whenever either file
# changes.
get_filename_component(vuz_top ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(vuz_version_header ${vuz_top}/dtmf/DTMFWave.h)
set(vuz_changelog ${vuz_top}/CHANGELOG.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vuz_version_header} ${vuz_changelog})

set(VUZ_VERSION "")
foreach(part MAJOR MINOR PATCH TWEAK)
  file(STRINGS ${vuz_version_header} vuz_line REGEX "^#define DTMFWAVE_VERSION_${part} +[0-9]+$")
  if(NOT vuz_line MATCHES "([0-9]+)$")
    message(FATAL_ERROR "${vuz_version_header} has no '#define DTMFWAVE_VERSION_${part} <number>' line")
  endif()
  list(APPEND VUZ_VERSION ${CMAKE_MATCH_1})
endforeach()
list(JOIN VUZ_VERSION "." VUZ_VERSION)

# A version without its entry stops the configure: the manual pages and the
# Debian changelog would otherwise carry a date that belongs to no release.
string(REPLACE "." "\\." vuz_version_pattern ${VUZ_VERSION})
file(STRINGS ${vuz_changelog} vuz_line
  REGEX "^## \\[${vuz_version_pattern}\\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
if(NOT vuz_line MATCHES "([0-9]+)-([0-9]+)-([0-9]+)$")
  message(FATAL_ERROR "CHANGELOG.md has no entry '## [${VUZ_VERSION}] - YYYY-MM-DD' for the version "
    "of dtmf/DTMFWave.h: add one when the version changes")
endif()
set(VUZ_RELEASE_DATE "${CMAKE_MATCH_1}-${CMAKE_MATCH_2}-${CMAKE_MATCH_3}")

# Days since 1970-01-01 from the civil date (March-based years, so that the
# leap day ends a year), then string(TIMESTAMP) formats that day: it takes
# its time from SOURCE_DATE_EPOCH when that is set.
math(EXPR vuz_year "${CMAKE_MATCH_1}")
math(EXPR vuz_month "${CMAKE_MATCH_2}")
math(EXPR vuz_day "${CMAKE_MATCH_3}")
if(vuz_month LESS_EQUAL 2)
  math(EXPR vuz_year "${vuz_year} - 1")
  math(EXPR vuz_month "${vuz_month} + 9")
else()
  math(EXPR vuz_month "${vuz_month} - 3")
endif()
math(EXPR vuz_days "${vuz_year} * 365 + ${vuz_year} / 4 - ${vuz_year} / 100 + ${vuz_year} / 400
  + (153 * ${vuz_month} + 2) / 5 + ${vuz_day} - 1 - 719468")
math(EXPR vuz_epoch "${vuz_days} * 86400")
set(vuz_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${vuz_epoch})
string(TIMESTAMP VUZ_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP vuz_check "%Y-%m-%d" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${vuz_saved_epoch}")
if(NOT vuz_check STREQUAL VUZ_RELEASE_DATE)
  message(FATAL_ERROR "CHANGELOG.md: ${VUZ_RELEASE_DATE} is not a date")
endif()
