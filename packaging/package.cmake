# cmake --install: the programs, the bundled show where they look for it
# (share/korvane/show beside bin/), the manual pages, the desktop entry and
# the texts; scripts/package makes a Debian package of the same with CPack.
include(GNUInstallDirs)
install(TARGETS korvane korvane-render korvane-inspect
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package's) drops the compilers' notes as well.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program korvane korvane-render korvane-inspect)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# The bundled show, file by file: what runs leave in show/ (debug.log,
# stills, videos) must never land in an installation. The package test
# checks this list against the files git tracks in show/.
set(korvane_show_files
  "mirl .mp3"
  "Data/mirl .script"
  Data/checker.png Data/copper.jpg Data/env.png Data/flash.png
  Data/shadow.png Data/title.png
  Data/floor.x Data/gem.x Data/knot.x
  Data/plasma.avi Data/tri.ktr)
foreach(file IN LISTS korvane_show_files)
  if(NOT EXISTS "${CMAKE_SOURCE_DIR}/show/${file}")
    message(FATAL_ERROR "show/${file} is listed in packaging/package.cmake "
      "but missing: run show/tools/generate.py or update the list")
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  install(FILES "show/${file}"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/korvane/show/${folder}")
endforeach()

# The manual pages and the package's changelog are installed compressed
# with gzip -9n (no name or time in the header), as Debian wants them.
set(korvane_package_release 1)
set(korvane_package_version ${PROJECT_VERSION}-${korvane_package_release})
file(STRINGS packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^korvane \\(${korvane_package_version}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with \"${changelog_top}\", "
    "not with an entry for korvane ${korvane_package_version}")
endif()
set(compressed_dir ${CMAKE_BINARY_DIR}/compressed)
set(compressed)
foreach(source docs/man/korvane.1 docs/man/korvane-render.1
    docs/man/korvane-inspect.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${compressed_dir}/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_dir}
    COMMAND sh -c "gzip -9n -c \"$1\" >\"$2\"" sh
      ${CMAKE_SOURCE_DIR}/${source} ${output}
    DEPENDS ${source} VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(korvane-compressed-docs ALL DEPENDS ${compressed})
install(FILES ${compressed_dir}/korvane.1.gz ${compressed_dir}/korvane-render.1.gz
  ${compressed_dir}/korvane-inspect.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${compressed_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
  RENAME changelog.Debian.gz)

install(FILES packaging/korvane.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/korvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME korvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR "The Korvane developers")
# The project has no mail address; .invalid is the name reserved for one
# that cannot exist (RFC 2606), so nothing sent to it reaches a stranger.
set(CPACK_PACKAGE_CONTACT "The Korvane developers <nobody@korvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for real-time 3D shows")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Plays real-time 3D shows (meshes, pictures, videos and metaballs on\n\
keyframed timelines, with an MP3 soundtrack) from their folders or .zip\n\
archives, and renders them offline into pictures and videos.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${korvane_package_release})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# The dependencies are those of the binaries, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Mesa's drivers and the fonts are loaded at run time, not linked.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, fonts-dejavu-core")
include(CPack)
