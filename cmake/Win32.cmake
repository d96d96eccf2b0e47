# Cross build: the two Windows programs, their Wine tests and the GUI scenarios.
# The same sources build for i686 (the product) and for x86_64 (the test build
# for hosts that run no 32-bit x86 code); CMAKE_SYSTEM_PROCESSOR tells which.
enable_language(RC)

set(WARNINGS -Wall -Wextra -Werror)
# ANSI, Windows 2000 API level (NOTIFYICONDATA in its form with a 128-character tip).
add_compile_definitions(_WIN32_WINNT=0x0500 WINVER=0x0500 _WIN32_IE=0x0500 STRICT
                        VANTREL_FEED_HOST="${VANTREL_FEED_HOST}")
# Static runtime: the programs must import system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)
# The programs' own code uses no exceptions and runs one user-interface thread:
# without these, the C++ runtime's unwinder, thread support and terminate
# handler (with its name demangler) come along, most of each program's size.
set(PROGRAM_OPTIONS -fno-exceptions -fno-threadsafe-statics)

set(WIN32_SYSTEM_LIBS wininet comctl32 shell32 oleacc oleaut32 ole32 uuid advapi32 gdi32 user32
                      kernel32)

# The shared contract and the programs' pure logic, without the contract's
# std::string forms (those go to the tests' support library).
add_library(vantrel_core STATIC ${PROGRAM_COMMON_SOURCES} ${VANTREL_CORE_SOURCES})
target_include_directories(vantrel_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vantrel_core PRIVATE ${WARNINGS} ${PROGRAM_OPTIONS})

