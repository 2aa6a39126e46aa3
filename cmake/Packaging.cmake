# Install rules and the Debian package.
#   cmake --install BUILD --prefix P     the program, its data, menu entry, icons and manuals
#   scripts/package.sh                   plashwerk_<version>_amd64.deb through CPack
include(GNUInstallDirs)

set(PLASHWERK_APP_ID org.plashwerk.Plashwerk)
set(desktop_src ${PROJECT_SOURCE_DIR}/data/desktop)
set(gen ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${gen})

configure_file(${desktop_src}/${PLASHWERK_APP_ID}.metainfo.xml.in
  ${gen}/${PLASHWERK_APP_ID}.metainfo.xml @ONLY)
configure_file(${desktop_src}/changelog.in ${gen}/changelog @ONLY)
# The Debian copyright file: its header, then the licence text indented as a field.
file(READ ${desktop_src}/copyright.in copyright_head)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licence_lines)
set(copyright_text "${copyright_head}")
foreach(line IN LISTS licence_lines)
  if(line STREQUAL "")
    string(APPEND copyright_text " .\n")
  else()
    string(APPEND copyright_text " ${line}\n")
  endif()
endforeach()
file(WRITE ${gen}/copyright "${copyright_text}")

# The icon (SVG and its 256 px rendering) and the manual pages, made by the tools at build
# time; the manuals' options come from the programs' own usage texts.
add_custom_command(OUTPUT ${gen}/${PLASHWERK_APP_ID}.svg ${gen}/${PLASHWERK_APP_ID}.png
  COMMAND make_icon ${gen}/${PLASHWERK_APP_ID}.svg ${gen}/${PLASHWERK_APP_ID}.png 256
  DEPENDS make_icon VERBATIM)
add_custom_command(OUTPUT ${gen}/plashwerk.1.gz ${gen}/plashwerk-scores.1.gz
    ${gen}/changelog.gz
  COMMAND make_man_pages ${gen} ${PROJECT_VERSION}
  COMMAND gzip -9nf ${gen}/plashwerk.1 ${gen}/plashwerk-scores.1
  COMMAND gzip -9nkf ${gen}/changelog
  DEPENDS make_man_pages ${gen}/changelog VERBATIM)
add_custom_target(desktop_files ALL DEPENDS ${gen}/${PLASHWERK_APP_ID}.svg
  ${gen}/plashwerk.1.gz ${gen}/changelog.gz)

install(TARGETS plashwerk plashwerk-scores RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/cement.dds data/smiley.jpg data/stones_512x512.jpg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/plashwerk/data)
install(FILES ${desktop_src}/${PLASHWERK_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${gen}/${PLASHWERK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${gen}/${PLASHWERK_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${gen}/${PLASHWERK_APP_ID}.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${gen}/plashwerk.1.gz ${gen}/plashwerk-scores.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE ${gen}/copyright ${gen}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The score server's unit, disabled: nothing in the package enables or starts it.
install(FILES ${desktop_src}/plashwerk-scores.service DESTINATION lib/systemd/system)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plashwerk)
set(CPACK_PACKAGE_VENDOR "The Plashwerk developers")
set(CPACK_PACKAGE_CONTACT "The Plashwerk developers <dev@plashwerk.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPU benchmark and stress test with particle fluids")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://plashwerk.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "ocl-icd-libopencl1, xdg-utils, fonts-liberation2 | fonts-liberation, libgl1-mesa-dri")
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Plashwerk fills a 3D scene with SPH particle fluids, draws them as lit,
shadowed point sprites with OpenGL, measures simulation steps and frames
per second, scores a benchmark run and watches every GPU (temperature,
clocks, load, power, fan). The package also holds plashwerk-scores, a
score server with a systemd unit that is installed disabled.")
include(CPack)
