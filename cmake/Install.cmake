# Installation and the Debian package.
#
# The program is self-contained under CMAKE_INSTALL_PREFIX (default /opt/lumivo):
#   <prefix>/bin/lumivo and <prefix>/bin/lang/<id>.qm, which it looks for beside itself.
# What the desktop needs to find it goes under LUMIVO_SYSTEM_PREFIX (default /usr/local;
# the package uses /usr):
#   bin/lumivo                               symlink to the program
#   share/applications/<id>.desktop
#   share/icons/hicolor/{scalable,NxN}/apps/<id>.{svg,png}
#   share/metainfo/<id>.metainfo.xml
#   share/man/man1/lumivo.1.gz, share/doc/<package>/{changelog.gz,copyright}
# All of it honours DESTDIR, so a staging tree is complete and its launcher works.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/lumivo CACHE PATH "Where the self-contained program is installed" FORCE)
endif()
set(LUMIVO_SYSTEM_PREFIX /usr/local CACHE PATH
  "Where the launcher, desktop entry, icons and metainfo are installed")
option(LUMIVO_PACKAGE_LAYOUT
  "Install as the Debian package does: absolute launcher link, lintian overrides" OFF)
set(LUMIVO_APP_ID io.github.lumivo.Lumivo)
# The Qt 6 build is its own package, so that apt shows which one is installed; the two
# own the same files, so it takes the place of the Qt 5 one (and counts as it).
set(LUMIVO_PACKAGE lumivo)
if(NOT LUMIVO_QT STREQUAL "5")
  set(LUMIVO_PACKAGE lumivo-qt${LUMIVO_QT})
endif()
set(LUMIVO_ICON_SIZES 16 22 24 32 48 64 128 256)
set(LUMIVO_ICON_SVG ${CMAKE_SOURCE_DIR}/resources/lumivo.svg)

# The program and its translations.
install(TARGETS lumivo RUNTIME DESTINATION bin)
install(FILES ${LUMIVO_QM_FILES} DESTINATION bin/lang)

