# Install rules and the Debian packages: orvane-ftpd (the server without windows, its service,
# log rotation, sample configuration, man page) and orvane-ftp-server (the desktop program, its
# menu entry, icon and man page; made only when the desktop program is built).
# scripts/build-packages builds both: a Release build and `cpack -G DEB`.
include(GNUInstallDirs)

set(ORVANE_DIST ${PROJECT_SOURCE_DIR}/dist)
set(ORVANE_SAMPLE_DIR ${CMAKE_INSTALL_FULL_DATADIR}/orvane-ftpd)
set(ORVANE_FTPD_PATH ${CMAKE_INSTALL_FULL_BINDIR}/orvane-ftpd)
# Debian 12 keeps system units under /lib, whatever the prefix.
set(ORVANE_SYSTEMD_UNIT_DIR "/lib/systemd/system" CACHE STRING "Directory of the systemd unit")

# Man pages and changelogs are installed compressed, as Debian wants them: gzip -9n keeps no
# name or time, so that the same sources give the same package.
function(orvane_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

set(gen ${PROJECT_BINARY_DIR}/dist)
file(MAKE_DIRECTORY ${gen}/ftpd)
configure_file(${ORVANE_DIST}/systemd/orvane-ftpd.service.in ${gen}/orvane-ftpd.service @ONLY)
orvane_gzip(${ORVANE_DIST}/man/orvane-ftpd.8 ${gen}/orvane-ftpd.8.gz)
orvane_gzip(${ORVANE_DIST}/man/orvane-ftpctl.8 ${gen}/orvane-ftpctl.8.gz)
orvane_gzip(${ORVANE_DIST}/man/orvane-ftp-server.1 ${gen}/orvane-ftp-server.1.gz)
orvane_gzip(${ORVANE_DIST}/debian/changelog ${gen}/changelog.gz)
# The configuration man pages list the keys of the settings table (host/SettingsReference),
# written into their templates by a program built from that table.
set(ORVANE_CONFIG_PAGES)
if(TARGET orvane-settings-manpage)
  foreach(page orvane-ftpd.ini.5:server orvane-accounts.5:accounts)
    string(REPLACE ":" ";" parts ${page})
    list(GET parts 0 name)
    list(GET parts 1 file)
    add_custom_command(OUTPUT ${gen}/${name}
      COMMAND orvane-settings-manpage ${file} ${ORVANE_DIST}/man/${name}.in ${gen}/${name}
      DEPENDS orvane-settings-manpage ${ORVANE_DIST}/man/${name}.in VERBATIM)
    orvane_gzip(${gen}/${name} ${gen}/${name}.gz)
    list(APPEND ORVANE_CONFIG_PAGES ${gen}/${name}.gz)
  endforeach()
endif()
add_custom_target(orvane_dist_files ALL
  DEPENDS ${gen}/orvane-ftpd.8.gz ${gen}/orvane-ftpctl.8.gz ${gen}/orvane-ftp-server.1.gz
          ${gen}/changelog.gz ${ORVANE_CONFIG_PAGES})

# --- orvane-ftpd ------------------------------------------------------------------------------
if(TARGET orvane-ftpd)
  install(TARGETS orvane-ftpd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ftpd)
  install(FILES ${gen}/orvane-ftpd.service DESTINATION ${ORVANE_SYSTEMD_UNIT_DIR} COMPONENT ftpd)
  install(FILES ${ORVANE_DIST}/logrotate/orvane-ftpd
          DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/logrotate.d COMPONENT ftpd)
  install(FILES ${ORVANE_DIST}/examples/FTPsrv.ini ${ORVANE_DIST}/examples/Accounts.ini
          DESTINATION ${CMAKE_INSTALL_DATADIR}/orvane-ftpd COMPONENT ftpd)
  install(FILES ${gen}/orvane-ftpd.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT ftpd)
  install(FILES ${ORVANE_CONFIG_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5 COMPONENT ftpd)
  # The operator console and account tool goes with the server without windows.
  if(TARGET orvane-ftpctl)
    install(TARGETS orvane-ftpctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ftpd)
    install(FILES ${gen}/orvane-ftpctl.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT ftpd)
    install(FILES ${ORVANE_DIST}/bash-completion/orvane-ftpctl
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT ftpd)
  endif()
  install(FILES ${ORVANE_DIST}/fail2ban/orvane-ftpd.conf
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane-ftpd/examples/fail2ban COMPONENT ftpd)
  install(FILES ${ORVANE_DIST}/debian/copyright ${gen}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane-ftpd COMPONENT ftpd)
endif()

# --- orvane-ftp-server ------------------------------------------------------------------------
if(TARGET orvane-ftp-server)
  install(TARGETS orvane-ftp-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT desktop)
  install(FILES ${ORVANE_DIST}/desktop/orvane-ftp-server.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
  install(FILES ${gen}/orvane-ftp-server.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT desktop)
  if(EXISTS ${PROJECT_SOURCE_DIR}/src/ui/icons/orvane-ftp-server.svg)
    install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/orvane-ftp-server.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)
  endif()
  install(FILES ${ORVANE_DIST}/debian/copyright ${gen}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane-ftp-server COMPONENT desktop)
endif()

# --- CPack ------------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-ftp-server)
set(CPACK_PACKAGE_VENDOR "Orvane FTP Server developers")
set(CPACK_PACKAGE_CONTACT "Orvane FTP Server developers <developers@orvane-ftp.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvane-ftp.org/")

set(CPACK_COMPONENTS_ALL ftpd)
set(CPACK_DEBIAN_FTPD_PACKAGE_NAME orvane-ftpd)
# The library scan adds libssl3 and the C++ libraries; only what it cannot see is named here.
set(CPACK_DEBIAN_FTPD_PACKAGE_DEPENDS "adduser")
# One FTP server at a time owns port 21, as with vsftpd, pure-ftpd and ProFTPD.
set(CPACK_DEBIAN_FTPD_PACKAGE_PROVIDES "ftp-server")
set(CPACK_DEBIAN_FTPD_PACKAGE_CONFLICTS "ftp-server")
set(CPACK_DEBIAN_FTPD_PACKAGE_REPLACES "ftp-server")
set(CPACK_DEBIAN_FTPD_PACKAGE_SUGGESTS "logrotate, fail2ban")
set(CPACK_COMPONENT_FTPD_DESCRIPTION "small FTP server for one computer, without windows
orvane-ftpd serves the classic FTP command set to FTP clients, checks logins
against an account file and maps each account onto local directories with
per-directory rights. It comes with a sandboxed systemd service that runs as
its own system user, a sample configuration serving /srv/ftp, log rotation
and a fail2ban filter.")
# The configuration files of the package and its maintainer scripts.
file(WRITE ${gen}/ftpd/conffiles "/etc/logrotate.d/orvane-ftpd\n")
configure_file(${ORVANE_DIST}/debian/ftpd-postinst ${gen}/ftpd/postinst COPYONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
configure_file(${ORVANE_DIST}/debian/ftpd-prerm ${gen}/ftpd/prerm COPYONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
configure_file(${ORVANE_DIST}/debian/ftpd-postrm ${gen}/ftpd/postrm COPYONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FTPD_PACKAGE_CONTROL_EXTRA
    "${gen}/ftpd/conffiles;${gen}/ftpd/postinst;${gen}/ftpd/prerm;${gen}/ftpd/postrm")
set(CPACK_DEBIAN_FTPD_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(TARGET orvane-ftp-server)
  list(APPEND CPACK_COMPONENTS_ALL desktop)
  set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME orvane-ftp-server)
  # Qt loads its SVG support as a plugin, which the library scan cannot see.
  set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "libqt6svg6")
  set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "hicolor-icon-theme")
  set(CPACK_COMPONENT_DESKTOP_DESCRIPTION "small FTP server for one personal computer, with windows
orvane-ftp-server is the desktop program of Orvane FTP Server: a main window
with the event log, a tray icon and settings windows over the same server as
orvane-ftpd. It serves the classic FTP command set, checks logins against an
account file and maps each account onto local directories with rights.")
endif()

include(CPack)
