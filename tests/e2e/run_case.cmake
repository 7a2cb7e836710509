# Runs one end-to-end case: cmake -P run_case.cmake with
#   -DBINARY=path       the converter to run
#   -DCASE_DIR=path     tests/e2e/cases/<name>
#   -DSCRATCH=path      a directory of its own, emptied first
#   -DLAUNCHER=cmd      optional, a program that runs BINARY (wine)
#   -DROW_END=crlf      optional: LF in the expected rows and console text
#                       stands for CR LF
#   -DWINDOWS=ON        optional: skip the cases marked posix_only
#   -DUPDATE=ON         optional: rewrite the expectations from this run
#   -DREPORT=ON         optional: run with --report after the two names
#                       (cases of fewer names are skipped); standard output,
#                       the row file, the status and the files left must be
#                       as without it, and the expected standard error's
#                       lines must come in order among the report's
#
# The case's files (all but the ones named in CONTROL_FILES) are copied into
# SCRATCH/work, setup.cmake (if any) runs there, and the binary runs there
# with the arguments of `args`, one a line. Checked byte for byte: standard
# output against expected.stdout, the exit status against expected.exit (0
# when absent), the output file against expected.rows, and standard error
# against expected.stderr (empty when absent; not checked under a launcher,
# whose system words its errors its own way). Every other file in the
# scratch directory must be left as it was, and no file may appear there but
# the output named by expected.rows.
cmake_minimum_required(VERSION 3.25)

set(CONTROL_FILES args expected.stdout expected.stderr expected.rows
                  expected.exit setup.cmake posix_only stdin
                  stdin.file)

foreach(var BINARY CASE_DIR SCRATCH)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_case.cmake needs -D${var}=")
  endif()
endforeach()
get_filename_component(CASE_NAME "${CASE_DIR}" NAME)

if(WINDOWS AND EXISTS "${CASE_DIR}/posix_only")
  message("E2E-SKIPPED: ${CASE_NAME} runs on POSIX systems only")
  return()
endif()
if(UPDATE AND (ROW_END STREQUAL "crlf" OR LAUNCHER))
  message(FATAL_ERROR "expectations are only rewritten from the native build")
endif()

set(WORK "${SCRATCH}/work")
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${WORK}")

# Arguments, one a line (file(STRINGS) drops empty lines).
set(ARGS "")
if(EXISTS "${CASE_DIR}/args")
  file(STRINGS "${CASE_DIR}/args" ARGS ENCODING UTF-8)
endif()
list(LENGTH ARGS ARG_COUNT)
if(REPORT)
  if(UPDATE)
    message(FATAL_ERROR "expectations are only rewritten without --report")
  endif()
  if(ARG_COUNT LESS 2)
    message("E2E-SKIPPED: ${CASE_NAME} names fewer than two files")
    return()
  endif()
  list(APPEND ARGS --report)
endif()
# The output file: the second name, or the fallback name.
if(ARG_COUNT GREATER_EQUAL 2)
  list(GET ARGS 1 OUTPUT_NAME)
else()
  set(OUTPUT_NAME "test.ntp")
endif()
# ./name is the entry name in the scratch listing.
cmake_path(SET OUTPUT_NAME NORMALIZE "${OUTPUT_NAME}")

file(GLOB CASE_FILES LIST_DIRECTORIES false RELATIVE "${CASE_DIR}"
     "${CASE_DIR}/*")
foreach(name IN LISTS CASE_FILES)
  if(NOT name IN_LIST CONTROL_FILES)
    file(COPY_FILE "${CASE_DIR}/${name}" "${WORK}/${name}")
  endif()
endforeach()
if(EXISTS "${CASE_DIR}/setup.cmake")
  # Runs with WORK (the scratch directory) and CASE_DIR set.
  include("${CASE_DIR}/setup.cmake")
endif()

# What is in the scratch directory before the run: every entry, and the
# hash of every file (through links).
function(snapshot entries_var hashes_var)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${WORK}"
       "${WORK}/*")
  list(SORT entries)
  set(hashes "")
  foreach(entry IN LISTS entries)
    if(NOT IS_DIRECTORY "${WORK}/${entry}" AND EXISTS "${WORK}/${entry}")
      file(SHA256 "${WORK}/${entry}" hash)
      list(APPEND hashes "${entry}=${hash}")
    endif()
  endforeach()
  set(${entries_var} "${entries}" PARENT_SCOPE)
  set(${hashes_var} "${hashes}" PARENT_SCOPE)
endfunction()
snapshot(ENTRIES_BEFORE HASHES_BEFORE)

