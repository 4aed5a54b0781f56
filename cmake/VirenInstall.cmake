# Installing VIREN: the program folder (executables, VIREN.ini, samples, skins,
# documentation) goes whole to <prefix>/lib/viren, since the program finds its
# data beside itself; <prefix>/bin holds links to the executables, and the
# desktop finds the program through its desktop entry and icon. Installed
# there the folder is read-only for users, so each user's choices go to
# ~/.config/viren/option.ini.
#
#   cmake --install build --prefix /usr/local
#   make package          (a Debian package, built by CPack)
include(GNUInstallDirs)

set(VIREN_INSTALL_FOLDER ${CMAKE_INSTALL_LIBDIR}/viren)
set(VIREN_INSTALLED_PROGRAMS viren viren-run viren-ctl viren-bridge)

set(link_folder ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${link_folder})
foreach(program ${VIREN_INSTALLED_PROGRAMS})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${VIREN_INSTALL_FOLDER})
    # A relative link stays right in a package's staging root and after it.
    file(RELATIVE_PATH target_from_bin /${CMAKE_INSTALL_BINDIR} /${VIREN_INSTALL_FOLDER}/${program})
    file(CREATE_LINK ${target_from_bin} ${link_folder}/${program} SYMBOLIC)
    install(FILES ${link_folder}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${VIREN_INSTALL_FOLDER})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/viren.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/viren.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME viren)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_VENDOR "VIREN developers")
set(CPACK_PACKAGE_CONTACT "VIREN developers <viren@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "drives an infrared-controlled model car from an overhead camera")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "VIREN finds a model car in the picture of a camera above the course, runs a\n"
    "flowchart driving program on it and presses the buttons of the car's remote\n"
    "controller through a relay board on a serial port; without camera or car it\n"
    "simulates the car. Other programs drive the car through shared memory.")
# The build keeps its debugging information; the package does not (109 MB installed without stripping, 5 MB with).
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not pull in: the GStreamer elements that play sounds
# and read video files, a General MIDI font, and a font for the Japanese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, timgm6mb-soundfont | fluid-soundfont-gm, fonts-ipafont-gothic | fonts-noto-cjk")
include(CPack)
