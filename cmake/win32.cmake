# The Windows layer, its tests and the program (the MinGW-w64 trees, i686 and x86_64).
enable_language(RC)

file(GLOB VELLUMIX_WIN_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/services/*.cpp
  ${CMAKE_SOURCE_DIR}/panes/*.cpp
  ${CMAKE_SOURCE_DIR}/transfer/*.cpp
  ${CMAKE_SOURCE_DIR}/window/*.cpp
  ${CMAKE_SOURCE_DIR}/app/*.cpp)
# WinMain lives alone so that the Windows tests can link everything else.
list(FILTER VELLUMIX_WIN_SOURCES EXCLUDE REGEX "/app/winmain\\.cpp$")
file(GLOB VELLUMIX_RC_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.rc)
# The window program's manifest goes with its resources, so the Windows tests run with the
# same code page, controls and DPI awareness as the program.
list(APPEND VELLUMIX_RC_SOURCES ${CMAKE_SOURCE_DIR}/resources/manifest/vellumix.rc)

set(VELLUMIX_WIN_LIBS ole32 oleaut32 uuid comctl32 comdlg32 shell32 shlwapi gdi32 user32 advapi32 winmm)
set(VELLUMIX_WIN_DEFINES WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 NOMINMAX)

if(VELLUMIX_WIN_SOURCES)
  add_library(vellumix_win STATIC ${VELLUMIX_WIN_SOURCES})
  target_include_directories(vellumix_win PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(vellumix_win PUBLIC ${VELLUMIX_WIN_DEFINES})
  target_compile_options(vellumix_win PRIVATE ${VELLUMIX_WARNINGS} -fno-exceptions)
  target_link_libraries(vellumix_win PUBLIC vellumix_core ${VELLUMIX_WIN_LIBS})
endif()

if(VELLUMIX_RC_SOURCES)
  # Resources are an object library so the program and the Windows tests carry the same ones.
  add_library(vellumix_resources OBJECT ${VELLUMIX_RC_SOURCES})
  target_include_directories(vellumix_resources PRIVATE ${CMAKE_SOURCE_DIR})
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/app/winmain.cpp)
  add_executable(vellumix WIN32 ${CMAKE_SOURCE_DIR}/app/winmain.cpp $<TARGET_OBJECTS:vellumix_resources>)
  target_compile_options(vellumix PRIVATE ${VELLUMIX_WARNINGS})
  target_link_libraries(vellumix PRIVATE vellumix_win)
endif()

# The command-line tool as a Windows console program (no -mwindows), and its one run under Wine.
vellumix_cli(vellumix-cli vellumix_core)
target_sources(vellumix-cli PRIVATE ${CMAKE_SOURCE_DIR}/resources/manifest/vellumix-cli.rc)
target_include_directories(vellumix-cli PRIVATE ${CMAKE_SOURCE_DIR})
add_test(NAME cli.wine_round_trip
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/cli/wine_round_trip.sh ${VELLUMIX_WINE_LOADER}
                 $<TARGET_FILE:vellumix-cli>)
set_tests_properties(cli.wine_round_trip PROPERTIES TIMEOUT 120)
# The same tool in a folder named in Cyrillic, Greek and CJK.
add_test(NAME cli.wine_unicode_paths
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/cli/unicode_paths.sh ${VELLUMIX_WINE_LOADER}
                 $<TARGET_FILE:vellumix-cli>)
set_tests_properties(cli.wine_unicode_paths PROPERTIES TIMEOUT 120)

# A hidden window that keeps Wine's desktop process alive for the whole test run.
add_executable(wine_keepalive WIN32 ${CMAKE_SOURCE_DIR}/tests/win/support/keepalive.cpp)
target_compile_definitions(wine_keepalive PRIVATE ${VELLUMIX_WIN_DEFINES})

# Screenshots of the tests, kept beside the shipped program whichever tree the tests run in.
get_filename_component(VELLUMIX_SCREENSHOT_DIR ${CMAKE_BINARY_DIR}/../win32/screenshots ABSOLUTE)

if(TARGET vellumix_win)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_BINARY_DIR}/tests/win)
endif()
if(TARGET vellumix AND EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/e2e ${CMAKE_BINARY_DIR}/tests/e2e)
endif()

# Timing of an archive window on a 10,000-file folder (run by scripts/bench under Wine).
if(TARGET vellumix_win)
  add_executable(bench_archive_view ${CMAKE_SOURCE_DIR}/tests/bench/win/bench_archive_view.cpp
                 $<TARGET_OBJECTS:vellumix_resources>)
  target_link_libraries(bench_archive_view PRIVATE vellumix_win)
  target_compile_options(bench_archive_view PRIVATE ${VELLUMIX_WARNINGS} -O2)
endif()
