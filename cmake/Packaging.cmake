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

install(TARGETS talvo RUNTIME DESTINATION ${TALVO_INSTALL_DIR} COMPONENT client)
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

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Talvo developers <dev@zentarro.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client of the Zentarro customer-marketing web application")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The browser's helper process is not a linked library, so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Only the client goes into the package; the demo server is a development stand-in.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};client;/")
include(CPack)