# The launcher. Computed when installing, so that `cmake --install --prefix` is followed.
# Relative by default, so that it also resolves inside a DESTDIR staging tree; absolute in
# the package, as Debian wants for links between top-level directories.
# Qt finds lang/ through the resolved executable path, so a symlink is enough.
install(CODE "set(LUMIVO_SYSTEM_PREFIX \"${LUMIVO_SYSTEM_PREFIX}\")
  set(LUMIVO_PACKAGE_LAYOUT ${LUMIVO_PACKAGE_LAYOUT})")
install(CODE [[
  set(_sysbin "${LUMIVO_SYSTEM_PREFIX}/bin")
  file(RELATIVE_PATH _target "${_sysbin}" "${CMAKE_INSTALL_PREFIX}/bin/lumivo")
  if(NOT _target STREQUAL "lumivo")
    if(LUMIVO_PACKAGE_LAYOUT)
      set(_target "${CMAKE_INSTALL_PREFIX}/bin/lumivo")
    endif()
    set(_link "$ENV{DESTDIR}${_sysbin}/lumivo")
    message(STATUS "Installing: ${_link} -> ${_target}")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${_sysbin}")
    file(REMOVE "${_link}")
    file(CREATE_LINK "${_target}" "${_link}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_sysbin}/lumivo")
  endif()
]])

# Desktop integration.
install(FILES ${CMAKE_SOURCE_DIR}/dist/${LUMIVO_APP_ID}.desktop
  DESTINATION ${LUMIVO_SYSTEM_PREFIX}/share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/dist/${LUMIVO_APP_ID}.metainfo.xml
  DESTINATION ${LUMIVO_SYSTEM_PREFIX}/share/metainfo)
install(FILES ${LUMIVO_ICON_SVG} DESTINATION ${LUMIVO_SYSTEM_PREFIX}/share/icons/hicolor/scalable/apps
  RENAME ${LUMIVO_APP_ID}.svg)

# Manual page, changelog and copyright, compressed at build time as Debian expects.
set(LUMIVO_GZ_FILES)
foreach(pair "lumivo.1|lumivo.1.gz" "changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 in)
  list(GET pair 1 out)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/dist/${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dist
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/dist/${in} ${CMAKE_BINARY_DIR}/dist/${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/dist/${in} VERBATIM)
  list(APPEND LUMIVO_GZ_FILES ${CMAKE_BINARY_DIR}/dist/${out})
endforeach()
add_custom_target(lumivo_docs ALL DEPENDS ${LUMIVO_GZ_FILES})
install(FILES ${CMAKE_BINARY_DIR}/dist/lumivo.1.gz DESTINATION ${LUMIVO_SYSTEM_PREFIX}/share/man/man1)
install(FILES ${CMAKE_BINARY_DIR}/dist/changelog.gz ${CMAKE_SOURCE_DIR}/dist/copyright
  DESTINATION ${LUMIVO_SYSTEM_PREFIX}/share/doc/${LUMIVO_PACKAGE})
if(LUMIVO_PACKAGE_LAYOUT)
  install(FILES ${CMAKE_SOURCE_DIR}/dist/lumivo.lintian-overrides
    DESTINATION ${LUMIVO_SYSTEM_PREFIX}/share/lintian/overrides RENAME ${LUMIVO_PACKAGE})
endif()

# Sized icons are rendered from the SVG at build time rather than committed.
add_executable(lumivo_svgtopng tools/svgtopng.cpp)
target_link_libraries(lumivo_svgtopng PRIVATE Qt::Gui Qt::Svg)
target_compile_options(lumivo_svgtopng PRIVATE ${LUMIVO_WARNINGS})
set(LUMIVO_ICON_PNGS)
foreach(size ${LUMIVO_ICON_SIZES})
  set(dir ${CMAKE_BINARY_DIR}/icons/${size}x${size})
  set(png ${dir}/${LUMIVO_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND lumivo_svgtopng ${LUMIVO_ICON_SVG} ${png} ${size}
    DEPENDS lumivo_svgtopng ${LUMIVO_ICON_SVG}
    COMMENT "Rendering ${size}x${size} application icon" VERBATIM)
  list(APPEND LUMIVO_ICON_PNGS ${png})
  install(FILES ${png} DESTINATION ${LUMIVO_SYSTEM_PREFIX}/share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(lumivo_icons ALL DEPENDS ${LUMIVO_ICON_PNGS})

# Debian package (scripts/package.sh). Everything under the package root: the program
# in /opt/lumivo, the rest below LUMIVO_SYSTEM_PREFIX (the script sets /usr).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${LUMIVO_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumivo developers")
set(CPACK_PACKAGE_CONTACT "Lumivo developers <developers@lumivo.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# GPL-3.0-or-later. The package carries the licence in /usr/share/doc/<package>/copyright
# (pointing at common-licenses), so COPYING itself is not installed.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/COPYING)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "USB webcam viewer with camera controls")
set(CPACK_PACKAGE_DESCRIPTION "Lumivo lists the USB webcams that are plugged in, follows them being
plugged and unplugged, and shows the live picture of the one picked. It
sets the capture resolution and the camera's own controls (exposure, focus,
white balance, brightness, contrast, saturation), sits in the system tray
and speaks English and Simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Absolute destinations (the /usr part) need a DESTDIR-style staging.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG plugins at run time (icons), which shlibdeps cannot see.
if(LUMIVO_QT STREQUAL "5")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5svg5")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qtwayland5")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
  set(CPACK_DEBIAN_PACKAGE_CONFLICTS "lumivo")
  set(CPACK_DEBIAN_PACKAGE_REPLACES "lumivo")
  set(CPACK_DEBIAN_PACKAGE_PROVIDES "lumivo")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
