cmake_minimum_required(VERSION 3.25)
# Fails when a source file includes a folder its layer may not use, or when a folder
# with sources has no rule. Run by CTest:
#   cmake -DSOURCE_DIR=<repo> -P check_layers.cmake
# With -DPLANTED="file|include;..." it checks itself instead: each planted line is
# checked as if the file held it, and the run fails unless every one is caught.
#
# Each rule: a folder, then every folder its files may include (its own included).
# A subfolder with a rule of its own is a folder of its own: records/ may not include
# records/odbc/, and only the shells reach it.
set(below_app "tools nand boot nandtable records station device protocol host")
set(rules
  "host:host"
  "host/win32:host host/win32"
  "protocol:protocol"
  "device:device protocol host"
  "station:station device protocol host"
  "records:records station device host"
  "records/odbc:records/odbc records station device host"
  "nandtable:nandtable records station device protocol host"
  "boot:boot records station device protocol host"
  "nand:nand boot nandtable records station device protocol host"
  "tools:tools nand boot nandtable records station device protocol host"
  "app:app ${below_app}"
  "sim:sim protocol host"
  "shell:shell sim host"
  "cli:cli shell sim app records/odbc ${below_app}"
  "cli/posix:cli/posix cli shell sim app records/odbc ${below_app}"
  "cli/win32:cli/win32 cli shell sim app records/odbc host/win32 ${below_app}"
  "win32:win32 win32/artwork shell sim app records/odbc host/win32 ${below_app}"
  "win32/artwork:win32/artwork app"
  "win32/tools:win32/tools win32 sim app host/win32 ${below_app}"
  "bench:bench sim app ${below_app}"
  "tests:*"
  "tests/win32:*")

set(folders "")
foreach(rule IN LISTS rules)
  string(REGEX REPLACE ":.*" "" folder "${rule}")
  list(APPEND folders "${folder}")
endforeach()

# The folder an include names: the longest folder with a rule that it starts with.
function(target_folder include result)
  set(best "")
  foreach(folder IN LISTS folders)
    string(LENGTH "${folder}" length)
    string(LENGTH "${best}" bestLength)
    if(include MATCHES "^${folder}/" AND length GREATER bestLength)
      set(best "${folder}")
    endif()
  endforeach()
  if(best STREQUAL "")
    string(REGEX REPLACE "/.*" "" best "${include}")
  endif()
  set(${result} "${best}" PARENT_SCOPE)
endfunction()

# Appends "file: line" to violations when `folder` may not include what `line` names.
function(check_line folder file line)
  string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
  target_folder("${included}" target)
  set(allowed "")
  foreach(rule IN LISTS rules)
    if(rule MATCHES "^${folder}:(.*)$")
      set(allowed "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  string(REPLACE " " ";" allowed "${allowed}")
  if(NOT "*" IN_LIST allowed AND NOT target IN_LIST allowed)
    set(violations "${violations}${file}: ${line}\n" PARENT_SCOPE)
  endif()
endfunction()

set(violations "")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
foreach(file IN LISTS sources)
  if(file MATCHES "^(build|\\.)")
    continue()
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  if(NOT folder IN_LIST folders)
    string(APPEND violations "${file}: its folder ${folder}/ has no layer rule\n")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^#include \"[a-z0-9_]+/")
  foreach(line IN LISTS includes)
    check_line("${folder}" "${file}" "${line}")
  endforeach()
endforeach()

if(DEFINED PLANTED)
  set(missed "")
  foreach(plant IN LISTS PLANTED)
    string(REPLACE "|" ";" parts "${plant}")
    list(GET parts 0 file)
    list(GET parts 1 line)
    get_filename_component(folder "${file}" DIRECTORY)
    set(before "${violations}")
    check_line("${folder}" "${file}" "${line}")
    if(violations STREQUAL before)
      string(APPEND missed "${file}: ${line}\n")
    endif()
  endforeach()
  if(missed)
    message(FATAL_ERROR "planted includes the layer check let through:\n${missed}")
  endif()
  return()
endif()
if(violations)
  message(FATAL_ERROR "includes outside their layer:\n${violations}")
endif()
