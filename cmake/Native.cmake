# Host build: feed service, pure logic under sanitizers, native tests, benchmarks,
# and the cross build of the Windows side as a sub-build.
include(ExternalProject)
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

set(WARNINGS -Wall -Wextra -Werror)
set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# The shared contract, plain for the feed service and the benchmarks and
# instrumented for the tests. The tests see the ticker's built-in feed host, so
# that the service's tests can hold its default port against it.
add_library(vantrel_common STATIC ${COMMON_SOURCES})
target_include_directories(vantrel_common PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vantrel_common PRIVATE ${WARNINGS})

add_library(vantrel_common_san STATIC ${COMMON_SOURCES})
target_include_directories(vantrel_common_san PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vantrel_common_san PRIVATE ${WARNINGS} PUBLIC ${SANITIZE})
target_link_options(vantrel_common_san PUBLIC ${SANITIZE})
target_compile_definitions(vantrel_common_san PUBLIC VANTREL_FEED_HOST="${VANTREL_FEED_HOST}")

add_library(vantrel_core STATIC ${VANTREL_CORE_SOURCES})
target_include_directories(vantrel_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vantrel_core PRIVATE ${WARNINGS})
target_compile_definitions(vantrel_core PUBLIC VANTREL_FEED_HOST="${VANTREL_FEED_HOST}")
target_link_libraries(vantrel_core PUBLIC vantrel_common)

# The same sources once more, instrumented, for the tests.
add_library(vantrel_core_san STATIC ${VANTREL_CORE_SOURCES} ${SETUP_CORE_SOURCES})
target_include_directories(vantrel_core_san PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vantrel_core_san PRIVATE ${WARNINGS} PUBLIC ${SANITIZE})
target_link_options(vantrel_core_san PUBLIC ${SANITIZE})
target_compile_definitions(vantrel_core_san PUBLIC VANTREL_FEED_HOST="${VANTREL_FEED_HOST}")
target_link_libraries(vantrel_core_san PUBLIC vantrel_common_san)

add_subdirectory(feedservice)

# Native tests: one executable per tests/native/*_test.cpp.
file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
foreach(src ${NATIVE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(native_${name} ${src})
  target_compile_options(native_${name} PRIVATE ${WARNINGS})
  target_link_libraries(native_${name} PRIVATE vantrel_core_san GTest::gtest_main Threads::Threads)
  add_test(NAME native.${name} COMMAND native_${name})
  set_tests_properties(native.${name} PROPERTIES LABELS native TIMEOUT 120)
endforeach()

# Style: the sources are as clang-format writes them.
find_program(CLANG_FORMAT clang-format)
if(CLANG_FORMAT)
  add_test(NAME native.format COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format)
  set_tests_properties(native.format PROPERTIES LABELS native TIMEOUT 120)
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt)
  add_subdirectory(tests/fuzz)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()

# The Windows side, cross-built with MinGW-w64 twice from the same sources:
# build/win32 for i686 (the product, in the release archive) and build/win64
# for x86_64 (the same programs and tests for Wine's 64-bit loader, which runs
# where the host runs no 32-bit x86 code). Both compile on every run, and their
# tests join this CTest run; each build's Wine tests have a test bed of their
# own under build/testbed.
set(WINDOWS_BUILDS win32 i686 win64 x86_64)
set(windows_test_dirs "")
while(WINDOWS_BUILDS)
  list(POP_FRONT WINDOWS_BUILDS build_name processor)
  ExternalProject_Add(${build_name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${build_name}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${processor}.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DVANTREL_FEED_HOST=${VANTREL_FEED_HOST}
      -DFEEDSERVICE_EXE=$<TARGET_FILE:feedservice>
      -DTESTBED_DIR=${CMAKE_BINARY_DIR}/testbed/${processor}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    DEPENDS feedservice)
  string(APPEND windows_test_dirs "subdirs(\"${CMAKE_BINARY_DIR}/${build_name}\")\n")
endwhile()
file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "${windows_test_dirs}")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)
