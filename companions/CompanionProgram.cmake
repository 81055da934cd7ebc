# A companion program: an executable named exactly as on Windows ("cvlgn.exe", "CMD.EXE"; an ELF
# file on Linux) in the stage folder, with the platform layer linked in so that it sees the
# machine that CVDT_MACHINE names.
function(cvdt_add_companion_program target file_name)
  add_executable(${target} ${ARGN})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${file_name}
    SUFFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CVDT_STAGE_DIR})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PRIVATE cvdt_platform)
  add_dependencies(cvdt_stage ${target})
endfunction()

# A Windows companion program with a window and no console (the dialog, the message box).
function(cvdt_make_windows_gui target)
  if(WIN32)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()
