# Installed layout: the program folder under <prefix>/lib/orvex, launchers in <prefix>/bin, the
# desktop entry, icon, metainfo and manual pages under <prefix>/share.
include(GNUInstallDirs)
set(ORVEX_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/orvex)
install(TARGETS orvex RUNTIME DESTINATION ${ORVEX_INSTALL_DIR})
# res/ of the build folder is also CMake's folder for the skin target: leave its own files out.
install(DIRECTORY ${CMAKE_BINARY_DIR}/res DESTINATION ${ORVEX_INSTALL_DIR} OPTIONAL
        PATTERN CMakeFiles EXCLUDE PATTERN Makefile EXCLUDE PATTERN *.cmake EXCLUDE
        PATTERN *.ninja EXCLUDE)

# The launchers reach the program folder by a path relative to themselves, so the tree works
# wherever it lands (/usr, ~/.local, an unpacked package).
file(RELATIVE_PATH ORVEX_LAUNCHER_TO_PROGRAM /${CMAKE_INSTALL_BINDIR} /${ORVEX_INSTALL_DIR})
foreach(ORVEX_LAUNCHED orvex bravik)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/launcher.sh.in
                 ${CMAKE_BINARY_DIR}/launchers/${ORVEX_LAUNCHED} @ONLY)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/launchers/${ORVEX_LAUNCHED}
          DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/res/orvex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${CMAKE_SOURCE_DIR}/packaging/org.orvex.Orvex.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/doc/org.orvex.Orvex.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/doc/org.orvex.Orvex.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the package's changelog are installed compressed, as Debian expects.
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
set(compressed)
foreach(source doc/orvex.1 doc/bravik.1 ${CMAKE_BINARY_DIR}/doc/changelog)
  get_filename_component(name ${source} NAME)
  get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/doc/${name}.gz
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${source} > ${CMAKE_BINARY_DIR}/doc/${name}.gz
    DEPENDS ${source}
    VERBATIM)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/doc/${name}.gz)
endforeach()
add_custom_target(docs ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/doc/orvex.1.gz ${CMAKE_BINARY_DIR}/doc/bravik.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvex)

# The command-line tool is installed as a plain program (under a new name), which a stripping
# install does not strip by itself.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\"
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ORVEX_INSTALL_DIR}/bravik\")
  endif()
")
