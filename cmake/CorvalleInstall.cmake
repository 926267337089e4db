# What `cmake --install` puts in place: the three programs, the command line's manual page, the
# demo's samples, and the desktop program's desktop entry with an icon. Included after every target exists. Nothing installed
# refers to the source or build tree: the programs find their data relative to themselves.
include(GNUInstallDirs)

install(TARGETS corvalle corvalle-desktop corvalle-marketplace
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/Source/CommandLine/corvalle.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Where Source/CommandLine's corvalle expects them, relative to its own directory.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Samples/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/corvalle/samples)
install(FILES ${PROJECT_SOURCE_DIR}/Source/Desktop/Resources/corvalle-desktop.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/Source/Desktop/Resources/corvalle-desktop.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
