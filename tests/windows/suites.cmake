# The Windows build's tests, run under Wine through CTest (the toolchain file makes Wine the emulator).
# GoogleTest comes from Debian's googletest sources, built with the cross compiler.
set(QX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${QX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# A private Wine prefix under the build folder; wineboot runs once, in the windows_prefix test.
set(QX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QX_WINE_ENV WINEPREFIX=${QX_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)

file(GLOB CORE_SUPPORT CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/core/*.cpp)
add_library(qx_testsupport_core STATIC ${CORE_SUPPORT})
target_include_directories(qx_testsupport_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(qx_testsupport_core PUBLIC qx_platform gtest)
file(GLOB COM_SUPPORT CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
add_library(qx_testsupport STATIC ${COM_SUPPORT})
target_include_directories(qx_testsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(qx_testsupport PUBLIC qx_testsupport_core qx_baseclasses)

# wineboot leaves the prefix's Fonts folder empty here, and Wine then draws "MS Sans Serif" (the page's
# dialog font) with a wider system font that clips the labels: Wine's own fonts go in.
set(QX_WINE_FONTS /usr/share/wine/fonts CACHE PATH "Wine's own fonts (Debian's fonts-wine)")
add_test(NAME windows_prefix COMMAND sh -c "wineboot -i && cp \"$1\"/*.fon \"$1\"/*.ttf \"$WINEPREFIX/drive_c/windows/Fonts/\""
                                     windows_prefix ${QX_WINE_FONTS})
set_tests_properties(windows_prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${QX_WINE_ENV}")

# The suites that need none of the POSIX host's test hooks.
# si checks the character tables' conversion (MultiByteToWideChar here) against known answers.
set(QX_WINDOWS_SUITES tables decode atsc query host si report)
set(TEST_LIBS_tables qx_tables qx_testsupport_core)
set(TEST_LIBS_decode qx_tables qx_testsupport_core)
set(TEST_LIBS_atsc qx_tables qx_testsupport_core)
set(TEST_LIBS_host qx_host qx_testsupport_core)
set(TEST_LIBS_query qx_system qx_host qx_testsupport)
set(TEST_LIBS_si qx_si qx_testsupport_core)
set(TEST_LIBS_report qx_report qx_testsupport_core)
# Linux only: the C face libquenlix-host, and the header check that runs the host's C compiler (here
# the cross compiler checks the header in C below).
set(QX_LINUX_ONLY_TESTS host/stream_api_test.cpp query/c_header_test.cpp)
foreach(name ${QX_WINDOWS_SUITES})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  foreach(skip ${QX_LINUX_ONLY_TESTS})
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${skip})
  endforeach()
  add_executable(test_${name} ${srcs})
  target_link_libraries(test_${name} PRIVATE ${TEST_LIBS_${name}} gtest_main gmock)
  add_test(NAME test_${name} COMMAND test_${name})
  set_tests_properties(test_${name} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${QX_WINE_ENV}")
endforeach()

# The published header in C against the real SDK headers, every call macro used.
add_library(qx_c_view_check OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/query/c_view_check.c)
target_include_directories(qx_c_view_check PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_compile_options(qx_c_view_check PRIVATE -Werror)
add_dependencies(test_query qx_c_view_check)

# Every test below runs in the one prefix, one at a time (registration is process-wide state).
set(QX_WINDOWS_TESTS windows_prefix)

# regsvr32 registers the filter, its page and the filter-mapper entry; /u takes all three away.
set(QX_REGISTRATION ${CMAKE_CURRENT_SOURCE_DIR}/windows/registration.sh)
add_test(NAME windows_register COMMAND sh ${QX_REGISTRATION} register $<TARGET_FILE:quenlix_ax>)
set_tests_properties(windows_register PROPERTIES FIXTURES_REQUIRED wine FIXTURES_SETUP registered
                     DEPENDS windows_prefix)
add_test(NAME windows_unregister COMMAND sh ${QX_REGISTRATION} unregister $<TARGET_FILE:quenlix_ax>)
set_tests_properties(windows_unregister PROPERTIES FIXTURES_REQUIRED wine FIXTURES_CLEANUP registered)

# A COM client that knows the filter only by <quenlix.h>: Wine's graph, the sample, the page.
add_executable(com_client ${CMAKE_CURRENT_SOURCE_DIR}/windows/com_client.cpp
                          ${PROJECT_SOURCE_DIR}/tools/identifiers.cpp)
target_link_libraries(com_client PRIVATE qx_host)
target_link_options(com_client PRIVATE -municode)
add_dependencies(com_client quenlix_ax)
add_test(NAME windows_com_client COMMAND com_client ${PROJECT_SOURCE_DIR}/samples/quenlix-sample.ts
                                         ${CMAKE_BINARY_DIR}/page-screenshot.bmp)
set_tests_properties(windows_com_client PROPERTIES FIXTURES_REQUIRED "wine;registered" TIMEOUT 120)

# quenlix.exe prints what the Linux build prints for the same file (line ends and the module's path
# aside). QUENLIX_LINUX_QUENLIX names the Linux program; without it the test fails and says so.
set(QUENLIX_LINUX_QUENLIX "" CACHE FILEPATH "The Linux build's quenlix program, to compare scans with")
add_test(NAME windows_cli_matches_linux
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/windows/compare_scan.sh $<TARGET_FILE:quenlix>
                 "${QUENLIX_LINUX_QUENLIX}" samples/quenlix-sample.ts
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(windows_cli_matches_linux PROPERTIES FIXTURES_REQUIRED wine)

set_tests_properties(windows_register windows_unregister windows_com_client windows_cli_matches_linux
                     PROPERTIES ENVIRONMENT "${QX_WINE_ENV}" RUN_SERIAL TRUE)
