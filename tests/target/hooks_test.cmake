# The example hooks end to end: each program's capture is decoded by rizorod without an error,
# one decoding per primitive logged, and both hooks write the same capture.
#   cmake -DRING=<ring_hook> -DUART=<uart_hook> -DTOOL=<rizorod> -DWORK=<dir> -DSOURCE_DIR=<project>
#         [-DEMULATOR=..] -P hooks_test.cmake
file(MAKE_DIRECTORY ${WORK})
foreach(hook RING UART)
  execute_process(COMMAND ${EMULATOR} ${${hook}} OUTPUT_FILE ${WORK}/${hook}.cap RESULT_VARIABLE rc)
  execute_process(COMMAND ${EMULATOR} ${TOOL} decode ${WORK}/${hook}.cap OUTPUT_VARIABLE text
                  ERROR_VARIABLE err RESULT_VARIABLE decoded)
  string(REGEX MATCHALL "---- 12:34:5[67]\\.[0-9][0-9][0-9] -" headers "${text}")
  list(LENGTH headers n)
  if(NOT rc EQUAL 0 OR NOT decoded EQUAL 0 OR NOT n EQUAL 4 OR NOT text MATCHES
     "\tname_part = Workshop bench unit with a name longer than one piece\n.*RFC_DATA_IND_T\n.*ERROR: none")
    message(FATAL_ERROR "${hook}: hook ${rc}, rizorod ${decoded}, ${n} headers\n${err}\n${text}")
  endif()
  file(READ ${WORK}/${hook}.cap ${hook}_capture)
endforeach()
if(NOT RING_capture STREQUAL UART_capture)
  message(FATAL_ERROR "the hooks wrote different captures:\n${RING_capture}\n${UART_capture}")
endif()

# The C shown in docs/CAPTURE-FORMAT.md is the hooks' and the header's own, line for line.
file(READ ${SOURCE_DIR}/docs/CAPTURE-FORMAT.md doc)
file(READ ${SOURCE_DIR}/target/rizorod_capture.h code)
foreach(hook ring_hook uart_hook)
  file(READ ${SOURCE_DIR}/examples/hooks/${hook}.c text)
  string(APPEND code "${text}")
endforeach()
string(REPLACE ";" "<semicolon>" doc "${doc}")
string(REPLACE ";" "<semicolon>" code "${code}")
string(REGEX MATCHALL "```c\n[^`]*```" blocks "${doc}")
string(REGEX REPLACE "```c?\n?" "" blocks "${blocks}")
string(REPLACE "\n" ";" shown "${blocks}")
foreach(line IN LISTS shown)
  string(FIND "${code}" "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "docs/CAPTURE-FORMAT.md shows a line that the hooks do not hold:\n${line}")
  endif()
endforeach()
