cmake_minimum_required(VERSION 3.25)
# Fails when a source file includes a folder above its own layer. Run by CTest:
#   cmake -DSOURCE_DIR=<repo> -P check_layers.cmake
# Each rule: a folder, then the folders its files must not include.
set(rules
  "protocol:host device station records nandtable boot nand tools app cli win32 sim shell"
  "device:station records nandtable boot nand tools app cli win32 sim shell"
  "station:records nandtable boot nand tools app cli win32 sim shell"
  "records:nandtable boot nand tools app cli win32 sim shell"
  "nandtable:boot nand tools app cli win32 sim shell"
  "boot:nand tools app cli win32 sim shell"
  "nand:tools app cli win32 sim shell"
  "tools:app cli win32 sim shell"
  "app:cli win32 sim shell"
  "sim:nandtable nand tools app cli win32 shell"
  "shell:nandtable nand tools app cli win32")
set(violations "")
foreach(rule IN LISTS rules)
  string(REPLACE ":" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(GET parts 1 forbidden)
  string(REPLACE " " ";" forbidden "${forbidden}")
  file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(path IN LISTS files)
    file(STRINGS "${path}" includes REGEX "^#include \"[a-z0-9_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z0-9_]+)/.*" "\\1" target "${line}")
      if(target IN_LIST forbidden)
        file(RELATIVE_PATH relative "${SOURCE_DIR}" "${path}")
        string(APPEND violations "${relative}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "includes that point up a layer:\n${violations}")
endif()
