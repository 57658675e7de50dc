# The build's version and the commit it was built from, for `korvex --version`,
# `korvex.exe --version` and the Windows version resource. Written at configure time
# into <build>/generated/korvex_version.h; a commit or a branch switch re-runs the
# configure step so the commit shown stays the one built.
set(KORVEX_GIT_COMMIT "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 HEAD
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE KORVEX_GIT_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE KORVEX_GIT_RESULT ERROR_QUIET)
  if(KORVEX_GIT_RESULT EQUAL 0)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --symbolic-full-name HEAD
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE KORVEX_GIT_REF OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    foreach(name HEAD ${KORVEX_GIT_REF} packed-refs)
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${name}
                      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                      OUTPUT_VARIABLE KORVEX_GIT_FILE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      get_filename_component(KORVEX_GIT_FILE "${KORVEX_GIT_FILE}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
      if(EXISTS "${KORVEX_GIT_FILE}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KORVEX_GIT_FILE}")
      endif()
    endforeach()
  else()
    set(KORVEX_GIT_COMMIT "")  # a source tree that is not a checkout
  endif()
endif()
set(KORVEX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/korvex_version.h.in ${KORVEX_GENERATED_DIR}/korvex_version.h @ONLY)
