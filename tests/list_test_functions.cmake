# Registers each function of a QtTest program as a test of its own, named
# "program:function", from the list the program prints with -functions; the
# functions named in TEST_ROWS become a test per data row,
# "program:function:row", from the list of -datatags. Run after the program
# is built; CTest reads TEST_LIST when it starts.
#   cmake -D TEST_NAME=... -D TEST_PROGRAM=... -D TEST_LIST=... -D TEST_TIMEOUT=...
#         -D TEST_LABELS=... -D TEST_ENVIRONMENT=... -D TEST_ROWS=...
#         -P list_test_functions.cmake
# Lists arrive joined by commas.
cmake_minimum_required(VERSION 3.16)
set(ENV{QT_QPA_PLATFORM} offscreen)
string(REPLACE "," ";" labels "${TEST_LABELS}")
string(REPLACE "," ";" environment "${TEST_ENVIRONMENT}")
string(REPLACE "," ";" row_functions "${TEST_ROWS}")

function(listed option out)
  execute_process(COMMAND ${TEST_PROGRAM} ${option}
                  OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TEST_PROGRAM} ${option} failed (${result}): ${errors}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

listed(-functions text)
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" functions "${text}")
if(NOT functions)
  message(FATAL_ERROR "${TEST_PROGRAM} -functions listed no test function")
endif()
set(rows_of)
if(row_functions)
  listed(-datatags tags)
  string(REPLACE "\n" ";" tags "${tags}")
endif()

set(out "")
macro(add_one test argument)
  string(APPEND out "add_test([==[${test}]==] [==[${TEST_PROGRAM}]==] [==[${argument}]==])\n"
         "set_tests_properties([==[${test}]==] PROPERTIES TIMEOUT ${TEST_TIMEOUT}"
         " LABELS [==[${labels}]==] ENVIRONMENT [==[${environment}]==])\n")
endmacro()
foreach(f IN LISTS functions)
  string(REPLACE "()" "" f "${f}")
  if(NOT f IN_LIST row_functions)
    add_one("${TEST_NAME}:${f}" "${f}")
    continue()
  endif()
  set(found FALSE)
  foreach(line IN LISTS tags)
    # "<class> <function> <row>"; a row's name may hold spaces.
    if(line MATCHES "^[^ ]+ ${f} (.+)$")
      add_one("${TEST_NAME}:${f}:${CMAKE_MATCH_1}" "${f}:${CMAKE_MATCH_1}")
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "${TEST_PROGRAM}: ${f} has no data rows to split")
  endif()
endforeach()
foreach(f IN LISTS row_functions)
  if(NOT "${f}()" IN_LIST functions)
    message(FATAL_ERROR "${TEST_PROGRAM} has no function ${f} to split into rows")
  endif()
endforeach()
file(WRITE ${TEST_LIST} "${out}")
