# Compares the dynamic symbols a shared library exports with a checked-in
# list, so that an export added or removed by accident fails the build.
#   cmake -DNM=nm -DLIBRARY=lib.so -DEXPECTED=list -DACTUAL=out -P CheckExports.cmake
# Each line of the list is "<nm type> <demangled name>@@<version>".
execute_process(COMMAND ${NM} --dynamic --defined-only --demangle ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${LIBRARY}")
endif()
string(REPLACE "\n" ";" listing "${listing}")
set(actual)
foreach(line IN LISTS listing)
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.+)$")
    list(APPEND actual "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
  endif()
endforeach()
list(SORT actual)

# The list as it would be now, with the expected list's comment lines, ready
# to be copied over it.
file(STRINGS ${EXPECTED} expected REGEX "^[^#]")
file(STRINGS ${EXPECTED} comments REGEX "^#")
list(JOIN comments "\n" head)
list(JOIN actual "\n" text)
file(WRITE ${ACTUAL} "${head}\n${text}\n")
set(added ${actual})
list(REMOVE_ITEM added ${expected})
set(removed ${expected})
list(REMOVE_ITEM removed ${actual})
if(added OR removed)
  set(report)
  foreach(symbol IN LISTS added)
    string(APPEND report "  + ${symbol}\n")
  endforeach()
  foreach(symbol IN LISTS removed)
    string(APPEND report "  - ${symbol}\n")
  endforeach()
  message(FATAL_ERROR "The exports of ${LIBRARY} differ from ${EXPECTED}:\n${report}"
    "If the change is meant, it must keep the ABI promise of docs/ABI.md; then "
    "copy ${ACTUAL} over ${EXPECTED}.")
endif()
