# Release packages with CPack: a zip for Windows (tarnovelix.exe, README.md,
# LICENSE.txt and the manual page as plain text, all at the top of the
# archive) and a .deb for Debian-like systems (/usr/bin/tarnovelix, its manual
# page, and the copyright file and changelog in /usr/share/doc/tarnovelix).
#
# Also runs as a script, to render the manual page as text for the zip:
#   cmake -DMAN_PAGE=docs/tarnovelix.1 -DTEXT_OUTPUT=out.txt -P packaging.cmake
# and to copy a text file with CR LF line ends:
#   cmake -DCRLF_INPUT=README.md -DTEXT_OUTPUT=README.md -P packaging.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  if(DEFINED MAN_PAGE)
    find_program(MAN_PROGRAM man)
    find_program(COL_PROGRAM col)
    if(NOT MAN_PROGRAM OR NOT COL_PROGRAM)
      message(FATAL_ERROR "rendering ${MAN_PAGE} needs man (man-db) and col "
                          "(bsdextrautils)")
    endif()
    # Plain ASCII without hyphenation, so any editor shows it as written;
    # col -b drops the overstrikes man uses for bold and underline.
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 ${MAN_PROGRAM} --nh --nj
              -E ascii -l ${MAN_PAGE}
      COMMAND ${COL_PROGRAM} -b -x
      OUTPUT_VARIABLE text
      RESULT_VARIABLE failed)
    if(failed OR text STREQUAL "")
      message(FATAL_ERROR "man -l ${MAN_PAGE} failed: ${failed}")
    endif()
  else()
    file(READ ${CRLF_INPUT} text)
  endif()
  # The zip is for Windows, where a text file's lines end with CR LF.
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${TEXT_OUTPUT} "${text}")
  return()
endif()

set(CPACK_PACKAGE_NAME tarnovelix)
set(CPACK_PACKAGE_VENDOR "The tarnovelix authors")
# The project has no mailbox, so the maintainer is named without an address.
# dpkg-deb builds and dpkg installs such a package; lintian reports it
# (malformed-contact), as Debian policy wants "name <address>". Whoever
# publishes the .deb with an address that reaches someone sets it here, e.g.
# -DTNX_DEB_MAINTAINER="Their Name <their@address>".
set(TNX_DEB_MAINTAINER "The tarnovelix authors"
    CACHE STRING "Maintainer field of the .deb: a name, and <address> if any")
set(CPACK_PACKAGE_CONTACT "${TNX_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "tarnovelix reads a text file of numeric records (a header giving each\n"
    "column's coordinate and events number, then labelled data lines) and\n"
    "writes a row file with one row per value.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # The zip holds its own copies, under the "windows" component, so the
  # archive is flat and its text files have Windows line ends.
  set(TNX_ZIP_DIR ${PROJECT_BINARY_DIR}/zip)
  set(TNX_THIS_FILE ${CMAKE_CURRENT_LIST_FILE})
  add_custom_command(
    OUTPUT ${TNX_ZIP_DIR}/tarnovelix.txt
    COMMAND ${CMAKE_COMMAND} -DMAN_PAGE=${PROJECT_SOURCE_DIR}/docs/tarnovelix.1
            -DTEXT_OUTPUT=${TNX_ZIP_DIR}/tarnovelix.txt -P ${TNX_THIS_FILE}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/tarnovelix.1 ${TNX_THIS_FILE}
    COMMENT "Rendering the manual page as text"
    VERBATIM)
  add_custom_command(
    OUTPUT ${TNX_ZIP_DIR}/README.md
    COMMAND ${CMAKE_COMMAND} -DCRLF_INPUT=${PROJECT_SOURCE_DIR}/README.md
            -DTEXT_OUTPUT=${TNX_ZIP_DIR}/README.md -P ${TNX_THIS_FILE}
    DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${TNX_THIS_FILE}
    VERBATIM)
  # Part of the default build where man and col are at hand; elsewhere the
  # executable still builds, and `--target zip_texts` says what is missing.
  find_program(TNX_MAN_PROGRAM man)
  find_program(TNX_COL_PROGRAM col)
  if(TNX_MAN_PROGRAM AND TNX_COL_PROGRAM)
    set(TNX_ZIP_TEXTS_ALL ALL)
  else()
    set(TNX_ZIP_TEXTS_ALL "")
    message(STATUS "man or col missing: the zip's texts are not built by "
                   "default (install man-db and bsdextrautils)")
  endif()
  add_custom_command(
    OUTPUT ${TNX_ZIP_DIR}/LICENSE.txt
    COMMAND ${CMAKE_COMMAND} -DCRLF_INPUT=${PROJECT_SOURCE_DIR}/LICENSE
            -DTEXT_OUTPUT=${TNX_ZIP_DIR}/LICENSE.txt -P ${TNX_THIS_FILE}
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${TNX_THIS_FILE}
    VERBATIM)
  add_custom_target(zip_texts ${TNX_ZIP_TEXTS_ALL}
                    DEPENDS ${TNX_ZIP_DIR}/tarnovelix.txt ${TNX_ZIP_DIR}/README.md
                            ${TNX_ZIP_DIR}/LICENSE.txt)

  install(TARGETS tarnovelix RUNTIME DESTINATION . COMPONENT windows)
  install(FILES ${TNX_ZIP_DIR}/README.md ${TNX_ZIP_DIR}/LICENSE.txt
                ${TNX_ZIP_DIR}/tarnovelix.txt
          DESTINATION . COMPONENT windows)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_PACKAGE_FILE_NAME
      "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x86_64")
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # A static program (TNX_STATIC, the default) depends on nothing.
  find_program(TNX_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(TNX_STATIC)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  elseif(TNX_DPKG_SHLIBDEPS)
    # The C and C++ runtime versions the binary was linked against.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  endif()

  # /usr/share/doc/tarnovelix/copyright in the machine-readable format, its
  # copyright line and licence text taken from LICENSE (continuation lines
  # start with a space, an empty line becomes " ."), and the changelog,
  # compressed as Debian keeps it.
  set(TNX_DEB_SOURCES ${PROJECT_SOURCE_DIR}/packaging/deb)
  set(TNX_DEB_DIR ${PROJECT_BINARY_DIR}/deb)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/LICENSE)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" copyright_line "${license}")
  set(TNX_COPYRIGHT "${CMAKE_MATCH_1}")
  string(FIND "${license}" "Permission is hereby granted" license_start)
  if(TNX_COPYRIGHT STREQUAL "" OR license_start EQUAL -1)
    message(FATAL_ERROR "LICENSE: no \"Copyright (c)\" line or no "
                        "permission text")
  endif()
  string(SUBSTRING "${license}" ${license_start} -1 license)
  string(STRIP "${license}" license)
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " TNX_LICENSE_TEXT " ${license}")
  configure_file(${TNX_DEB_SOURCES}/copyright.in ${TNX_DEB_DIR}/copyright @ONLY)
  install(FILES ${TNX_DEB_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

  if(GZIP_PROGRAM)
    add_custom_command(
      OUTPUT ${TNX_DEB_DIR}/changelog.gz
      COMMAND ${GZIP_PROGRAM} -9 -n -c ${TNX_DEB_SOURCES}/changelog
              > ${TNX_DEB_DIR}/changelog.gz
      DEPENDS ${TNX_DEB_SOURCES}/changelog
      VERBATIM)
    add_custom_target(deb_changelog ALL DEPENDS ${TNX_DEB_DIR}/changelog.gz)
    install(FILES ${TNX_DEB_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    message(WARNING "gzip missing: the .deb will lack its changelog.gz")
  endif()
endif()

include(CPack)
