# Installation (cmake --install) and the Debian packages (cpack -G DEB):
#   corvanex         the program, cx-program-folder, the shipped skins, the
#                    menu entry, icons, manual pages and systemd units
#   corvanex-camsim  the camera simulator, to try the program without cameras
include(GNUInstallDirs)

set(dist ${PROJECT_SOURCE_DIR}/dist)
set(generated ${PROJECT_BINARY_DIR}/dist)
file(MAKE_DIRECTORY ${generated})

install(TARGETS corvanex cx-program-folder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(TARGETS cx-camsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT camsim)

install(FILES ${dist}/corvanex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
install(FILES ${dist}/corvanex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT program)

# The bitmap icons are drawn from the one scalable icon.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icons)
foreach(size 48 128)
  set(icon ${generated}/icons/${size}/corvanex.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} ${dist}/corvanex.svg -o ${icon}
    DEPENDS ${dist}/corvanex.svg
    COMMENT "Drawing the ${size} pixel icon"
    VERBATIM)
  list(APPEND icons ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT program)
endforeach()

# Manual pages and the changelog (the package is its own upstream: a native
# package's "changelog"), versioned and compressed as
# Debian wants them (gzip -9n: no name, no time, so builds repeat).
find_program(GZIP gzip REQUIRED)
set(compressed)
function(cx_compressed source output)
  configure_file(${source} ${generated}/plain/${output} @ONLY)
  add_custom_command(OUTPUT ${generated}/${output}.gz
    COMMAND ${GZIP} -9n -c ${generated}/plain/${output} > ${generated}/${output}.gz
    DEPENDS ${generated}/plain/${output} ${source}
    VERBATIM)
  set(compressed ${compressed} ${generated}/${output}.gz PARENT_SCOPE)
endfunction()
set(VERSION ${PROJECT_VERSION})
cx_compressed(${dist}/corvanex.1 corvanex.1)
cx_compressed(${dist}/cx-program-folder.1 cx-program-folder.1)
cx_compressed(${dist}/cx-camsim.1 cx-camsim.1)
cx_compressed(${dist}/changelog changelog)
add_custom_target(dist_files ALL DEPENDS ${icons} ${compressed})

install(FILES ${generated}/corvanex.1.gz ${generated}/cx-program-folder.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
install(FILES ${generated}/cx-camsim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT camsim)
foreach(package corvanex corvanex-camsim)
  if(package STREQUAL corvanex)
    set(component program)
  else()
    set(component camsim)
  endif()
  install(FILES ${dist}/copyright ${generated}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# The recorder service (system, with a user of its own) and the user unit.
# They name the program where the installation puts it, known only when it
# runs (the package installs below /usr), so they are made then. systemd
# reads units from lib/systemd below the prefix.
foreach(kind system user)
  if(kind STREQUAL system)
    set(unit ${dist}/corvanex.service)
  else()
    set(unit ${dist}/corvanex-user.service)
  endif()
  install(CODE "
    set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${unit}\" \"${generated}/${kind}/corvanex.service\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/${kind}\" TYPE FILE
         FILES \"${generated}/${kind}/corvanex.service\")" COMPONENT program)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvanex)
set(CPACK_PACKAGE_VENDOR "The Corvanex developers")
set(CPACK_PACKAGE_CONTACT "Corvanex developers <packages@corvanex.net>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program camsim)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.corvanex.net/")
# Library dependencies come from the binaries (dpkg-shlibdeps); what is
# loaded at run time is named here: the SQLite ODBC driver unixODBC opens,
# and adduser for the service's user. (Qt's xcb and offscreen platform
# plugins come with libqt6gui6.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME corvanex)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libsqliteodbc, adduser")
# Fonts for the captions; xdg-open for the guide's web link.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "fonts-dejavu-core, xdg-utils")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SUGGESTS "corvanex-camsim")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_EXTRA "${dist}/postinst;${dist}/prerm;${dist}/postrm")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Descriptions: the first line is the synopsis; CPack indents the rest.
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "desktop surveillance for network cameras
Corvanex shows up to 16 network cameras (HTTP snapshots, MJPEG streams and a
binary camera protocol) live in a skinned grid, records them into AVI files
by hand or by a weekly timetable, saves snapshots and replays recordings.

The package includes a recorder service that runs without a window.")
set(CPACK_DEBIAN_CAMSIM_PACKAGE_NAME corvanex-camsim)
# The RTSP cameras' pipelines load GStreamer plugins: appsrc (base), the
# RTP payloaders and the RTP session manager (good).
set(CPACK_DEBIAN_CAMSIM_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_CAMSIM_DESCRIPTION "simulated network cameras for Corvanex
cx-camsim serves drawn or photographed pictures as snapshot, MJPEG stream,
binary-protocol or RTSP (H.264, H.265) cameras on 127.0.0.1, to try Corvanex
without cameras and to test it.")
set(CPACK_DEBIAN_CAMSIM_PACKAGE_SECTION video)
include(CPack)
