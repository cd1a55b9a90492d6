# What `cmake --install` puts where, the package config and pkg-config file for applications, and the
# Debian package (`make package`). Linux only: on Windows the module is registered with regsvr32 and
# applications use the platform's own graph.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QX_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/quenlix)
set(QX_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/quenlix)
set(QX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quenlix)
set(QX_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quenlix)

# Installed binaries find their libraries relative to themselves, so the tree can be moved or
# unpacked anywhere (dpkg -x into a scratch root, a prefix in a home folder).
file(RELATIVE_PATH QX_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH QX_BIN_TO_MODULE ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/quenlix)

# The host's C face as a library of its own: applications get the reader, demultiplexer and graph
# without the base layer, whose symbols stay hidden.
target_sources(qx_host PRIVATE ${PROJECT_SOURCE_DIR}/host/api/quenlix_host.cpp)
add_library(quenlix_host SHARED ${QX_EMPTY})
target_link_libraries(quenlix_host PRIVATE qx_host)
target_link_options(quenlix_host PRIVATE -Wl,--undefined=QxStreamOpen -Wl,--undefined=QxStreamRun
                    -Wl,--undefined=QxStreamWait -Wl,--undefined=QxStreamStop -Wl,--undefined=QxStreamClose
                    -Wl,--no-undefined -Wl,--version-script=${PROJECT_SOURCE_DIR}/host/api/exports.map)
set_target_properties(quenlix_host PROPERTIES
  OUTPUT_NAME quenlix-host VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/host/api/exports.map INSTALL_RPATH "$ORIGIN")

set_target_properties(qx_platform PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(quenlix_ax PROPERTIES INSTALL_RPATH "$ORIGIN/..")
set_target_properties(quenlix PROPERTIES INSTALL_RPATH "$ORIGIN/${QX_BIN_TO_LIB}")
# Installed, the program finds quenlix.ax in the library folder when it is not beside it.
target_compile_definitions(quenlix PRIVATE QX_INSTALLED_MODULE="${QX_BIN_TO_MODULE}/quenlix.ax")

install(TARGETS quenlix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS qx_platform quenlix_host LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS quenlix_ax LIBRARY DESTINATION ${QX_MODULE_DIR})
install(FILES include/quenlix.h host/api/quenlix_host.h ${CMAKE_BINARY_DIR}/generated/quenlix_version.h
        DESTINATION ${QX_INCLUDE_DIR})
install(DIRECTORY platform/sdk/ DESTINATION ${QX_INCLUDE_DIR}/sdk FILES_MATCHING PATTERN "*.h")
install(FILES samples/quenlix-sample.ts DESTINATION ${QX_DATA_DIR})
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES docs/application-guide.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# si/ (typed records of the collected tables), a static library with its headers under <si/...>.
if(TARGET qx_si)
  set(QX_HAVE_SI TRUE)
  install(TARGETS qx_si ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY si/ DESTINATION ${QX_INCLUDE_DIR}/si FILES_MATCHING PATTERN "*.h")
else()
  set(QX_HAVE_SI FALSE)
endif()

# find_package(quenlix): imported targets quenlix::platform, quenlix::host, quenlix::si (when built),
# and QUENLIX_MODULE, the installed quenlix.ax. Written by hand rather than exported, so that the
# build's targets keep their plain source-tree include folders.
file(RELATIVE_PATH QX_CONFIG_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${QX_CMAKE_DIR} ${CMAKE_INSTALL_PREFIX})
configure_file(cmake/quenlixConfig.cmake.in ${CMAKE_BINARY_DIR}/install/quenlixConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/quenlixConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/quenlixConfig.cmake
        ${CMAKE_BINARY_DIR}/install/quenlixConfigVersion.cmake DESTINATION ${QX_CMAKE_DIR})

# pkg-config: quenlix (platform and host); quenlix-si when si/ is built. Relative to the file's own
# folder, as the tree may be unpacked anywhere.
file(RELATIVE_PATH QX_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
configure_file(cmake/quenlix.pc.in ${CMAKE_BINARY_DIR}/install/quenlix.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/quenlix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(QX_HAVE_SI)
  configure_file(cmake/quenlix-si.pc.in ${CMAKE_BINARY_DIR}/install/quenlix-si.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/install/quenlix-si.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# The Debian package: everything above under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenlix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PSI/SI table-collecting filter for MPEG-2 transport streams")
set(CPACK_PACKAGE_DESCRIPTION
    "quenlix.ax collects and validates the DVB and ATSC tables of a transport stream and hands copies to applications through ITableCollector; the quenlix program scans streams through it.")
set(CPACK_PACKAGE_CONTACT "quenlix developers <quenlix@invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_STRIP_FILES ON) # the build is RelWithDebInfo; the package ships without the debug info
# Dependencies as dpkg-shlibdeps finds them; the package's own libraries are looked up in the build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
include(CPack)
