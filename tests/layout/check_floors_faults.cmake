# The floors' check must fail on each kind of include it forbids: each case
# plants one include into a copy of src/ and expects the check to name it.
# Run as `cmake -DSOURCE_DIR=<the source tree> -DWORK_DIR=<a scratch folder>
# -P check_floors_faults.cmake`.
if(NOT SOURCE_DIR OR NOT WORK_DIR)
  message(FATAL_ERROR "SOURCE_DIR and WORK_DIR must be set")
endif()

# Each case: the file the include goes into | what it includes | the fault
# the check must report.
set(cases
  "engine/passes.hpp|engine/report/findings.hpp|the engine's core includes a wing"
  "engine/conversion.cpp|engine/arrays/scan_arrays.hpp|the engine's core includes a wing"
  "engine/arrays/scan_arrays.cpp|engine/report/findings.hpp|the arrays include the report"
  "engine/report/findings.cpp|engine/arrays/heap_array.hpp|the report includes the arrays"
  "engine/report/findings.hpp|program/run.hpp|the engine includes another floor")

set(failures "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 file)
  list(GET parts 1 included)
  list(GET parts 2 fault)
  file(REMOVE_RECURSE ${WORK_DIR})
  file(COPY ${SOURCE_DIR}/src DESTINATION ${WORK_DIR})
  file(APPEND ${WORK_DIR}/src/${file} "#include \"${included}\"\n")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/check_floors.cmake
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(status EQUAL 0 OR NOT out MATCHES "src/${file}: ${fault}: ")
    string(APPEND failures "  ${file} including ${included}: not reported\n")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})

if(failures)
  message(FATAL_ERROR "The floors' check let through:\n${failures}")
endif()
message(STATUS "The floors' check reports every planted include")
