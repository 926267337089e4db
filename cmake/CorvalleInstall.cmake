# What `cmake --install` puts in place: the three programs, the desktop program's help page,
# and its desktop entry with an icon. Included after every target exists.
include(GNUInstallDirs)

install(TARGETS corvalle corvalle-desktop corvalle-marketplace
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/Source/Desktop/Help/index.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/corvalle/help)
install(FILES ${PROJECT_SOURCE_DIR}/Source/Desktop/Resources/corvalle-desktop.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/Source/Desktop/Resources/corvalle-desktop.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
