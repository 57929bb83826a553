# What an installation holds, in GNUInstallDirs' folders, and the Debian
# package CPack makes of it (`cpack -G DEB` in the build folder):
#   bin/tessaril, bin/tessaril-render
#   share/tessaril/demo/            the demo show and its schedule, which the
#                                   player copies into a user's show folder
#   share/man/man1/                 tessaril.1.gz, tessaril-render.1.gz
#   share/applications/             play the show; start resident mode
#   share/icons/hicolor/            the tray icon's design at 16, 32, 48, scalable
#   share/metainfo/                 the AppStream description
# The one version is project()'s: the executables' --version, the man pages,
# the metainfo and the package read it from here.
include(GNUInstallDirs)

foreach(program tessaril tessaril-render)
  target_compile_definitions(${program} PRIVATE TESSARIL_VERSION="${PROJECT_VERSION}")
endforeach()

# The icon's PNG sizes are written at build time from the tray icon's own
# pixels (platform/host/shell/program_icon.cpp), so the two never drift apart.
add_executable(tessaril-icon-pngs dist/icon_pngs.cpp platform/host/shell/program_icon.cpp)
target_include_directories(tessaril-icon-pngs PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(tessaril-icon-pngs PRIVATE PkgConfig::CAIRO)
set(tessaril_icon_sizes 16 32 48)
set(dist_dir ${PROJECT_BINARY_DIR}/dist)
set(dist_outputs)
foreach(size ${tessaril_icon_sizes})
  list(APPEND dist_outputs ${dist_dir}/icon-${size}.png)
endforeach()
add_custom_command(OUTPUT ${dist_outputs}
                   COMMAND tessaril-icon-pngs ${dist_dir} ${tessaril_icon_sizes}
                   DEPENDS tessaril-icon-pngs VERBATIM)

# Man pages carry the version and are installed compressed, as Debian keeps them.
foreach(page tessaril.1 tessaril-render.1)
  configure_file(dist/${page} ${dist_dir}/${page} @ONLY)
  add_custom_command(OUTPUT ${dist_dir}/${page}.gz
                     COMMAND gzip -9nfk ${dist_dir}/${page}
                     DEPENDS ${dist_dir}/${page} VERBATIM)
  list(APPEND dist_outputs ${dist_dir}/${page}.gz)
endforeach()
configure_file(dist/org.tessaril.Tessaril.metainfo.xml ${dist_dir}/org.tessaril.Tessaril.metainfo.xml @ONLY)
add_custom_target(tessaril-dist ALL DEPENDS ${dist_outputs})

install(TARGETS tessaril tessaril-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY examples/demo/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tessaril/demo)
install(FILES ${dist_dir}/tessaril.1.gz ${dist_dir}/tessaril-render.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES dist/tessaril.desktop dist/tessaril-resident.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size ${tessaril_icon_sizes})
  install(FILES ${dist_dir}/icon-${size}.png RENAME tessaril.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES dist/tessaril.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${dist_dir}/org.tessaril.Tessaril.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The Debian package: the installation above under /usr, its library
# dependencies found by dpkg-shlibdeps, and the default face's fonts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaril)
set(CPACK_PACKAGE_VENDOR Tessaril)
set(CPACK_PACKAGE_CONTACT "Tessaril developers <devel@tessaril.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen animated overlay player")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tessaril plays a show: a timed animation of images, sprite sheets, texts,\n"
    "the date and time and simple shapes, full-screen over the desktop. Started\n"
    "with -s it stays resident with a tray icon and plays a show when the icon\n"
    "is clicked or the machine resumes from suspend. tessaril-render plays a show\n"
    "on a virtual clock into PNG frames and checks a show for its authors.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-ipafont-gothic)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
