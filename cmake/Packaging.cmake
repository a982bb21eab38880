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
install(FILES ${desktop_dir}/${RORADAZA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${icons_dir}/roradaza.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Rendered by resources/icons/make-hicolor.sh and kept in the repository.
foreach(size 16 22 32 48 64 128 256)
    install(FILES ${icons_dir}/hicolor/${size}x${size}/apps/roradaza.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The program shows its version with a letter after the numbers.
set(RORADAZA_RELEASE ${PROJECT_VERSION}d)

set(CPACK_PACKAGE_NAME roradaza)
set(CPACK_PACKAGE_VERSION ${RORADAZA_RELEASE})
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
# Liberation has their metrics, so every label fits its place.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)

include(CPack)
