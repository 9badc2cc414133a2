# What `cmake --install` puts where, and the Debian package CPack makes of it.
#
# With the prefix /usr (scripts/package) the settings file is /etc/default/lumo; with any
# other prefix everything stays under it, so that the unit names the paths it was
# installed with.
include(GNUInstallDirs)

install(TARGETS lumo lumo-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(LUMO_BIN_DIR ${CMAKE_INSTALL_FULL_BINDIR})
set(LUMO_DOC_DIR ${CMAKE_INSTALL_FULL_DOCDIR})
set(LUMO_DEFAULTS_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/lumo)
configure_file(packaging/lumo.service.in ${CMAKE_BINARY_DIR}/packaging/lumo.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/lumo.service DESTINATION lib/systemd/system)
install(FILES packaging/lumo.sysusers DESTINATION lib/sysusers.d RENAME lumo.conf)
install(FILES packaging/lumo.default DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default RENAME lumo)

# The .deb: lumo_VERSION_ARCH.deb.  Its Depends come from the libraries the binaries
# actually link (dpkg-shlibdeps); a cross build names its target's architecture, which
# the toolchain file sets, not the build machine's.
if(NOT LUMO_DEBIAN_ARCHITECTURE)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE LUMO_DEBIAN_ARCHITECTURE
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "${LUMO_DEFAULTS_FILE}\n")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "oscilloscope-music show for a Raspberry Pi with a DAC board")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "lumo plays a show of rotating models, title texts and flying boxes as stereo audio:\n\
wired to an oscilloscope in XY mode, the left channel draws X and the right channel Y.\n\
lumo-render writes the same show to files. The lumo service (not enabled on install)\n\
plays the show on the DAC again and again.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "lumo developers <lumo@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${LUMO_DEBIAN_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/packaging/conffiles
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/prerm
    ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
include(CPack)
