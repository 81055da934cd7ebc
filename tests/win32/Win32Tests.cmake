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
set(cvdt_portable_platform_tests NCryptTest NStringTest WindowsCommandLineTest
    SyncTest)
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

# The detect, net and gendist test programs of the Linux build, built for Windows from the same
# sources: cvdt_<folder>_tests.exe. Their test machine is the system itself (Wine's prefix):
# tests/support/win32 lays out the agent's key and module folder there and takes back what a
# test added. The version resource files and the replacement V3 libraries are made by this
# build too.
include(${CMAKE_CURRENT_LIST_DIR}/../detect/data/VersionData.cmake)
add_subdirectory(${PROJECT_SOURCE_DIR}/companions/v3 ${CMAKE_BINARY_DIR}/companions/v3)

add_library(cvdt_win_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/../support/win32/TestMachineWin32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/win32/MachineSnapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/win32/LinuxCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/win32/CommandOutputWin32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/win32/GatewayProcessWin32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/win32/LoopbackServerWin32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/LoopbackServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/LoopbackHttpServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/TestMachineFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/V3Install.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/HostReports.cpp)
target_include_directories(cvdt_win_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(cvdt_win_test_support PUBLIC cvdt_core cvdt_host_lib gtest ws2_32)
# Paths of the build tree as this program sees them under Wine (Z: is the Linux root).
set(cvdt_win_version_data "")
if(CVDT_VERSION_DATA_DIR)
  set(cvdt_win_version_data "Z:${CVDT_VERSION_DATA_DIR}")
endif()
# The Linux programs that the tests run on the Linux host through Wine (scripts/test-windows
# builds them in the Linux build folder of the same checkout).
set(cvdt_linux_build ${PROJECT_SOURCE_DIR}/build)
target_compile_definitions(cvdt_win_test_support PUBLIC
  CVDT_PACK_PATH="${cvdt_linux_build}/tools/cvdt-pack/cvdt-pack"
  CVDT_GATEWAY_PATH="${cvdt_linux_build}/tools/cvdt-gateway/cvdt-gateway"
  CVDT_STAGE_DIR="Z:${CVDT_STAGE_DIR}"
  CVDT_VERSION_DATA_DIR="${cvdt_win_version_data}"
  CVDT_VERSION_DATA_SOURCE="Z:${CVDT_VERSION_DATA_SOURCE}"
  CVDT_V3_COMPANION_DIR="Z:${CVDT_V3_COMPANION_DIR}")
add_dependencies(cvdt_win_test_support cvdt_stage cvdt_version_data cvdt_v3_companions)

# cvdt_add_windows_test_folder(folder LEAVE_OUT file...): tests/<folder>/*.cpp without the files
# left out, each of which the caller names with its reason.
function(cvdt_add_windows_test_folder folder)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "LEAVE_OUT")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../${folder}/*.cpp)
  foreach(left ${ARG_LEAVE_OUT})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_LIST_DIR}/../${folder}/${left})
  endforeach()
  set(target cvdt_${folder}_tests)
  add_executable(${target} ${sources} ${CMAKE_CURRENT_LIST_DIR}/TestProgram.rc)
  target_link_libraries(${target} PRIVATE cvdt_win_test_support gtest_main)
  add_test(NAME ${target} COMMAND ${target})
endfunction()

cvdt_add_windows_test_folder(detect LEAVE_OUT
  # A private mount and host-name namespace of Linux, for the host-name lookup's answers.
  HostsNamespace.cpp
  # A live X server (Xvfb) and forked child processes for the window and process conditions.
  NEswDetectLiveTest.cpp)
cvdt_add_windows_test_folder(net)
target_link_libraries(cvdt_net_tests PRIVATE ws2_32)
# A companion that lacks entry points, for the wrappers' refusal of a broken library.
add_library(cvdt_win_partial_companion MODULE ${CMAKE_CURRENT_LIST_DIR}/../support/PartialCompanion.cpp)
target_include_directories(cvdt_win_partial_companion PRIVATE ${PROJECT_SOURCE_DIR}/src)
set_target_properties(cvdt_win_partial_companion PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden)
target_compile_definitions(cvdt_net_tests PRIVATE
  CVDT_PARTIAL_COMPANION="Z:$<TARGET_FILE:cvdt_win_partial_companion>")
add_dependencies(cvdt_net_tests cvdt_win_partial_companion)
cvdt_add_windows_test_folder(gendist LEAVE_OUT
  # The Linux dialog's console protocol read through popen (the Windows dialog is a window,
  # driven in tests/win32).
  CvdtNDlgTest.cpp
  # A Korean machine (code page 949): the Windows test machine is the system itself.
  NGenDistCodePageTest.cpp
  # A tmpfs mounted as drive C: for the full disk (Linux, as root); its stop rows have not been
  # tried under Wine yet.
  NGenDistFaultTest.cpp
  # Launches as other users and in other sessions of the emulated machine, told apart by the
  # stand-in's uid and CVDT_SESSION.
  NGenDistExecTest.cpp
  # The Linux stand-in (links to /proc/self/exe); the Windows one is a copy of the program.
  StandInProgram.cpp)
# Stand-in programs are copies of the test program (Windows runs no links to it).
target_sources(cvdt_gendist_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support/win32/StandInProgramWin32.cpp)