set(GOT_STDOUT "${SCRATCH}/stdout")
set(GOT_STDERR "${SCRATCH}/stderr")
set(COMMAND ${LAUNCHER} "${BINARY}" ${ARGS})
if(EXISTS "${CASE_DIR}/stdin")
  # Standard input through a real pipe, as from a shell.
  set(COMMAND COMMAND "${CMAKE_COMMAND}" -E cat "${CASE_DIR}/stdin"
              COMMAND ${COMMAND})
elseif(EXISTS "${CASE_DIR}/stdin.file")
  # Standard input redirected from a file, as `< file` in a shell.
  set(COMMAND COMMAND ${COMMAND} INPUT_FILE "${CASE_DIR}/stdin.file")
else()
  # Never the terminal: an empty standard input.
  file(TOUCH "${SCRATCH}/empty")
  set(COMMAND COMMAND ${COMMAND} INPUT_FILE "${SCRATCH}/empty")
endif()
execute_process(
  ${COMMAND}
  WORKING_DIRECTORY "${WORK}"
  OUTPUT_FILE "${GOT_STDOUT}"
  ERROR_FILE "${GOT_STDERR}"
  RESULT_VARIABLE GOT_EXIT
  TIMEOUT 120)

snapshot(ENTRIES_AFTER HASHES_AFTER)
set(OUTPUT_PATH "${WORK}/${OUTPUT_NAME}")
if(IS_ABSOLUTE "${OUTPUT_NAME}")
  set(OUTPUT_PATH "${OUTPUT_NAME}")
endif()

# Whether the run wrote the output file: it is new, or it was in the case
# and has changed.
set(OUTPUT_WRITTEN OFF)
if(NOT IS_ABSOLUTE "${OUTPUT_NAME}" AND EXISTS "${OUTPUT_PATH}"
   AND NOT IS_DIRECTORY "${OUTPUT_PATH}")
  if(NOT OUTPUT_NAME IN_LIST ENTRIES_BEFORE)
    set(OUTPUT_WRITTEN ON)
  else()
    file(SHA256 "${OUTPUT_PATH}" hash)
    if(NOT "${OUTPUT_NAME}=${hash}" IN_LIST HASHES_BEFORE)
      set(OUTPUT_WRITTEN ON)
    endif()
  endif()
endif()

if(UPDATE)
  file(COPY_FILE "${GOT_STDOUT}" "${CASE_DIR}/expected.stdout")
  file(SIZE "${GOT_STDERR}" stderr_size)
  if(stderr_size GREATER 0)
    file(COPY_FILE "${GOT_STDERR}" "${CASE_DIR}/expected.stderr")
  else()
    file(REMOVE "${CASE_DIR}/expected.stderr")
  endif()
  if(GOT_EXIT STREQUAL "0")
    file(REMOVE "${CASE_DIR}/expected.exit")
  else()
    file(WRITE "${CASE_DIR}/expected.exit" "${GOT_EXIT}\n")
  endif()
  if(OUTPUT_WRITTEN)
    file(COPY_FILE "${OUTPUT_PATH}" "${CASE_DIR}/expected.rows")
  else()
    file(REMOVE "${CASE_DIR}/expected.rows")
  endif()
  message("E2E-UPDATED: ${CASE_NAME} (review the change before committing)")
  return()
endif()

set(FAILURES "")
find_program(DIFF_PROGRAM diff)

# Whether file GOT holds exactly the bytes of file EXPECTED, every LF of
# EXPECTED standing for CR LF in the CR LF mode. The files are compared as hex
# text: file(READ) without HEX would drop the CR of a CR LF pair.
function(same_bytes expected got result_var)
  if(NOT ROW_END STREQUAL "crlf")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${expected}"
                            "${got}" RESULT_VARIABLE differ OUTPUT_QUIET
                            ERROR_QUIET)
  else()
    file(READ "${expected}" want HEX)
    file(READ "${got}" have HEX)
    # One blank after every byte, so only whole bytes 0a are matched.
    string(REGEX REPLACE "(..)" "\\1 " want "${want}")
    string(REPLACE "0a " "0d 0a " want "${want}")
    string(REPLACE " " "" want "${want}")
    set(differ 1)
    if(want STREQUAL have)
      set(differ 0)
    endif()
  endif()
  if(differ EQUAL 0)
    set(${result_var} ON PARENT_SCOPE)
  else()
    set(${result_var} OFF PARENT_SCOPE)
  endif()
endfunction()

