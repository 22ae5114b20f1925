# Installation into a folder of its own (/usr/lib/talvo with images/login beside the
# executable), the commands on the PATH, a desktop entry per edition, hicolor icons,
# and a .deb through CPack.
include(GNUInstallDirs)

set(TALVO_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/talvo)
if(CMAKE_INSTALL_LIBDIR MATCHES "/")
  # Debian's multiarch libdir: the program folder stays plain lib/talvo.
  set(TALVO_INSTALL_DIR lib/talvo)
endif()
set(TALVO_EDITION_COMMANDS talvo-qv talvo-norvel talvo-mesk)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Every symbol bound at start and the relocations read-only after it.
  target_link_options(talvo PRIVATE LINKER:-z,relro LINKER:-z,now)
endif()
install(TARGETS talvo RUNTIME DESTINATION ${TALVO_INSTALL_DIR} COMPONENT client)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_OBJCOPY)
  # The compilers' version notes are of no use in the installed program (the package's
  # strip keeps them).
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TALVO_INSTALL_DIR}/talvo\"
                  COMMAND_ERROR_IS_FATAL ANY)"
          COMPONENT client)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/images/login/
        DESTINATION ${TALVO_INSTALL_DIR}/images/login
        COMPONENT client
        FILES_MATCHING PATTERN "*.gif" PATTERN "login_skin.gif" EXCLUDE)

# The edition is taken from the name the program is started under, so each edition is
# a link with its own name, in the program folder and on the PATH.
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/links/lib ${CMAKE_CURRENT_BINARY_DIR}/links/bin)
foreach(command talvo ${TALVO_EDITION_COMMANDS})
  if(NOT command STREQUAL "talvo")
    file(CREATE_LINK talvo ${CMAKE_CURRENT_BINARY_DIR}/links/lib/${command} SYMBOLIC)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/links/lib/${command} DESTINATION ${TALVO_INSTALL_DIR}
            COMPONENT client)
  endif()
  file(CREATE_LINK ../${TALVO_INSTALL_DIR}/${command} ${CMAKE_CURRENT_BINARY_DIR}/links/bin/${command} SYMBOLIC)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/links/bin/${command} DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT client)
endforeach()

install(FILES packaging/talvo-qv.desktop packaging/talvo-norvel.desktop packaging/talvo-mesk.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT client)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/talvo-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME talvo.png
          COMPONENT client)
endforeach()

# What Debian expects of a package besides the program: the copyright, a changelog, a
# manual page for every command, software-centre metadata; all generated from the version
# and release date in the top-level CMakeLists.txt.
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseDate.cmake)
talvo_release_date(${TALVO_RELEASE_DATE} TALVO_RELEASE_EPOCH TALVO_RELEASE_RFC2822)
set(TALVO_MAINTAINER "Talvo developers <dev@zentarro.example>")
set(TALVO_HOMEPAGE "https://www.zentarro.example/talvo/" CACHE STRING
    "Product page; the software-centre screenshot is published under it as screenshots/talvo-main.png")
if(NOT TALVO_HOMEPAGE MATCHES "^https?://[^ \"<>&]+/$")
  message(FATAL_ERROR "TALVO_HOMEPAGE must be an http(s) address ending in /")
endif()
# Reverse domain name of the vendor; it names the metadata file and must never change once
# software centres have seen it.
set(TALVO_APPSTREAM_ID example.zentarro.talvo)

set(_pkg ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_pkg})
find_program(TALVO_GZIP gzip REQUIRED)
find_program(TALVO_SCDOC scdoc)
if(NOT TALVO_SCDOC)
  message(FATAL_ERROR "scdoc is needed for the manual page (scripts/install-deps installs it)")
endif()

configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${_pkg}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/talvo.1.scd ${_pkg}/talvo.1.scd @ONLY)

# The screenshot's size goes into the metadata; read it from the PNG header.
set(_shot ${PROJECT_SOURCE_DIR}/packaging/screenshots/talvo-main.png)
file(READ ${_shot} _ihdr OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING "${_ihdr}" 0 8 _w)
string(SUBSTRING "${_ihdr}" 8 8 _h)
math(EXPR TALVO_SCREENSHOT_WIDTH "0x${_w}")
math(EXPR TALVO_SCREENSHOT_HEIGHT "0x${_h}")
set(_metainfo ${_pkg}/${TALVO_APPSTREAM_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/packaging/talvo.metainfo.xml.in ${_metainfo} @ONLY)

# gzip -n: no name or time stamp inside, so the same sources give the same bytes.
add_custom_command(OUTPUT ${_pkg}/changelog.gz
  COMMAND sh -c "\"$0\" -9nc changelog > changelog.gz" ${TALVO_GZIP}
  DEPENDS ${_pkg}/changelog
  WORKING_DIRECTORY ${_pkg}
  COMMENT "Compressing the package changelog"
  VERBATIM)
# The page holds a table: its first line tells man to run tbl (groff 1.23 warns otherwise).
file(WRITE ${_pkg}/talvo.1.head "'\\\" t\n")
add_custom_command(OUTPUT ${_pkg}/talvo.1.gz
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TALVO_RELEASE_EPOCH}
          sh -c "cat talvo.1.head > talvo.1 && \"$0\" < talvo.1.scd >> talvo.1 && \"$1\" -9nc talvo.1 > talvo.1.gz"
          ${TALVO_SCDOC} ${TALVO_GZIP}
  DEPENDS ${_pkg}/talvo.1.scd
  WORKING_DIRECTORY ${_pkg}
  COMMENT "Generating the talvo(1) manual page"
  VERBATIM)
add_custom_target(talvo_package_docs ALL DEPENDS ${_pkg}/changelog.gz ${_pkg}/talvo.1.gz)

set(_doc ${CMAKE_INSTALL_DATADIR}/doc/talvo)
install(FILES packaging/copyright ${_pkg}/changelog.gz DESTINATION ${_doc} COMPONENT client)
install(FILES ${_pkg}/talvo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT client)
foreach(command ${TALVO_EDITION_COMMANDS})
  file(CREATE_LINK talvo.1.gz ${_pkg}/${command}.1.gz SYMBOLIC)
  install(FILES ${_pkg}/${command}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT client)
endforeach()
install(FILES ${_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT client)
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME talvo COMPONENT client)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talvo)
set(CPACK_PACKAGE_VERSION ${TALVO_VERSION})
set(CPACK_PACKAGE_CONTACT "${TALVO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for the Zentarro customer-marketing application")
file(READ ${PROJECT_SOURCE_DIR}/packaging/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_HOMEPAGE_URL "${TALVO_HOMEPAGE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The browser's helper process is not a linked library, so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin")
# fcitx5 needs its Qt 6 front end to reach the browser's text fields; IBus support comes
# with Qt itself. Qt's translations put its dialogs and the browser's menus in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, xdg-utils, fcitx5-frontend-qt6, qt6-translations-l10n")
# Stripped program in the package, its debug symbols in talvo-dbgsym (a .ddeb), found by
# build id under /usr/lib/debug/.build-id/.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# Modes as Debian wants them, whatever the umask of whoever builds.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebPackageFixes.cmake)
# Only the client goes into the package; the demo server is a development stand-in.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};client;/")
include(CPack)
