# What `cmake --install` puts where, and the Debian package CPack makes of it.
#
# With the prefix /usr (scripts/package) the settings file is /etc/default/lumo; with any
# other prefix everything stays under it, so that the unit names the paths it was
# installed with.
include(GNUInstallDirs)

install(TARGETS lumo lumo-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md LICENSE packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual pages and the changelog go in compressed, as Debian keeps them; gzip -n leaves
# out the name and time, so the same sources give the same package.  Editing one of them
# configures again.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
foreach(source packaging/man/lumo.1 packaging/man/lumo-render.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source} OUTPUT_FILE ${compressed}
                  COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  if(source MATCHES "/man/")
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
endforeach()

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
# Debian shows the description as it is: no line longer than 80 characters.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "lumo plays a show of rotating models, title texts and flying boxes as\n\
stereo audio: wired to an oscilloscope in XY mode, the left channel draws X\n\
and the right channel Y. lumo-render writes the same show to files. The lumo\n\
service (not enabled on install) plays the show on the DAC again and again;\n\
lumo --screen also draws it as a scope on the display, through DRM/KMS.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "lumo maintainers <maintainers@users.noreply.c-seed-59f2cb5e.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${LUMO_DEBIAN_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries lumo --screen links come through shlibdeps; what draws is loaded at run
# time: Mesa's EGL and its drivers (vc4, v3d, or the software renderer).  Without them the
# show plays without the view.
if(LUMO_GPU)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libegl-mesa0, libgl1-mesa-dri")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/packaging/conffiles
    ${PROJECT_SOURCE_DIR}/packaging/preinst ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/prerm
    ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
include(CPack)
