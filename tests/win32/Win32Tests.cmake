# The Windows test program, cvdt_win32_tests: GoogleTest built from the sources of Debian's
# googletest package, the portable platform tests, and the win32 backend tests of this folder,
# which use the system's own registry, files, processes, sockets and kernel objects (Wine's
# under scripts/test-windows). The module DLL of the same build is loaded by one of them.
set(CVDT_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "googletest sources (Debian googletest)")
if(NOT EXISTS ${CVDT_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(STATUS "No googletest sources in ${CVDT_GOOGLETEST_SOURCE}: no Windows tests")
  return()
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${CVDT_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB cvdt_win32_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
set(cvdt_portable_platform_tests NCryptTest NStringTest NStrtokTest WindowsCommandLineTest
    NFileRecordsTest SyncTest)
foreach(name ${cvdt_portable_platform_tests})
  list(APPEND cvdt_win32_test_sources ${CMAKE_CURRENT_LIST_DIR}/../platform/${name}.cpp)
endforeach()

add_executable(cvdt_win32_tests ${cvdt_win32_test_sources})
target_include_directories(cvdt_win32_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(cvdt_win32_tests PRIVATE cvdt_core gtest)
# Wine maps Z: to the Linux root.
target_compile_definitions(cvdt_win32_tests PRIVATE CVDT_WIN_MODULE="Z:${CVDT_STAGE_DIR}/cvdt.dll"
                           CVDT_WIN_STAGE="Z:${CVDT_STAGE_DIR}")
target_link_libraries(cvdt_win32_tests PRIVATE comctl32)
add_dependencies(cvdt_win32_tests cvdt cvdt_stage)
add_test(NAME cvdt_win32_tests COMMAND cvdt_win32_tests)

# The probe that the Linux tests (tests/windows) run under wine64 to drive the companion
# libraries of this build's stage folder.
add_executable(cvdt_companion_probe ${CMAKE_CURRENT_LIST_DIR}/probe/CompanionProbe.cpp)
target_include_directories(cvdt_companion_probe PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(cvdt_companion_probe PRIVATE cvdt_core)
add_dependencies(cvdt_companion_probe cvdt_stage)
