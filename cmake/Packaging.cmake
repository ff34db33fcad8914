# Installs the program as a desktop application (entry, icons, AppStream data) and packs that
# installation as a Debian package with `cpack -G DEB`.
include(GNUInstallDirs)
set(PEXA_APP_ID example.pexaresizer.PexaResizer)

install(TARGETS PexaResizer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${PEXA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${PEXA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon theme wants one file per size: the 48x48 original as it is, the larger sizes scaled
# from it. /usr/bin/convert by its full path, as any other convert on PATH may not be ImageMagick.
set(icon_source ${CMAKE_SOURCE_DIR}/resources/pexa.png)
install(FILES ${icon_source} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME ${PEXA_APP_ID}.png)
find_program(PEXA_CONVERT convert PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(scaled_icons)
foreach(size 128 256)
    set(icon ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${PEXA_APP_ID}.png)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${PEXA_CONVERT} ${icon_source} -resize ${size}x${size} PNG32:${icon}
        DEPENDS ${icon_source}
        VERBATIM)
    list(APPEND scaled_icons ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(pexa_icons ALL DEPENDS ${scaled_icons})
# Building the program alone is then enough for `cmake --install`.
add_dependencies(PexaResizer pexa_icons)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pexaresizer)
set(CPACK_PACKAGE_VENDOR "Pexa Resizer developers")
set(CPACK_PACKAGE_CONTACT "Pexa Resizer developers <developers@pexaresizer.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Resize photos for a web gallery and publish them")
set(CPACK_PACKAGE_DESCRIPTION
    "Pexa Resizer scans a folder tree of photos, writes a mirrored tree of resized copies and
thumbnails, and uploads that tree to an FTP server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.pexaresizer.example/)
# The libraries the binary links. What Qt loads at run time comes with them on Debian 12: the
# xcb platform plugin and the JPEG and GIF readers are in libqt6gui6, the TLS backend in
# libqt6network6, and ImageMagick's JPEG, PNG, GIF and BMP coders in libmagickcore.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt opens the web and mail links of the About box and the error report with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
