# Install rules, manual pages and the Debian package (cpack -G DEB).
# Included from the top CMakeLists.txt once the programs are defined.
include(GNUInstallDirs)

set(BINCONV_APP_ID org.binconv.binconv)
set(BINCONV_RELEASE_DATE 2026-12-07)
set(BINCONV_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")
set(binconv_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(binconv_generated ${PROJECT_BINARY_DIR}/packaging)

# The programs find the default tables at ../share/binconv/tables from their
# own folder, so the two folders must keep that relation.
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(WARNING "binconv finds its installed tables at ../share/binconv/tables from its "
                  "program; with CMAKE_INSTALL_BINDIR=${CMAKE_INSTALL_BINDIR} and "
                  "CMAKE_INSTALL_DATADIR=${CMAKE_INSTALL_DATADIR} it will not find them")
endif()

install(TARGETS binconv-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/tables/Zezovar.ini ${PROJECT_SOURCE_DIR}/tables/Zezovar_ex.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/binconv/tables)
# The sample games and plans the README and the manual work through, beside
# the tables rather than under doc/, which minimal systems leave out.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/binconv/examples)

if(TARGET binconv)
  # The window names its desktop entry, so that Wayland shells find its icon.
  target_compile_definitions(binconv PRIVATE BINCONV_APP_ID="${BINCONV_APP_ID}")
  install(TARGETS binconv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${binconv_packaging}/${BINCONV_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${binconv_packaging}/${BINCONV_APP_ID}.metainfo.xml.in
                 ${binconv_generated}/${BINCONV_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${binconv_generated}/${BINCONV_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 48 128 256)
    install(FILES ${binconv_packaging}/icons/binconv-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${BINCONV_APP_ID}.png)
  endforeach()
endif()

# Debian wants the copyright and a changelog in the package's doc folder.
configure_file(${binconv_packaging}/changelog.in ${binconv_generated}/changelog @ONLY)
install(FILES ${binconv_packaging}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages are made by help2man from the programs' own --help and
# --version, so the option lists exist once, in the code.
find_program(BINCONV_HELP2MAN help2man)
find_program(BINCONV_GZIP gzip)
if(BINCONV_HELP2MAN AND BINCONV_GZIP AND NOT CMAKE_CROSSCOMPILING AND NOT BINCONV_FUZZ)
  set(man_pages)
  set(man_pages_ja)
  set(cli_include ${binconv_generated}/binconv-cli.h2m)
  add_custom_command(
    OUTPUT ${cli_include}
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:binconv-cli> -DOUT=${cli_include}
            -P ${PROJECT_SOURCE_DIR}/cmake/cli_man_include.cmake
    DEPENDS binconv-cli ${PROJECT_SOURCE_DIR}/cmake/cli_man_include.cmake
    COMMENT "Collecting the commands' help for binconv-cli(1)")
  set(man_binconv-cli_name "convert Japanese text into a game's own byte encoding")
  set(man_binconv-cli_include --include=${cli_include})
  set(man_binconv_name "window that converts Japanese text into a game's own byte encoding")
  set(man_binconv_include)
  foreach(program binconv-cli binconv)
    if(NOT TARGET ${program})
      continue()
    endif()
    set(page ${binconv_generated}/${program}.1)
    set(extra_depends)
    if(program STREQUAL "binconv-cli")
      set(extra_depends ${cli_include})
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${BINCONV_HELP2MAN} --no-info --section=1 --locale=C.UTF-8
              "--name=${man_${program}_name}"
              ${man_${program}_include} --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${BINCONV_GZIP} -9nf ${page}
      DEPENDS ${program} ${extra_depends}
      COMMENT "Writing the manual page ${program}(1)"
      VERBATIM)
    list(APPEND man_pages ${page}.gz)
  endforeach()
  # The Japanese page (man -L ja binconv-cli), from the same help in Japanese.
  if(TARGET binconv-cli)
    set(cli_include_ja ${binconv_generated}/binconv-cli-ja.h2m)
    set(page_ja ${binconv_generated}/ja/binconv-cli.1)
    add_custom_command(
      OUTPUT ${cli_include_ja}
      COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:binconv-cli> -DOUT=${cli_include_ja} -DLANG=ja
              "-DNAME=日本語のテキストをゲーム独自の文字コードに変換する"
              -P ${PROJECT_SOURCE_DIR}/cmake/cli_man_include.cmake
      DEPENDS binconv-cli ${PROJECT_SOURCE_DIR}/cmake/cli_man_include.cmake
      COMMENT "Collecting the commands' Japanese help for binconv-cli(1)"
      VERBATIM)
    add_custom_command(
      OUTPUT ${page_ja}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${binconv_generated}/ja
      COMMAND ${BINCONV_HELP2MAN} --no-info --section=1 --locale=ja_JP.UTF-8
              --include=${cli_include_ja} --output=${page_ja} $<TARGET_FILE:binconv-cli>
      COMMAND ${BINCONV_GZIP} -9nf ${page_ja}
      DEPENDS binconv-cli ${cli_include_ja}
      COMMENT "Writing the Japanese manual page binconv-cli(1)"
      VERBATIM)
    list(APPEND man_pages_ja ${page_ja}.gz)
  endif()
  add_custom_command(
    OUTPUT ${binconv_generated}/changelog.gz
    COMMAND ${BINCONV_GZIP} -9nkf ${binconv_generated}/changelog
    DEPENDS ${binconv_packaging}/changelog.in
    VERBATIM)
  add_custom_target(binconv_man_pages ALL DEPENDS ${man_pages} ${man_pages_ja}
                                                 ${binconv_generated}/changelog.gz)
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${man_pages_ja} DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
  install(FILES ${binconv_generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  message(STATUS "help2man or gzip not found: no manual pages, and no package can be made")
endif()

# The Debian package: cpack -G DEB in a build configured with
# CMAKE_INSTALL_PREFIX=/usr (tools/package-deb.sh does it all).
set(CPACK_PACKAGE_NAME binconv)
set(CPACK_PACKAGE_VENDOR "The binconv developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The binconv developers <binconv@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert Japanese text into a game's own byte encoding")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The window draws Japanese; one of these fonts makes sure it can.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-noto-cjk")
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "binconv turns Japanese text into the bytes of a game's own character
encoding, defined by two table files. It is made for fan translators and
game modders: type or paste the translated script, convert it, check or
edit the hex code listing, and write the bytes to a file.

This package holds the window (バイナリ変換ツール, in the application
menu), binconv-cli for scripts, and default tables with kana, Latin
letters and the most used kanji.")
include(CPack)