# Compares two files byte for byte; on a difference, shows it.
function(compare what expected got)
  same_bytes("${expected}" "${got}" same)
  if(same)
    return()
  endif()
  set(detail "")
  if(DIFF_PROGRAM)
    execute_process(COMMAND "${DIFF_PROGRAM}" -u --label expected --label got
                            "${expected}" "${got}"
                    OUTPUT_VARIABLE detail ERROR_VARIABLE detail)
    string(LENGTH "${detail}" length)
    if(length GREATER 4000)
      string(SUBSTRING "${detail}" 0 4000 detail)
      string(APPEND detail "\n[... diff cut at 4000 characters]")
    endif()
  endif()
  if(ROW_END STREQUAL "crlf")
    set(detail "(each LF of the expected file stands for CR LF)\n${detail}")
  endif()
  file(SIZE "${expected}" expected_size)
  file(SIZE "${got}" got_size)
  set(FAILURES "${FAILURES}\n-- ${what} differs (expected ${expected_size} bytes, got ${got_size}): ${expected} vs ${got}\n${detail}"
      PARENT_SCOPE)
endfunction()

# Exit status.
set(WANT_EXIT 0)
if(EXISTS "${CASE_DIR}/expected.exit")
  file(STRINGS "${CASE_DIR}/expected.exit" WANT_EXIT LIMIT_COUNT 1)
endif()
if(NOT GOT_EXIT STREQUAL WANT_EXIT)
  string(APPEND FAILURES "\n-- exit status: expected ${WANT_EXIT}, got ${GOT_EXIT}")
endif()

# Standard output, and standard error (left alone under a launcher, which may
# have its own diagnostics).
compare("standard output" "${CASE_DIR}/expected.stdout" "${GOT_STDOUT}")
if(LAUNCHER)
elseif(REPORT)
  # The report's lines may stand before and between the expected ones.
  set(want_lines "")
  if(EXISTS "${CASE_DIR}/expected.stderr")
    file(STRINGS "${CASE_DIR}/expected.stderr" want_lines)
  endif()
  file(STRINGS "${GOT_STDERR}" got_lines)
  foreach(line IN LISTS want_lines)
    list(FIND got_lines "${line}" at)
    if(at LESS 0)
      string(APPEND FAILURES "\n-- standard error lacks, in order: ${line}")
      break()
    endif()
    math(EXPR at "${at} + 1")
    list(LENGTH got_lines got_count)
    if(at LESS got_count)
      list(SUBLIST got_lines ${at} -1 got_lines)
    else()
      set(got_lines "")
    endif()
  endforeach()
elseif(EXISTS "${CASE_DIR}/expected.stderr")
  compare("standard error" "${CASE_DIR}/expected.stderr" "${GOT_STDERR}")
else()
  file(SIZE "${GOT_STDERR}" stderr_size)
  if(stderr_size GREATER 0)
    file(READ "${GOT_STDERR}" stderr_text)
    string(APPEND FAILURES "\n-- standard error is not empty:\n${stderr_text}")
  endif()
endif()

# The row file.
if(EXISTS "${CASE_DIR}/expected.rows")
  if(NOT EXISTS "${OUTPUT_PATH}" OR IS_DIRECTORY "${OUTPUT_PATH}")
    string(APPEND FAILURES "\n-- output file ${OUTPUT_NAME} was not written")
  else()
    compare("row file ${OUTPUT_NAME}" "${CASE_DIR}/expected.rows"
            "${OUTPUT_PATH}")
  endif()
  # The output is checked above; leave it out of the checks below.
  foreach(list_var ENTRIES_BEFORE ENTRIES_AFTER HASHES_BEFORE HASHES_AFTER)
    set(kept "")
    foreach(item IN LISTS ${list_var})
      string(REGEX REPLACE "=[0-9a-f]+$" "" entry "${item}")
      if(NOT entry STREQUAL OUTPUT_NAME)
        list(APPEND kept "${item}")
      endif()
    endforeach()
    set(${list_var} "${kept}")
  endforeach()
endif()

# Everything else untouched.
foreach(entry IN LISTS ENTRIES_AFTER)
  if(NOT entry IN_LIST ENTRIES_BEFORE)
    string(APPEND FAILURES "\n-- ${entry} appeared in the scratch directory")
  endif()
endforeach()
foreach(entry IN LISTS ENTRIES_BEFORE)
  if(NOT entry IN_LIST ENTRIES_AFTER)
    string(APPEND FAILURES "\n-- ${entry} disappeared from the scratch directory")
  endif()
endforeach()
foreach(hash IN LISTS HASHES_BEFORE)
  if(NOT hash IN_LIST HASHES_AFTER)
    string(REGEX REPLACE "=[0-9a-f]+$" "" entry "${hash}")
    string(APPEND FAILURES "\n-- ${entry} was changed by the run")
  endif()
endforeach()

if(FAILURES)
  # message() without a mode prints the text as it is.
  file(READ "${GOT_STDOUT}" got_text)
  message("${FAILURES}\n-- standard output was:\n${got_text}")
  message(FATAL_ERROR "case ${CASE_NAME} failed (scratch kept in ${SCRATCH})")
endif()
message("case ${CASE_NAME} passed")
