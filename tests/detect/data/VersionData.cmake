# PE files with known version resources for the version-information tests: resource-only
# libraries made from the .rc files here by the MinGW-w64 resource compiler and linker, as
# PE32 (i686) and PE32+ (x86_64). Without those tools (Debian binutils-mingw-w64-i686 and
# binutils-mingw-w64-x86-64) the files are not made and the tests that need them skip.
#
# Sets CVDT_VERSION_DATA_DIR (the folder of the made files, empty when they cannot be made) and
# the target cvdt_version_data.

set(CVDT_VERSION_DATA_SOURCE ${CMAKE_CURRENT_LIST_DIR})
set(CVDT_VERSION_DATA_DIR "")
add_custom_target(cvdt_version_data)

find_program(CVDT_WINDRES_I686 i686-w64-mingw32-windres)
find_program(CVDT_LD_I686 i686-w64-mingw32-ld)
find_program(CVDT_WINDRES_X64 x86_64-w64-mingw32-windres)
find_program(CVDT_LD_X64 x86_64-w64-mingw32-ld)
find_program(CVDT_RC_CPP NAMES cpp)

if(NOT CVDT_WINDRES_I686 OR NOT CVDT_LD_I686 OR NOT CVDT_WINDRES_X64 OR NOT CVDT_LD_X64
   OR NOT CVDT_RC_CPP)
  message(STATUS "Version resource test files: MinGW-w64 binutils not found "
                 "(binutils-mingw-w64-i686, binutils-mingw-w64-x86-64); those tests will skip")
  return()
endif()

set(CVDT_VERSION_DATA_DIR ${CMAKE_BINARY_DIR}/tests/version-data)
file(GLOB cvdt_rc_files CONFIGURE_DEPENDS ${CVDT_VERSION_DATA_SOURCE}/*.rc)
set(cvdt_version_outputs)
foreach(rc ${cvdt_rc_files})
  get_filename_component(name ${rc} NAME_WE)
  foreach(arch i686 x64)
    if(arch STREQUAL "i686")
      set(windres ${CVDT_WINDRES_I686})
      set(ld ${CVDT_LD_I686})
      set(out ${CVDT_VERSION_DATA_DIR}/${name}.dll)
    else()
      set(windres ${CVDT_WINDRES_X64})
      set(ld ${CVDT_LD_X64})
      set(out ${CVDT_VERSION_DATA_DIR}/${name}64.dll)
    endif()
    set(res ${CVDT_VERSION_DATA_DIR}/${name}-${arch}.res)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CVDT_VERSION_DATA_DIR}
      COMMAND ${windres} --preprocessor=${CVDT_RC_CPP} -O coff -i ${rc} -o ${res}
      COMMAND ${ld} --dll -e 0 -s -o ${out} ${res}
      DEPENDS ${rc}
      COMMENT "Resource-only library ${name} (${arch})"
      VERBATIM)
    list(APPEND cvdt_version_outputs ${out})
  endforeach()
endforeach()
add_custom_target(cvdt_version_data_files DEPENDS ${cvdt_version_outputs})
add_dependencies(cvdt_version_data cvdt_version_data_files)
