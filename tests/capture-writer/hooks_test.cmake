# SPDX-License-Identifier: Apache-2.0
# The example hooks end to end: each program's capture is decoded by rizorod without an error,
# one decoding per primitive logged (the fifth has a code that its interface does not define),
# both hooks write the same capture, and the C that docs/CAPTURE-FORMAT.md shows is theirs and
# the header's own, line for line.
#   cmake -DRING=<ring_hook> -DUART=<uart_hook> -DTOOL=<rizorod> -DWORK=<dir> -DSOURCE_DIR=<project>
#         [-DEMULATOR=..] -P hooks_test.cmake
file(MAKE_DIRECTORY ${WORK})
set(code "")
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

foreach(file docs/CAPTURE-FORMAT.md include/RizOrodOzido/rizorod_capture.h examples/hooks/ring_hook.c examples/hooks/uart_hook.c)
  file(READ ${SOURCE_DIR}/${file} text)
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(APPEND code "${text}")
  if(file MATCHES "md$")
    string(REGEX MATCHALL "```c\n[^`]*```" shown "${text}")
    string(REGEX REPLACE "```c?\n?" "" shown "${shown}")
    set(code "")
  endif()
endforeach()
string(REPLACE "\n" ";" shown "${shown}")
foreach(line IN LISTS shown)
  string(FIND "${code}" "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "docs/CAPTURE-FORMAT.md shows a line that the hooks do not hold:\n${line}")
  endif()
endforeach()
