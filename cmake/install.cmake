# What `cmake --install` puts where, in the GNU directory layout: the shared
# library with its soname link, the host's header, the pkg-config file and the
# CMake package, the programs and their manual pages. The Debian package
# (scripts/package-deb.sh) is made from the same rules. The tests, the
# benchmarks and the static core the tests link are never installed.
include(CMakePackageConfigHelpers)

# The programs a user runs, by target name. Each is installed with a run path
# to the installed library. A new program is one more name here.
set(SWATHLINK_PROGRAMS swathprint swathchart swathboard_cli)

option(SWATHLINK_DEBIAN_PACKAGE "Install for the Debian package (its copyright file and changelog)" OFF)
if(NOT SWATHLINK_DEBIAN_PACKAGE)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The library and the one header a host includes.
if(WIN32)
  # Windows keeps a library's parts together: swathlink.dll, its import
  # library swathlink.lib and swathlink.def (the eleven names, for hosts that
  # make their own import library) side by side.
  install(TARGETS swathlink EXPORT swathlinkTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/src/api/swathlink.def DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  install(TARGETS swathlink EXPORT swathlinkTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/swathlink/swathlink.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/swathlink)

# find_package(swathlink): the imported target swathlink::swathlink; any
# 2.x asks for this library (the major number is the soname's).
set(SWATHLINK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/swathlink)
install(EXPORT swathlinkTargets NAMESPACE swathlink:: DESTINATION ${SWATHLINK_CMAKE_DIR})
configure_package_config_file(cmake/swathlinkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/swathlinkConfig.cmake INSTALL_DESTINATION ${SWATHLINK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/swathlinkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/swathlinkConfig.cmake ${PROJECT_BINARY_DIR}/swathlinkConfigVersion.cmake
  DESTINATION ${SWATHLINK_CMAKE_DIR})

# pkg-config: the prefix is the one of the install itself (cmake --install
# --prefix, or the package's /usr), so the file is finished at install time.
set(SWATHLINK_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")
configure_file(cmake/swathlink.pc.in ${PROJECT_BINARY_DIR}/swathlink.pc.in @ONLY)
install(CODE "configure_file(\"${PROJECT_BINARY_DIR}/swathlink.pc.in\" \"${PROJECT_BINARY_DIR}/swathlink.pc\" @ONLY)")
install(FILES ${PROJECT_BINARY_DIR}/swathlink.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The programs. Where the library does not go to a directory the loader
# searches anyway, each program finds it relative to itself.
file(RELATIVE_PATH SWATHLINK_LIBDIR_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
list(FIND CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES ${CMAKE_INSTALL_FULL_LIBDIR} SWATHLINK_LIBDIR_IS_SYSTEM)
foreach(program IN LISTS SWATHLINK_PROGRAMS)
  if(NOT TARGET ${program})
    continue()
  endif()
  if(SWATHLINK_LIBDIR_IS_SYSTEM EQUAL -1)
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${SWATHLINK_LIBDIR_FROM_BINDIR}")
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# Manual pages, kept in doc/man/: <program>.1 for each program and
# swathlink.3 for the library's C interface, installed gzipped. A test per
# page keeps it naming every option of the program's --help (and every entry
# point and JobProp field, for the library).
if(NOT WIN32)
  set(SWATHLINK_MAN_PAGES swathlink.3)
  foreach(program IN LISTS SWATHLINK_PROGRAMS)
    if(NOT TARGET ${program})
      continue()
    endif()
    get_target_property(name ${program} OUTPUT_NAME)
    if(NOT name)
      set(name ${program})
    endif()
    list(APPEND SWATHLINK_MAN_PAGES ${name}.1)
    add_test(NAME man_page.${name}
      COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/check-man-page.sh $<TARGET_FILE:${program}>
              ${PROJECT_SOURCE_DIR}/doc/man/${name}.1 ${PROJECT_VERSION})
    set_tests_properties(man_page.${name} PROPERTIES LABELS man)
  endforeach()
  add_test(NAME man_page.swathlink
    COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/check-man-page.sh --library
            ${PROJECT_SOURCE_DIR}/include/swathlink/swathlink.h ${PROJECT_SOURCE_DIR}/src/api/swathlink.def
            ${PROJECT_SOURCE_DIR}/doc/man/swathlink.3)
  set_tests_properties(man_page.swathlink PROPERTIES LABELS man)

  set(compressed)
  foreach(page IN LISTS SWATHLINK_MAN_PAGES)
    set(source ${PROJECT_SOURCE_DIR}/doc/man/${page})
    set(gz ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${gz}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND gzip -9nc ${source} > ${gz}
      DEPENDS ${source} VERBATIM)
    list(APPEND compressed ${gz})
    string(REGEX REPLACE ".*\\." "" section ${page})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endforeach()
  add_custom_target(swathlink_man_pages ALL DEPENDS ${compressed})
endif()

if(NOT WIN32)
  include(cmake/package.cmake)
endif()
