# GoogleTest from Debian's sources, built for whichever target this tree builds for.
set(QUORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
if(EXISTS ${QUORVANE_GTEST_SOURCE}/CMakeLists.txt)
  add_subdirectory(${QUORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  # Elsewhere (a Visual Studio machine, say) an installed GoogleTest package serves.
  find_package(GTest CONFIG REQUIRED)
endif()

# Windows test programs run under Wine with GBK as the ANSI code page, in the build
# tree's own prefix; scripts/test keeps one wineserver running for all of them.
set(QUORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
set(QUORVANE_WINE_ENVIRONMENT
    "WINEPREFIX=${QUORVANE_WINEPREFIX}" "WINEARCH=win64" "WINEDEBUG=-all" "LANG=zh_CN.UTF-8"
    "LC_ALL=zh_CN.UTF-8" "WINEDLLOVERRIDES=mscoree=d")

# One CTest entry per test program: each Wine start costs time.
function(quorvane_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${QUORVANE_WINE_ENVIRONMENT}")
  endif()
endfunction()
