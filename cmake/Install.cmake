# Install layout and the Debian package. Included at the end of the
# top-level CMakeLists.txt, once every target exists. Every destination is
# relative, so `cmake --install build --prefix DIR` gives a tree that runs
# from DIR and CPack can place the same tree under /usr.

# The date of the release named by the project's version, as the metainfo
# and the man pages state it. A fixed date, not the build's, so that two
# builds of one version give the same files.
set(KESTRIN_RELEASE_DATE "2026-12-11")

set(_kestrin_res ${PROJECT_SOURCE_DIR}/resources)
set(_kestrin_gen ${PROJECT_BINARY_DIR}/generated/desktop)

foreach(_kestrin_exe kestrin kestrin-sim)
    if(TARGET ${_kestrin_exe})
        install(TARGETS ${_kestrin_exe} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

# Man pages, compressed as Debian expects; -n keeps the time stamp out.
set(_kestrin_manpages kestrin-sim)
if(KESTRIN_BUILD_GUI)
    list(APPEND _kestrin_manpages kestrin)
endif()
set(_kestrin_manpage_files)
foreach(_kestrin_page ${_kestrin_manpages})
    configure_file(${_kestrin_res}/${_kestrin_page}.1.in ${_kestrin_gen}/${_kestrin_page}.1 @ONLY)
    add_custom_command(
        OUTPUT ${_kestrin_gen}/${_kestrin_page}.1.gz
        COMMAND gzip -9nf -k ${_kestrin_gen}/${_kestrin_page}.1
        DEPENDS ${_kestrin_gen}/${_kestrin_page}.1
        COMMENT "Compressing man page ${_kestrin_page}.1"
        VERBATIM)
    list(APPEND _kestrin_manpage_files ${_kestrin_gen}/${_kestrin_page}.1.gz)
endforeach()
add_custom_target(kestrin_manpages ALL DEPENDS ${_kestrin_manpage_files})
install(FILES ${_kestrin_manpage_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The desktop entry, its icon under the desktop id, and the metainfo that
# software centres show; only with the window.
if(KESTRIN_BUILD_GUI)
    configure_file(${_kestrin_res}/kestrin.desktop.in
        ${_kestrin_gen}/${KESTRIN_APP_ID}.desktop @ONLY)
    configure_file(${_kestrin_res}/kestrin.metainfo.xml.in
        ${_kestrin_gen}/${KESTRIN_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${_kestrin_gen}/${KESTRIN_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${_kestrin_gen}/${KESTRIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(_kestrin_size 16 32 48 64 128 256)
        install(FILES ${_kestrin_res}/icons/kestrin-${_kestrin_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_kestrin_size}x${_kestrin_size}/apps
            RENAME ${KESTRIN_APP_ID}.png)
    endforeach()
    install(FILES ${_kestrin_res}/icons/kestrin.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KESTRIN_APP_ID}.svg)
endif()

# The licence where Debian looks for it, and the ModemManager rule as an
# example to copy: installing it active would change how the machine
# treats every adapter of those chips, which is the owner's call.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES ${_kestrin_res}/60-kestrin-modemmanager.rules
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Debian package: `make package` writes build/kestrin_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The kestrin developers")
set(CPACK_PACKAGE_CONTACT "The kestrin developers <kestrin@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${KESTRIN_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for the Kestrin radio module")
set(CPACK_PACKAGE_DESCRIPTION
"kestrin reads and writes the whole parameter set of a Kestrin radio module
over a serial line in one exchange: RF frequency, RF factor, mode,
bandwidth, node ID, net ID, output power, and the baud rate and parity of
the module's own serial interface. The package also holds kestrin-sim, a
virtual module on a pseudo-terminal for trying the tool without hardware.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt, C++ and C runtime packages come from the binaries' own links;
# the X11 platform plugin ships in libqt6gui6, which libqt6widgets6
# depends on.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
