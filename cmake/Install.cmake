# What `cmake --install` puts under the prefix: the two programs, the desktop entry, the program
# icon, the AppStream metainfo and the man pages. Laid out for CMAKE_INSTALL_PREFIX=/usr.
include(GNUInstallDirs)

set(VEMO_APP_ID de.talwick.VemoCreator)
set(VEMO_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)

install(TARGETS vemo-creator shortlink-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${VEMO_DIST_DIR}/${VEMO_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VEMO_DIST_DIR}/${VEMO_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon theme looks only into the size directories that hicolor's index.theme lists, so the
# 80-pixel image of the Windows icon has no place here.
foreach(size 16 24 32 48 64 72 96 128)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icon/vemo-creator-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${VEMO_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/icon/vemo-creator.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME ${VEMO_APP_ID}.svg)

install(FILES ${VEMO_DIST_DIR}/vemo-creator.1 ${VEMO_DIST_DIR}/shortlink-service.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
