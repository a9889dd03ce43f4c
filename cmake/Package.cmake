# The packages (./dev package): on Linux a Debian package of the installer and
# the tools with their manual pages, desktop entry, MIME types and icons; on
# Windows a zip of the programs. The target package_files builds what goes
# in; CPack (run from the build folder) lays it out with the install rules
# below, without building anything itself.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# Every program for people: the installer and the tools (not the tests, the
# benchmarks or the sample set's programs).
set(TARN_PACKAGE_PROGRAMS tarn-setup instdat vfarc discimg galeconv imgconv mkdisc)
# What each manual page's NAME line says.
set(TARN_SUMMARY_tarn-setup "install a game from its distribution discs and start it")
set(TARN_SUMMARY_instdat "show, create and edit a game disc's installation description")
set(TARN_SUMMARY_vfarc "list, extract, create, merge and verify VF archives")
set(TARN_SUMMARY_discimg "show and extract what a disc image or a drive holds")
set(TARN_SUMMARY_galeconv "convert Gale images to and from BMP and PNG pictures")
set(TARN_SUMMARY_imgconv "convert between TGA, ICO, CUR, BMP and PNG pictures")
set(TARN_SUMMARY_mkdisc "build a set of distribution discs from a manifest")

set(pkg_src "${PROJECT_SOURCE_DIR}/packaging")
set(pkg_out "${CMAKE_BINARY_DIR}/package")
set(package_files_outputs)

set(CPACK_PACKAGE_NAME tarn-setup)
set(CPACK_PACKAGE_VENDOR "Tarn setup developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "installer and launcher of Tarn game discs")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  install(TARGETS ${TARN_PACKAGE_PROGRAMS} RUNTIME DESTINATION .)
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION .)
  # The notices of what the programs carry inside (statically linked).
  install(FILES "${pkg_src}/copyright" DESTINATION . RENAME COPYRIGHT.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "tarn-setup-${PROJECT_VERSION}-windows-x64")
else()
  install(TARGETS ${TARN_PACKAGE_PROGRAMS} RUNTIME DESTINATION bin)

  # A manual page per program, made from its --help and --version.
  foreach(program ${TARN_PACKAGE_PROGRAMS})
    set(page "${pkg_out}/man/${program}.1")
    add_custom_command(
      OUTPUT "${page}.gz"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${pkg_out}/man"
      COMMAND env LC_ALL=C.UTF-8 help2man --no-info --section=1 "--name=${TARN_SUMMARY_${program}}"
              "--output=${page}" "$<TARGET_FILE:${program}>"
      COMMAND gzip -9nf "${page}"
      DEPENDS ${program}
      COMMENT "Manual page of ${program}"
      VERBATIM)
    list(APPEND package_files_outputs "${page}.gz")
    install(FILES "${page}.gz" DESTINATION share/man/man1)
  endforeach()

  # The icon: the drawing itself, and pictures of it in the usual sizes for
  # menus that take no SVG.
  install(FILES "${pkg_src}/tarn-setup.svg" DESTINATION share/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    set(png "${pkg_out}/icons/${size}/tarn-setup.png")
    add_custom_command(
      OUTPUT "${png}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${pkg_out}/icons/${size}"
      COMMAND rsvg-convert -w ${size} -h ${size} -o "${png}" "${pkg_src}/tarn-setup.svg"
      DEPENDS "${pkg_src}/tarn-setup.svg"
      COMMENT "Icon ${size}x${size}"
      VERBATIM)
    list(APPEND package_files_outputs "${png}")
    install(FILES "${png}" DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()

  set(changelog "${pkg_out}/changelog.gz")
  add_custom_command(
    OUTPUT "${changelog}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${pkg_out}"
    COMMAND sh -c "gzip -9nc \"$1\" >\"$2\"" sh "${pkg_src}/changelog" "${changelog}"
    DEPENDS "${pkg_src}/changelog"
    VERBATIM)
  list(APPEND package_files_outputs "${changelog}")
  install(FILES "${changelog}" "${pkg_src}/copyright" DESTINATION share/doc/tarn-setup)

  install(FILES "${pkg_src}/tarn-setup.desktop" DESTINATION share/applications)
  install(FILES "${pkg_src}/tarn-setup-mime.xml" DESTINATION share/mime/packages RENAME tarn-setup.xml)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarn setup developers <tarn-setup@users.noreply.invalid>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The long description (CPack puts the summary above it).
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tarn-setup installs a game made with the Tarn visual-novel engine from its\n"
    "distribution discs (mounted discs, folders, drives or disc images: ISO, cue\n"
    "sheets, CloneCD, Nero, MDF), builds its archive, makes its menu entries and\n"
    "starts it; it removes an installation again. The games themselves are\n"
    "Windows programs and run through Wine.\n"
    "\n"
    "The tools instdat, vfarc, discimg, galeconv, imgconv and mkdisc read and\n"
    "write the formats of such discs: installation descriptions, VF archives,\n"
    "disc images and Gale pictures.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Qt loads its display plugin at run time: no linked library names it.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, locales, fonts-ipafont-gothic, gvfs, xdg-utils")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

add_custom_target(package_files DEPENDS ${TARN_PACKAGE_PROGRAMS} ${package_files_outputs})
include(CPack)
