# SPDX-License-Identifier: GPL-3.0-or-later
# Installing like other desktop programs, and the .deb made from that install.

include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The desktop entry and the metainfo are named after the AppStream id, which
# the metainfo's launchable names.
set(RORADAZA_APP_ID example.roradaza.Roradaza)
set(desktop_dir ${PROJECT_SOURCE_DIR}/resources/desktop)
set(icons_dir ${PROJECT_SOURCE_DIR}/resources/icons)

install(TARGETS Roradaza roradaza-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${desktop_dir}/${RORADAZA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The metainfo names the release, so it is made from the project's version.
set(RORADAZA_METAINFO ${PROJECT_BINARY_DIR}/packaged/${RORADAZA_APP_ID}.metainfo.xml)
configure_file(${desktop_dir}/${RORADAZA_APP_ID}.metainfo.xml.in ${RORADAZA_METAINFO} @ONLY)
install(FILES ${RORADAZA_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${icons_dir}/roradaza.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Rendered by resources/icons/make-hicolor.sh and kept in the repository.
foreach(size 16 22 32 48 64 128 256)
    install(FILES ${icons_dir}/hicolor/${size}x${size}/apps/roradaza.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The manual pages and the changelog go in compressed with gzip -9n, so the
# same sources always give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/packaged/changelog @ONLY)
set(compressed_docs)
foreach(source ${PROJECT_SOURCE_DIR}/docs/man/Roradaza.1 ${PROJECT_SOURCE_DIR}/docs/man/roradaza-check.1
               ${PROJECT_BINARY_DIR}/packaged/changelog)
    get_filename_component(name ${source} NAME)
    set(copy ${PROJECT_BINARY_DIR}/packaged/gz/${name})
    add_custom_command(OUTPUT ${copy}.gz
                       COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
                       COMMAND ${GZIP_PROGRAM} -9nf ${copy}
                       DEPENDS ${source}
                       VERBATIM)
    list(APPEND compressed_docs ${copy}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed_docs})
install(FILES ${PROJECT_BINARY_DIR}/packaged/gz/Roradaza.1.gz ${PROJECT_BINARY_DIR}/packaged/gz/roradaza-check.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${PROJECT_BINARY_DIR}/packaged/gz/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/roradaza)

set(CPACK_PACKAGE_NAME roradaza)
set(CPACK_PACKAGE_VERSION ${RORADAZA_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR Roradaza)
set(CPACK_PACKAGE_CONTACT "Roradaza <roradaza@roradaza.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://roradaza.example/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "promemoria di compleanni e ricorrenze - birthday and event reminder")
set(CPACK_PACKAGE_DESCRIPTION
    "Roradaza ti ricorda compleanni, onomastici, anniversari, appuntamenti, esami,
telefonate e bollette, in rosso gli eventi importanti, in cima gli onomastici
del giorno. Il programma attende nell'area di notifica.

Roradaza reminds you of birthdays, name days, anniversaries, appointments,
exams, calls and bills; its interface is Italian. The package also holds
roradaza-check, which prints the day's check in a terminal.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/fuzz-out/" "__pycache__")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Roradaza <roradaza@roradaza.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries come from dpkg-shlibdeps; the xcb platform plugin and the JPEG
# reader come with libqt6gui6, and the program's pictures are plain PNG.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The layouts are drawn for Times New Roman, Arial-like sans and Courier:
# Liberation has their metrics, so every label fits its place. On a Wayland
# desktop Qt runs natively only with its wayland platform plugin; Qt's own
# Italian makes the file dialog and the text boxes' menus speak as the program does.
# The sync keeps its password in the desktop's secret store through QtKeychain.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, qt6-wayland, qt6-translations-l10n, libqt6keychain1")

include(CPack)
