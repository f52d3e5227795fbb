# The Debian package: `cpack` in a build folder (or `cmake --build --preset
# release --target package`) makes numera_<version>_<arch>.deb from what
# `cmake --install` installs, plus the man pages, the changelog and the
# copyright file that Debian wants beside every program.
# Included last from the top CMakeLists.txt, so the targets exist.

set(NUMERA_PACKAGE_MAINTAINER "The Numera developers <packages@numera.app>"
    CACHE STRING "Maintainer field of the Debian package")
set(numera_package_dir ${PROJECT_SOURCE_DIR}/packaging)
set(numera_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/numera)

# The newest changelog entry dates the man pages; its version must be the
# project's (tests/package checks the built package for it).
file(STRINGS ${numera_package_dir}/changelog numera_changelog_trailer
     REGEX "^ -- .*  [A-Z][a-z][a-z], [0-9][0-9] [A-Z][a-z][a-z] [0-9][0-9][0-9][0-9] " LIMIT_COUNT 1)
string(REGEX REPLACE "^.*  [A-Z][a-z][a-z], ([0-9][0-9] [A-Z][a-z][a-z] [0-9][0-9][0-9][0-9]) .*$" "\\1"
       NUMERA_RELEASE_DATE "${numera_changelog_trailer}")

# Man pages and changelog gzipped as Debian ships them: best compression,
# no name or time stamp in the header, so the package builds the same twice.
set(numera_gzipped)
function(numera_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  set(numera_gzipped ${numera_gzipped} ${output} PARENT_SCOPE)
endfunction()

set(numera_man_pages)
if(TARGET numera-cli)
  list(APPEND numera_man_pages ${PROJECT_SOURCE_DIR}/cli/numera-cli.1.in)
endif()
if(TARGET numera)
  list(APPEND numera_man_pages ${PROJECT_SOURCE_DIR}/app/linux/numera.1.in)
endif()
foreach(page IN LISTS numera_man_pages)
  get_filename_component(name ${page} NAME_WLE)
  configure_file(${page} ${CMAKE_BINARY_DIR}/man/${name} @ONLY)
  numera_gzip(${CMAKE_BINARY_DIR}/man/${name} ${CMAKE_BINARY_DIR}/man/${name}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
numera_gzip(${numera_package_dir}/changelog ${CMAKE_BINARY_DIR}/man/changelog.gz)
add_custom_target(numera_package_docs ALL DEPENDS ${numera_gzipped})

install(FILES ${CMAKE_BINARY_DIR}/man/changelog.gz ${numera_package_dir}/copyright
        DESTINATION ${numera_doc_dir})

# Each program: its man page built with it, so a build of the programs
# alone (scripts/run) can be packaged; bound at start, so that relro makes
# the whole GOT read-only; stripped as dh_strip strips (cpack's plain strip
# keeps the compilers' .comment notes). lintian then reports no error or
# warning; of its notes, hardening-no-fortify-functions stays because the
# project compiles with its own flags, not dpkg-buildflags' (adding
# _FORTIFY_SOURCE would be a choice for every build, not the package's), and
# spelling-error-in-binary "reseted" is a message inside SQLiteCpp.
foreach(program IN ITEMS numera numera-cli)
  if(TARGET ${program})
    add_dependencies(${program} numera_package_docs)
    target_link_options(${program} PRIVATE LINKER:-z,now)
    install(CODE "
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endif()")
  endif()
endforeach()

# --- CPack -----------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME numera)
set(CPACK_PACKAGE_VENDOR "The Numera developers")
set(CPACK_PACKAGE_CONTACT "${NUMERA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Directories 0755 whatever the umask of the machine that packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "processor benchmark that computes pi")
# cpack puts the summary first and indents the rest, a blank line making " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Numera computes pi to 8,388,608 decimal digits on one core, five times
over, and scores the processor by the time it took. Every run proves its
digits against checksums of the true digits of pi, so a machine that
computes wrongly fails instead of scoring.

The package holds the desktop app (numera) and the same benchmark for
terminals and scripts (numera-cli), which also prints the facts of the
machine and results as JSON.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NUMERA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://numera.app")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Depends from the libraries the binaries link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET numera)
  # Qt finds no platform to open a window on without its platform plugins,
  # which libqt6gui6 only recommends.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
if(CMAKE_CROSSCOMPILING)
  # cpack would otherwise name the build machine's architecture.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  else()
    message(FATAL_ERROR "NumeraPackage: no Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()

include(CPack)

if(NUMERA_BUILD_TESTS)
  add_subdirectory(tests/package)
endif()
