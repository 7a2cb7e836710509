# Runs every end-to-end case against the Windows build under wine:
#   cmake -DBINARY=build/windows/tarnovelix.exe -DSCRATCH=build/windows/e2e
#         [-DLAUNCHER=wine] -P cmake/windows-tests.cmake
# The cases are those of tests/e2e/cases (the ones marked posix_only are
# skipped) and the Windows-only ones of tests/windows/cases, each run by
# tests/e2e/run_case.cmake with the expected text's LF read as CR LF.
# wine's own settings (WINEPREFIX, WINEDEBUG, a UTF-8 locale) come from the
# environment; mk/windows.mk sets them.
cmake_minimum_required(VERSION 3.25)

foreach(var BINARY SCRATCH)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "windows-tests.cmake needs -D${var}=")
  endif()
endforeach()
if(NOT DEFINED LAUNCHER)
  set(LAUNCHER wine)
endif()
get_filename_component(SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
get_filename_component(BINARY "${BINARY}" ABSOLUTE)
get_filename_component(SCRATCH "${SCRATCH}" ABSOLUTE)
set(RUNNER "${SOURCE_DIR}/tests/e2e/run_case.cmake")
if(NOT EXISTS "${BINARY}")
  message(FATAL_ERROR "no ${BINARY}: build it first (make windows)")
endif()
if(NOT EXISTS "${RUNNER}")
  message(FATAL_ERROR "no ${RUNNER}")
endif()

set(CASES "")
foreach(suite e2e windows)
  file(GLOB dirs LIST_DIRECTORIES true "${SOURCE_DIR}/tests/${suite}/cases/*")
  list(SORT dirs)
  foreach(dir IN LISTS dirs)
    if(IS_DIRECTORY "${dir}")
      list(APPEND CASES "${dir}")
    endif()
  endforeach()
endforeach()

string(TIMESTAMP started "%s")
set(passed 0)
set(skipped 0)
set(failed "")
foreach(case_dir IN LISTS CASES)
  get_filename_component(suite_dir "${case_dir}/../.." ABSOLUTE)
  get_filename_component(suite "${suite_dir}" NAME)
  get_filename_component(name "${case_dir}" NAME)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" "-DBINARY=${BINARY}" "-DCASE_DIR=${case_dir}"
            "-DSCRATCH=${SCRATCH}/${suite}/${name}" "-DLAUNCHER=${LAUNCHER}"
            -DROW_END=crlf -DWINDOWS=ON -P "${RUNNER}"
    OUTPUT_VARIABLE out
    ERROR_VARIABLE out
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    list(APPEND failed "${suite}/${name}")
    message("FAILED  ${suite}/${name}\n${out}")
  elseif(out MATCHES "E2E-SKIPPED")
    math(EXPR skipped "${skipped} + 1")
    message("skipped ${suite}/${name} (POSIX only)")
  else()
    math(EXPR passed "${passed} + 1")
    message("passed  ${suite}/${name}")
  endif()
endforeach()
string(TIMESTAMP finished "%s")
math(EXPR seconds "${finished} - ${started}")

list(LENGTH CASES total)
list(LENGTH failed failures)
message("${total} cases under ${LAUNCHER}: ${passed} passed, ${skipped} "
        "skipped, ${failures} failed, in ${seconds} s")
if(failures GREATER 0)
  list(JOIN failed "\n  " failed)
  message(FATAL_ERROR "failed:\n  ${failed}")
endif()
if(passed EQUAL 0)
  message(FATAL_ERROR "no case ran")
endif()
