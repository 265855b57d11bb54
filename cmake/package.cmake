# Installation and the Debian package (CPack): the server, its systemd
# units (kindler-server.service, and the template kindler@.service for one
# game of a fleet a unit), the shipped maps and the documentation; the client and the map
# tool too when the build has them (not with KINDLER_SERVER_ONLY).
#   cmake --build build --target kindler-server && cd build && cpack -G DEB
include(GNUInstallDirs)

install(TARGETS kindler-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
foreach(tool kindler-client kindler-map)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
  endif()
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/maps/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kindler-server/maps
  COMPONENT server FILES_MATCHING PATTERN "*.map")
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kindler-server COMPONENT server)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/doc/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kindler-server/doc
  COMPONENT server FILES_MATCHING PATTERN "*.md" PATTERN "*.png")

# The unit names the installed paths, so it is written at install time,
# when the prefix is known (cpack installs under /usr).
install(CODE "
  set(BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(MAPDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/kindler-server/maps\")
  set(DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/doc/kindler-server\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/kindler-server.service.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/kindler-server.service\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/kindler-server.service\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/kindler@.service.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/kindler@.service\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/kindler@.service\")
" COMPONENT server)

set(CPACK_PACKAGE_NAME kindler-server)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "kindler developers <kindler@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_STRIP_FILES ON)
# Depends: every shared library the programs link, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
