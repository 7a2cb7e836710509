# The arrows between the three floors of src/ point one way only: the engine
# includes nothing of the platform or the program, the platform nothing of
# the program, and only the platform branches on the system it is built for.
# Within the engine, its two wings (arrays/, report/) include the core, and
# the core includes neither wing, nor a wing the other.
# Run as `cmake -DSOURCE_DIR=<the source tree> -P check_floors.cmake`; every
# line that breaks a rule is listed, and the check fails when there is one.
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(faults "")

# check(<folder> <regex> <what>): every line of the folder's sources that
# matches <regex> is a fault.
function(check folder regex what)
  file(GLOB sources ${SOURCE_DIR}/src/${folder}/*.cpp
       ${SOURCE_DIR}/src/${folder}/*.hpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "${regex}")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
      string(APPEND faults "  ${name}: ${what}: ${line}\n")
    endforeach()
  endforeach()
  set(faults "${faults}" PARENT_SCOPE)
endfunction()

set(branch "^[ \t]*#[ \t]*(if|ifdef|ifndef|elif)[^\n]*(_WIN32|_WIN64|__linux__|__APPLE__|__unix__|_MSC_VER)")
set(include "^[ \t]*#[ \t]*include[ \t]*\"")
foreach(folder engine engine/arrays engine/report)
  check(${folder} "${include}(platform|program)/"
        "the engine includes another floor")
  check(${folder} "${branch}" "a platform branch in the engine")
endforeach()
check(engine "${include}engine/(arrays|report)/"
      "the engine's core includes a wing")
check(engine/arrays "${include}engine/report/"
      "the arrays include the report")
check(engine/report "${include}engine/arrays/"
      "the report includes the arrays")
check(program "${branch}" "a platform branch in the program")
check(platform "^[ \t]*#[ \t]*include[ \t]*\"program/"
      "the platform includes the program")

if(faults)
  message(FATAL_ERROR "The floors of src/ are crossed:\n${faults}")
endif()
message(STATUS "The floors of src/ point one way")
