# Fails when a file of src/, companions/ or tools/ includes a header of a layer it may not use.
# The layers, lowest first: platform < detect, net < gendist, autodist < entry; each may include
# its own folder and those below it, with the exceptions written out below (docs/ARCHITECTURE.md
# gives the reasons). Companions and tools that link only the platform library include only the
# platform and the records they share with the module.
#
#   cmake -DSOURCE_DIR=<checkout> -P cmake/CheckLayering.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<checkout> -P CheckLayering.cmake")
endif()

set(CVDT_LAYER_FOLDERS platform detect net gendist autodist entry)

# Whole folders a layer may include.
set(allowed_platform platform)
set(allowed_backend platform)
set(allowed_detect platform detect)
set(allowed_net platform net)
set(allowed_gendist platform detect net gendist)
set(allowed_autodist platform detect net autodist)
set(allowed_entry platform detect net gendist autodist entry)
# The library entry (DllMain, the load and unload hooks) belongs to the module's shared library
# only, and calls the module's attach and detach.
set(allowed_library_entry platform entry)
# Companions and tools that link the platform library only.
set(allowed_platform_user platform)
# Tools that link the module library.
set(allowed_module_user platform detect net gendist autodist entry)

# Single headers a layer may include above it: the module state that the host's attach fills
# in (host block, report queue) is read by both workers.
set(shared_module_state entry/HostEnvironment.h entry/ReportData.h entry/NModuleState.h entry/StatusCodes.h
    entry/NReportDataImpl.h)
set(extra_gendist ${shared_module_state})
set(extra_autodist ${shared_module_state})
# Records and entry points shared between the module and its companions: plain structs and
# declarations, no code to link.
set(extra_platform_user net/CompanionApi.h gendist/SwStatusApi.h gendist/NDtDlgRecord.h
    autodist/ADistItem.h detect/V3Library.h)

# The backends' own headers: the backend itself, and cvdt-host, which lays out the emulated
# machines of the Linux backend.
set(backend_users "^src/platform/(posix|win32)/" "^tools/cvdt-host/")

# The layer that a file (path relative to the checkout) belongs to, or "" when it has none.
function(layer_of path out)
  set(layer "")
  if(path MATCHES "^src/platform/(posix|win32)/entry/")
    set(layer library_entry)
  elseif(path MATCHES "^src/platform/(posix|win32)/")
    set(layer backend)
  elseif(path MATCHES "^src/([a-z]+)/")
    set(layer ${CMAKE_MATCH_1})
  elseif(path MATCHES "^tools/(cvdt-host|cvdt-fleet|cvdt-gateway)/")
    set(layer module_user)
  elseif(path MATCHES "^(companions|tools)/")
    set(layer platform_user)
  endif()
  set(${out} ${layer} PARENT_SCOPE)
endfunction()

# Appends to violations every include of file that its layer may not have.
function(check_file file violations_var)
  file(RELATIVE_PATH path ${SOURCE_DIR} ${file})
  layer_of(${path} layer)
  if(layer STREQUAL "")
    return()
  endif()
  set(violations ${${violations_var}})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    set(refused "")
    if(header MATCHES "\\.\\./")
      set(refused "a path that climbs out of the folder")
    elseif(header MATCHES "^platform/(posix|win32)/")
      set(user_allowed FALSE)
      foreach(pattern IN LISTS backend_users)
        if(path MATCHES "${pattern}")
          set(user_allowed TRUE)
        endif()
      endforeach()
      if(NOT user_allowed)
        set(refused "a backend's own header")
      endif()
    elseif(header MATCHES "^([a-z]+)/")
      set(folder ${CMAKE_MATCH_1})
      list(FIND CVDT_LAYER_FOLDERS ${folder} is_layer)
      list(FIND allowed_${layer} ${folder} is_allowed)
      list(FIND extra_${layer} ${header} is_extra)
      if(is_layer GREATER_EQUAL 0 AND is_allowed LESS 0 AND is_extra LESS 0)
        set(refused "layer ${folder}")
      endif()
    endif()
    if(refused)
      list(APPEND violations "${path} (${layer}) includes \"${header}\": ${refused}")
    endif()
  endforeach()
  set(${violations_var} ${violations} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files LIST_DIRECTORIES false
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp
  ${SOURCE_DIR}/companions/*.h ${SOURCE_DIR}/companions/*.cpp
  ${SOURCE_DIR}/tools/*.h ${SOURCE_DIR}/tools/*.cpp)
list(LENGTH files file_count)
if(file_count LESS 100)
  message(FATAL_ERROR "only ${file_count} source files under ${SOURCE_DIR}: wrong checkout?")
endif()

set(violations "")
foreach(file IN LISTS files)
  check_file(${file} violations)
endforeach()

if(violations)
  list(LENGTH violations count)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "${count} include(s) against the layering:\n  ${text}")
endif()
message(STATUS "layering holds in ${file_count} files")