add_library(setup_core STATIC ${SETUP_CORE_SOURCES})
target_include_directories(setup_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(setup_core PRIVATE ${WARNINGS} ${PROGRAM_OPTIONS})

# The application framework; AppMain.cpp (WinMain) goes into the programs only.
file(GLOB FRAMEWORK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/framework/*.cpp)
list(REMOVE_ITEM FRAMEWORK_SOURCES ${CMAKE_SOURCE_DIR}/framework/AppMain.cpp)
add_library(framework STATIC ${FRAMEWORK_SOURCES})
target_include_directories(framework PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(framework PRIVATE ${WARNINGS} ${PROGRAM_OPTIONS})
target_link_libraries(framework PUBLIC ${WIN32_SYSTEM_LIBS})

# The ticker's classes; the application object goes into the program only, so
# that tests can link the rest.
file(GLOB TICKER_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/ticker/*.cpp ${CMAKE_SOURCE_DIR}/hyperlink/*.cpp)
list(REMOVE_ITEM TICKER_SOURCES ${CMAKE_SOURCE_DIR}/ticker/VelquoraApp.cpp)
add_library(ticker STATIC ${TICKER_SOURCES})
target_include_directories(ticker PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/res)
target_compile_options(ticker PRIVATE ${WARNINGS} ${PROGRAM_OPTIONS})
target_link_libraries(ticker PUBLIC vantrel_core framework)

file(GLOB SETUP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/setup/*.cpp)
list(REMOVE_ITEM SETUP_SOURCES ${CMAKE_SOURCE_DIR}/setup/SetupApp.cpp)
add_library(setup STATIC ${SETUP_SOURCES})
target_include_directories(setup PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/res)
target_compile_options(setup PRIVATE ${WARNINGS} ${PROGRAM_OPTIONS})
target_link_libraries(setup PUBLIC setup_core framework)

# windres does not report what a resource script includes: rebuild the
# resources whenever anything in res/ changes.
file(GLOB RES_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*)
set_source_files_properties(res/Vantrel.rc res/Setup.rc PROPERTIES OBJECT_DEPENDS "${RES_FILES}")

add_executable(Vantrel WIN32 ticker/VelquoraApp.cpp framework/AppMain.cpp res/Vantrel.rc)
target_compile_options(Vantrel PRIVATE ${WARNINGS} ${PROGRAM_OPTIONS})
target_link_libraries(Vantrel PRIVATE ticker)

add_executable(Setup WIN32 setup/SetupApp.cpp framework/AppMain.cpp res/Setup.rc)
target_compile_options(Setup PRIVATE ${WARNINGS} ${PROGRAM_OPTIONS})
target_link_libraries(Setup PRIVATE setup)

# The release archive: exactly the two programs, stripped, and the read-me.
set(RELEASE_NAME Vantrel-${PROJECT_VERSION})
set(RELEASE_DIR ${CMAKE_BINARY_DIR}/release/${RELEASE_NAME})
set(RELEASE_ZIP ${CMAKE_BINARY_DIR}/release/${RELEASE_NAME}.zip)
add_custom_command(OUTPUT ${RELEASE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${RELEASE_DIR} ${RELEASE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${RELEASE_DIR}
  COMMAND ${CMAKE_STRIP} -o ${RELEASE_DIR}/Vantrel.exe $<TARGET_FILE:Vantrel>
  COMMAND ${CMAKE_STRIP} -o ${RELEASE_DIR}/Setup.exe $<TARGET_FILE:Setup>
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/res/Readme.txt ${RELEASE_DIR}/Readme.txt
  COMMAND zip -q -j -X ${RELEASE_ZIP} ${RELEASE_DIR}/Vantrel.exe ${RELEASE_DIR}/Setup.exe
          ${RELEASE_DIR}/Readme.txt
  DEPENDS Vantrel Setup ${CMAKE_SOURCE_DIR}/res/Readme.txt
  COMMENT "Packing ${RELEASE_NAME}.zip")
add_custom_target(release ALL DEPENDS ${RELEASE_ZIP})

# ---------------------------------------------------------------- tests
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/gtest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)

file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(testsupport STATIC ${SUPPORT_SOURCES} ${CONTRACT_STRINGS_SOURCE})
target_include_directories(testsupport PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/res)
target_compile_options(testsupport PRIVATE ${WARNINGS})
target_link_libraries(testsupport PUBLIC gtest vantrel_core ${WIN32_SYSTEM_LIBS})

# Small Windows programs the tests use (a recorder registered as the browser,
# a minimal dialog program for comparisons): one per tests/tools/*.cpp.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.cpp)
foreach(src ${TOOL_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} WIN32 ${src})
  target_compile_options(${name} PRIVATE ${WARNINGS})
  target_link_libraries(${name} PRIVATE ${WIN32_SYSTEM_LIBS})
  list(APPEND TEST_TOOLS ${name})
endforeach()

# Test bed: a private Wine prefix, a wineserver kept alive, an Xvfb display and
# the feed service on a free loopback port, shared by every Wine test of this
# build's run. Each build has its own (WINE_ARCH: win32 or win64 prefix and
# loader), so the two builds' tests may run side by side. Test names start with
# the build's processor ("i686.gui.tray_test", "x86_64.gui.tray_test").
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(WINE_ARCH win64)
else()
  set(WINE_ARCH win32)
endif()
set(T ${CMAKE_SYSTEM_PROCESSOR})
set(TESTBED ${T}_testbed)
set(TESTBED_DIR "${CMAKE_BINARY_DIR}/testbed" CACHE PATH "State of the Wine test bed")
set(WINERUN ${CMAKE_SOURCE_DIR}/scripts/winerun ${TESTBED_DIR})

# Where Wine's loader for this build cannot start on this host (a host without
# IA-32 emulation and the i686 build), the Wine tests are left out of the run
# and the reason is kept for scripts/test to repeat; the checks of the
# executables still run. A broken Wine for the x86_64 build is not left out:
# its test bed then fails, and so does the suite.
set(WINE_UNSUPPORTED "${CMAKE_BINARY_DIR}/wine-unsupported")
file(REMOVE ${WINE_UNSUPPORTED})
set(WINE_TESTS ON)
if(WINE_ARCH STREQUAL "win32")
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-check win32
                  RESULT_VARIABLE wine_status ERROR_VARIABLE wine_reason OUTPUT_QUIET)
  if(NOT wine_status EQUAL 0)
    set(WINE_TESTS OFF)
    file(WRITE ${WINE_UNSUPPORTED} "${wine_reason}")
    message(STATUS "i686 Wine tests left out: ${wine_reason}")
  endif()
endif()

if(WINE_TESTS)
  add_test(NAME ${T}.testbed.up
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/testbed up ${TESTBED_DIR} ${FEEDSERVICE_EXE} ${WINE_ARCH})
  add_test(NAME ${T}.testbed.down COMMAND ${CMAKE_SOURCE_DIR}/scripts/testbed down ${TESTBED_DIR})
  set_tests_properties(${T}.testbed.up PROPERTIES FIXTURES_SETUP ${TESTBED} TIMEOUT 300)
  set_tests_properties(${T}.testbed.down PROPERTIES FIXTURES_CLEANUP ${TESTBED} TIMEOUT 60)
endif()

# Paths the tests hand to Windows programs, as Wine sees them (drive Z: is /).
string(REPLACE "/" "\\" WIN_BINARY_DIR "Z:${CMAKE_BINARY_DIR}")
string(REPLACE "/" "\\" WIN_SOURCE_DIR "Z:${CMAKE_SOURCE_DIR}")

# Win32 tests (tests/win32) and GUI scenarios (tests/gui): one executable per
# *_test.cpp, with an optional resource script of the same name.
function(add_wine_tests layer timeout)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${layer}/*_test.cpp)
  foreach(src ${sources})
    get_filename_component(name ${src} NAME_WE)
    set(target ${layer}_${name})
    set(rc ${CMAKE_SOURCE_DIR}/tests/${layer}/${name}.rc)
    if(EXISTS ${rc})
      set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${RES_FILES}")
      add_executable(${target} ${src} ${rc})
    else()
      add_executable(${target} ${src})
    endif()
    target_compile_options(${target} PRIVATE ${WARNINGS})
    target_link_libraries(${target} PRIVATE testsupport ticker setup gtest_main)
    add_dependencies(${target} Vantrel Setup ${TEST_TOOLS})
    if(NOT WINE_TESTS)
      continue()
    endif()
    add_test(NAME ${T}.${layer}.${name} COMMAND ${WINERUN} $<TARGET_FILE:${target}>)
    set_tests_properties(${T}.${layer}.${name} PROPERTIES
      LABELS ${layer} TIMEOUT ${timeout} FIXTURES_REQUIRED ${TESTBED} RESOURCE_LOCK ${TESTBED}
      ENVIRONMENT "VANTREL_BIN=${WIN_BINARY_DIR};VANTREL_SRC=${WIN_SOURCE_DIR};VANTREL_SHOTS=${WIN_BINARY_DIR}\\screenshots")
  endforeach()
endfunction()
add_wine_tests(win32 300)
# The download scenarios serve misbehaving answers from a socket of their own.
target_link_libraries(win32_html_dump_test PRIVATE ws2_32)
add_wine_tests(gui 600)

# Whole-system scenarios: from the release archive to uninstallation in a fresh
# prefix, the ticker fed by a second feed service that reads fixture RSS and
# Atom feeds, and the same in a Russian-language session with Cyrillic headlines.
add_executable(system_test tests/system/whole_system_test.cpp)
target_compile_options(system_test PRIVATE ${WARNINGS})
target_link_libraries(system_test PRIVATE testsupport gtest_main)
add_dependencies(system_test release ${TEST_TOOLS})
add_executable(live_feed_test tests/system/live_feed_test.cpp)
target_compile_options(live_feed_test PRIVATE ${WARNINGS})
target_link_libraries(live_feed_test PRIVATE testsupport gtest_main)
add_dependencies(live_feed_test Vantrel ${TEST_TOOLS})
add_executable(codepage_feed_test tests/system/codepage_feed_test.cpp)
target_compile_options(codepage_feed_test PRIVATE ${WARNINGS})
target_link_libraries(codepage_feed_test PRIVATE testsupport gtest_main)
add_dependencies(codepage_feed_test Vantrel ${TEST_TOOLS})
if(WINE_TESTS)
  add_test(NAME ${T}.system.download_to_uninstall
           COMMAND ${CMAKE_SOURCE_DIR}/tests/system/system-test.sh ${TESTBED_DIR}
                   $<TARGET_FILE:system_test> ${RELEASE_ZIP})
  add_test(NAME ${T}.system.live_feed_headlines
           COMMAND ${CMAKE_SOURCE_DIR}/tests/system/feed-test.sh live ${TESTBED_DIR}
                   ${FEEDSERVICE_EXE} $<TARGET_FILE:live_feed_test>
                   ${CMAKE_SOURCE_DIR}/tests/system/fixtures)
  add_test(NAME ${T}.system.codepage_feed_headlines
           COMMAND ${CMAKE_SOURCE_DIR}/tests/system/feed-test.sh codepage ${TESTBED_DIR}
                   ${FEEDSERVICE_EXE} $<TARGET_FILE:codepage_feed_test>
                   ${CMAKE_SOURCE_DIR}/tests/system/fixtures)
  set_tests_properties(${T}.system.download_to_uninstall ${T}.system.live_feed_headlines
                       ${T}.system.codepage_feed_headlines PROPERTIES
    LABELS system TIMEOUT 600 FIXTURES_REQUIRED ${TESTBED} RESOURCE_LOCK ${TESTBED}
    ENVIRONMENT "VANTREL_BIN=${WIN_BINARY_DIR};VANTREL_SHOTS=${WIN_BINARY_DIR}\\screenshots")
endif()

# The programs import system DLLs only.
add_test(NAME ${T}.imports
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports $<TARGET_FILE:Vantrel> $<TARGET_FILE:Setup>
                 ${RELEASE_DIR}/Vantrel.exe ${RELEASE_DIR}/Setup.exe)
add_test(NAME ${T}.release_archive COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-release ${RELEASE_ZIP})

# The system benchmark's driver (bench/system): run by its script, never a test.
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/system/driver.cpp)
  add_executable(bench_driver bench/system/driver.cpp)
  target_compile_options(bench_driver PRIVATE ${WARNINGS})
  target_link_libraries(bench_driver PRIVATE testsupport psapi)
  add_dependencies(bench_driver Vantrel ${TEST_TOOLS})
endif()
