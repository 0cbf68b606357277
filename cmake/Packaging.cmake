# Installing Dimlet into a desktop (desktop entry, icons, manual pages) and
# the Debian package that CPack builds from the installed tree:
#   cpack -G DEB            (in the build folder), or
#   cmake --build <build> --target package

set(dimlet_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(dimlet_man_pages dimlet-sim.1 dimlet-cli.1)
if(DIMLET_BUILD_APP)
  list(APPEND dimlet_man_pages dimlet.1)

  install(FILES ${dimlet_packaging_dir}/dimlet.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  # The program icon under the name the desktop entry's Icon= gives, drawn
  # at each size and as a scalable drawing.
  foreach(size IN ITEMS 16 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icon-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME dimlet.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME dimlet.svg)
endif()

# The licence, in Debian's machine-readable form.
install(FILES ${dimlet_packaging_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The compiler's identification (.comment) says nothing to a user of the
# programs; Debian's tools leave it out, and so does this install. It runs
# after the programs are installed (their folders' rules come first) and
# before CPack strips them.
set(dimlet_programs dimlet-sim dimlet-cli)
if(DIMLET_BUILD_APP)
  list(APPEND dimlet_programs dimlet)
endif()
foreach(program IN LISTS dimlet_programs)
  install(CODE "
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\${installed}\"
                    RESULT_VARIABLE objcopy_result)
    if(NOT objcopy_result EQUAL 0)
      message(FATAL_ERROR \"Could not remove .comment from \${installed}\")
    endif()")
endforeach()

# Manual pages and the changelog go in gzipped, as Debian wants them. They are
# compressed while installing rather than while building, so that an install
# or a cpack run after building only the programs still finds them; -n leaves
# the name and time stamp out, so the same text always gives the same bytes.
find_program(DIMLET_GZIP gzip REQUIRED)
function(dimlet_install_gzipped source destination zipped_name)
  set(zipped ${PROJECT_BINARY_DIR}/gzipped/${zipped_name})
  install(CODE "
    file(MAKE_DIRECTORY \"${PROJECT_BINARY_DIR}/gzipped\")
    execute_process(COMMAND \"${DIMLET_GZIP}\" -9 -n -c \"${source}\"
                    OUTPUT_FILE \"${zipped}\" RESULT_VARIABLE gzip_result)
    if(NOT gzip_result EQUAL 0)
      message(FATAL_ERROR \"Could not compress ${source}: \${gzip_result}\")
    endif()")
  install(FILES ${zipped} DESTINATION ${destination})
endfunction()

# The udev rule that tunes FTDI adapters; udev reads /usr/lib/udev/rules.d,
# which the package's /usr prefix gives.
install(FILES ${dimlet_packaging_dir}/60-dimlet-adapters.rules DESTINATION lib/udev/rules.d)

# The pages in the source tree read as they are (man -l packaging/dimlet.1);
# the installed ones name the version too, from project(VERSION), in their
# title line's "Dimlet".
foreach(page IN LISTS dimlet_man_pages)
  set(source ${dimlet_packaging_dir}/${page})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REGEX REPLACE "(\n\\.TH [^\n]*)\"Dimlet\"" "\\1\"Dimlet ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}\""
         text "${text}")
  if(NOT text MATCHES "\"Dimlet ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}\"")
    message(FATAL_ERROR "${source}: no .TH line naming \"Dimlet\" to put the version in")
  endif()
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/${page} CONTENT "${text}" @ONLY)
  dimlet_install_gzipped(${PROJECT_BINARY_DIR}/packaging/${page} ${CMAKE_INSTALL_MANDIR}/man1 ${page}.gz)
endforeach()
configure_file(${dimlet_packaging_dir}/changelog ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
dimlet_install_gzipped(${PROJECT_BINARY_DIR}/packaging/changelog ${CMAKE_INSTALL_DOCDIR} changelog.gz)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dimlet)
set(CPACK_PACKAGE_VENDOR "Dimlet developers")
set(CPACK_PACKAGE_CONTACT "Dimlet developers <dimlet@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "operator tool for LED intensity controller units on a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "Dimlet edits the light sequences of LED intensity controller units on one
serial line and sends the units their commands: write or read one sequence
or all eight, store them on the unit, run and stop it, give it a new address
and set its highest sequence. A copy of the sequences is kept in the
user's profile, ~/.config/dimlet.ini.
.
The package also holds dimlet-cli, which sends the same commands from a
shell and checks what the units hold, for scripts and for programming many
units alike; and dimlet-sim, a simulated line of units on a
pseudo-terminal for trying Dimlet out without hardware.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The Depends line comes from the libraries the programs link (the Qt 6
# runtime among them), found by dpkg-shlibdeps; CPack also needs file(1) to
# tell the programs apart from data. Both are looked for now, so that a
# missing one is said at configure time and not as a puzzling cpack failure.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_program(DIMLET_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(DIMLET_FILE_COMMAND file)
if(NOT DIMLET_DPKG_SHLIBDEPS OR NOT DIMLET_FILE_COMMAND)
  message(STATUS "Building the Debian package needs dpkg-shlibdeps and file "
                 "(apt-get install dpkg-dev file); scripts/check-package installs them")
endif()

include(CPack)
