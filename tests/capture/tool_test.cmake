# End-to-end checks of the rizorod binary, one per CHECK:
#   cmake -DTOOL=<rizorod> -DDATA=<tests/data> -DEXAMPLES=<examples> -DWORK=<scratch dir>
#         -DCHECK=<name> -P tool_test.cmake
cmake_minimum_required(VERSION 3.22)

# A 32-bit build on a kernel that cannot run it runs the tool under its emulator.
if(EMULATOR)
  set(TOOL ${EMULATOR} ${TOOL})
endif()

function(fail what)
  message(FATAL_ERROR "${CHECK}: ${what}")
endfunction()

# Runs the tool; sets OUT, ERR and RC in the caller. Extra execute_process arguments may follow
# the command after the keyword OPTIONS.
function(run)
  cmake_parse_arguments(R "" "" "ARGS;OPTIONS" ${ARGN})
  execute_process(COMMAND ${TOOL} ${R_ARGS} OUTPUT_VARIABLE out ERROR_VARIABLE err
                  RESULT_VARIABLE rc ${R_OPTIONS})
  set(OUT "${out}" PARENT_SCOPE)
  set(ERR "${err}" PARENT_SCOPE)
  set(RC "${rc}" PARENT_SCOPE)
endfunction()

function(expect_equal what got expected)
  if(NOT got STREQUAL expected)
    file(WRITE ${WORK}/${CHECK}.got "${got}")
    file(WRITE ${WORK}/${CHECK}.expected "${expected}")
    find_program(DIFF diff)
    if(DIFF)
      execute_process(COMMAND ${DIFF} -u ${WORK}/${CHECK}.expected ${WORK}/${CHECK}.got OUTPUT_VARIABLE d)
    endif()
    fail("${what} differs:\n${d}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${WORK})

if(CHECK STREQUAL "golden")
  # The example session, decoded, against the hand-checked text.
  file(READ ${DATA}/session.expected expected)
  run(ARGS decode ${EXAMPLES}/session.cap)
  expect_equal("exit status" "${RC}" "0")
  expect_equal("standard error" "${ERR}" "")
  expect_equal("standard output" "${OUT}" "${expected}")
  # The same read from standard input, with and without "-".
  run(ARGS decode OPTIONS INPUT_FILE ${EXAMPLES}/session.cap)
  expect_equal("standard output from standard input" "${OUT}" "${expected}")
  run(ARGS decode - OPTIONS INPUT_FILE ${EXAMPLES}/session.cap)
  expect_equal("standard output from -" "${OUT}" "${expected}")

elseif(CHECK STREQUAL "malformed")
  # Every kind of bad entry: one message each, at its line, and the good entries decoded.
  file(READ ${DATA}/malformed.expected expected)
  file(READ ${DATA}/malformed.messages messages)
  run(ARGS decode malformed.cap OPTIONS WORKING_DIRECTORY ${DATA})
  expect_equal("exit status" "${RC}" "1")
  expect_equal("standard output" "${OUT}" "${expected}")
  expect_equal("standard error" "${ERR}" "${messages}")
  # Messages about standard input name it so.
  run(ARGS decode OPTIONS INPUT_FILE ${DATA}/malformed.cap)
  string(REPLACE "malformed.cap:" "<stdin>:" from_stdin "${messages}")
  expect_equal("standard error from standard input" "${ERR}" "${from_stdin}")

elseif(CHECK STREQUAL "jobs")
  # A long capture: the session many times with bad entries among them. Four threads write
  # exactly what one thread writes, in the same order, and the session parts are right.
  file(READ ${EXAMPLES}/session.cap session)
  file(READ ${DATA}/malformed.cap malformed)
  file(READ ${DATA}/session.expected session_text)
  set(big "")
  set(good "")
  foreach(i RANGE 1 300)
    string(APPEND big "${session}")
    string(APPEND good "${session_text}")
  endforeach()
  file(WRITE ${WORK}/session-300.cap "${big}")
  foreach(i RANGE 1 20)
    string(APPEND big "${malformed}${session}")
  endforeach()
  file(WRITE ${WORK}/mixed.cap "${big}")
  run(ARGS decode --jobs 4 ${WORK}/session-300.cap)
  expect_equal("exit status with 4 jobs" "${RC}" "0")
  expect_equal("standard output of 300 sessions with 4 jobs" "${OUT}" "${good}")
  run(ARGS decode --jobs 1 ${WORK}/mixed.cap)
  set(out1 "${OUT}")
  set(err1 "${ERR}")
  set(rc1 "${RC}")
  expect_equal("exit status with 1 job" "${rc1}" "1")
  foreach(jobs 2 4 7)
    run(ARGS decode --jobs ${jobs} ${WORK}/mixed.cap)
    expect_equal("exit status with ${jobs} jobs" "${RC}" "${rc1}")
    expect_equal("standard output with ${jobs} jobs" "${OUT}" "${out1}")
    expect_equal("standard error with ${jobs} jobs" "${ERR}" "${err1}")
  endforeach()
  # Several files in one run keep their order and their own line numbers.
  run(ARGS decode --jobs 3 ${DATA}/malformed.cap ${EXAMPLES}/session.cap ${DATA}/malformed.cap)
  file(READ ${DATA}/malformed.expected m_expected)
  expect_equal("standard output of three files" "${OUT}" "${m_expected}${session_text}${m_expected}")
  file(READ ${DATA}/malformed.messages m_messages)
  string(REPLACE "malformed.cap:" "${DATA}/malformed.cap:" m_messages "${m_messages}")
  expect_equal("standard error of three files" "${ERR}" "${m_messages}${m_messages}")

elseif(CHECK STREQUAL "parallel")
  # Four threads on the example session, and on 40 copies of it (more batches than are in
  # flight at once): exactly the single-thread text and nothing on standard error, where
  # ThreadSanitizer reports in the tsan preset.
  file(READ ${DATA}/session.expected expected)
  run(ARGS decode --jobs 4 ${EXAMPLES}/session.cap)
  expect_equal("standard error" "${ERR}" "")
  expect_equal("exit status" "${RC}" "0")
  expect_equal("standard output" "${OUT}" "${expected}")
  file(READ ${EXAMPLES}/session.cap session)
  set(big "")
  set(good "")
  foreach(i RANGE 1 40)
    string(APPEND big "${session}")
    string(APPEND good "${expected}")
  endforeach()
  file(WRITE ${WORK}/session-40.cap "${big}")
  run(ARGS decode --jobs 4 ${WORK}/session-40.cap)
  expect_equal("standard error of 40 sessions" "${ERR}" "")
  expect_equal("exit status of 40 sessions" "${RC}" "0")
  expect_equal("standard output of 40 sessions" "${OUT}" "${good}")

elseif(CHECK STREQUAL "hex")
  # One record from the command line: the worked example of DM_ACL_CONNECT_CFM_T.
  run(ARGS decode --interface dm --time 14:03:27.045
           --hex "04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01")
  expect_equal("exit status" "${RC}" "0")
  expect_equal("standard output" "${OUT}"
"---- 14:03:27.045 ------------------
DM_ACL_CONNECT_CFM_T
\ttype =  2004
\tphandle =  1a
\tstatus =  00
\thandle =  29
\tBD_ADDR_T
\t\tlap =  9e8b33
\t\tuap =  5b
\t\tnap =  02
\tenc_mode =  01
")
  # With a code, a dated stamp and memory: L2CA_DATAWRITE_REQ_T with three bytes.
  run(ARGS decode -i l2cap -c 0x000b -t 2024-05-14T08:00:00.250 -x 0b0041000300000000003000
           -m "@00300000 01 02 ff")
  expect_equal("exit status with memory" "${RC}" "0")
  expect_equal("standard output with memory" "${OUT}"
"---- 08:00:00.250 ------------------
L2CA_DATAWRITE_REQ_T
\ttype =  0b
\tcid =  41
\tlength =  03
 01 02 ff
")
  # Memory missing: the entry fails with its message.
  run(ARGS decode -i l2cap -x 0b0041000300000000003000 -m "00300000 01 02")
  expect_equal("exit status without enough memory" "${RC}" "1")
  expect_equal("message without enough memory" "${ERR}"
    "<command line>:1: l2cap 0x000b L2CA_DATAWRITE_REQ_T: pointer at offset 8 = 0x00300000 needs 3 bytes; the image has 2 there\n")
  run(ARGS decode -i dm -x "04 20 1")
  expect_equal("exit status of an odd digit count" "${RC}" "1")
  expect_equal("message of an odd digit count" "${ERR}"
    "<command line>:1: expected record bytes as pairs of hexadecimal digits, found an odd number of digits in \"1\"\n")

elseif(CHECK STREQUAL "usage")
  # Usage errors exit with 2 and say what is wrong.
  foreach(args "" "frobnicate" "decode;--jobs;0" "decode;--jobs;many" "decode;--hex;0420"
               "decode;--interface;dm" "decode;--interface;hci;--hex;0420"
               "decode;--interface;dm;--hex;0420;${EXAMPLES}/session.cap" "decode;--code;0x2004"
               "decode;--interface;dm;--hex;04 20 # comment" "list;hci" "list;dm;sdp")
    run(ARGS ${args})
    expect_equal("exit status of [${args}]" "${RC}" "2")
    if(ERR STREQUAL "")
      fail("no message for [${args}]")
    endif()
  endforeach()
  # An input that cannot be opened: a message, the other inputs still decoded, status 2.
  run(ARGS decode ${WORK}/no-such.cap ${EXAMPLES}/session.cap)
  expect_equal("exit status of a missing file" "${RC}" "2")
  expect_equal("message of a missing file" "${ERR}"
    "rizorod: ${WORK}/no-such.cap: cannot open: No such file or directory\n")
  file(READ ${DATA}/session.expected expected)
  expect_equal("output after a missing file" "${OUT}" "${expected}")
  run(ARGS decode ${WORK})
  expect_equal("exit status of a directory" "${RC}" "2")
  expect_equal("message of a directory" "${ERR}" "rizorod: ${WORK}: is a directory\n")
  # Help and version.
  run(ARGS --help)
  expect_equal("exit status of --help" "${RC}" "0")
  foreach(word "decode" "list" "--version" "Exit status")
    string(FIND "${OUT}" "${word}" at)
    if(at EQUAL -1)
      fail("--help does not mention ${word}:\n${OUT}")
    endif()
  endforeach()
  run(ARGS decode --help)
  foreach(word "--jobs" "--interface" "--hex" "--code" "--memory" "--time" "FILE")
    string(FIND "${OUT}" "${word}" at)
    if(at EQUAL -1)
      fail("decode --help does not mention ${word}:\n${OUT}")
    endif()
  endforeach()
  run(ARGS --version)
  expect_equal("exit status of --version" "${RC}" "0")
  if(NOT OUT MATCHES "^rizorod [0-9]+\\.[0-9]+\\.[0-9]+\n$")
    fail("--version printed [${OUT}]")
  endif()

elseif(CHECK STREQUAL "list")
  file(READ ${DATA}/list-sdp.expected expected)
  run(ARGS list sdp)
  expect_equal("exit status" "${RC}" "0")
  expect_equal("list sdp" "${OUT}" "${expected}")
  # Without an interface: every interface in turn, every line four tab-separated fields.
  run(ARGS list)
  string(REGEX REPLACE "\n$" "" all "${OUT}")
  string(REPLACE "\n" ";" rows "${all}")
  set(seen "")
  foreach(row ${rows})
    if(NOT row MATCHES "^(dm|l2cap|rfcomm|sdp)\t0x[0-9a-f][0-9a-f][0-9a-f][0-9a-f]\t[A-Z][A-Z0-9_]*\t[1-9][0-9]*$")
      fail("bad row [${row}]")
    endif()
    string(REGEX REPLACE "\t.*" "" iface "${row}")
    list(APPEND seen ${iface})
  endforeach()
  list(REMOVE_DUPLICATES seen)
  expect_equal("interfaces in order" "${seen}" "dm;l2cap;rfcomm;sdp")
  string(FIND "${OUT}" "${expected}" at)
  if(at EQUAL -1)
    fail("list does not hold the rows of list sdp")
  endif()

elseif(CHECK STREQUAL "unreadable")
  # An input that opens but cannot be read: a message naming it, the other inputs still
  # decoded, status 2. Reading /proc/self/mem at offset 0 fails (nothing is mapped there).
  file(READ ${DATA}/session.expected expected)
  if(EXISTS /proc/self/mem)
    run(ARGS decode ${EXAMPLES}/session.cap /proc/self/mem ${EXAMPLES}/session.cap)
    expect_equal("exit status of a read error" "${RC}" "2")
    expect_equal("message of a read error" "${ERR}" "rizorod: /proc/self/mem: read error after line 0\n")
    expect_equal("output around a read error" "${OUT}" "${expected}${expected}")
  endif()
  # A file without read permission (not a test when run as root, who reads it anyway).
  file(WRITE ${WORK}/locked.cap "dm 00 00 01 00\n")
  file(CHMOD ${WORK}/locked.cap PERMISSIONS OWNER_WRITE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${WORK}/locked.cap RESULT_VARIABLE readable
                  OUTPUT_QUIET ERROR_QUIET)
  if(NOT readable EQUAL 0)
    run(ARGS decode ${WORK}/locked.cap ${EXAMPLES}/session.cap)
    expect_equal("exit status of a locked file" "${RC}" "2")
    expect_equal("message of a locked file" "${ERR}"
      "rizorod: ${WORK}/locked.cap: cannot open: Permission denied\n")
    expect_equal("output after a locked file" "${OUT}" "${expected}")
  endif()
  file(REMOVE ${WORK}/locked.cap)

elseif(CHECK STREQUAL "memory")
  # A line longer than the memory the tool may have: endless bytes without a line end, read
  # under a 256 MiB limit of address space. The tool says that it ran out of memory (not that
  # the input could not be read), and exits with status 2. Sanitizer builds reserve far more
  # address space than the limit allows and do not run this.
  execute_process(COMMAND sh -c "ulimit -v 262144 && exec \"$0\" decode -" ${TOOL}
                  INPUT_FILE /dev/zero OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR RESULT_VARIABLE RC)
  expect_equal("exit status" "${RC}" "2")
  expect_equal("message" "${ERR}" "rizorod: <stdin>: out of memory after line 0\n")

elseif(CHECK STREQUAL "full")
  # A write failure is reported and ends the run with status 3.
  run(ARGS decode ${EXAMPLES}/session.cap OPTIONS OUTPUT_FILE /dev/full)
  expect_equal("exit status" "${RC}" "3")
  expect_equal("message" "${ERR}" "rizorod: cannot write the output: No space left on device\n")
  file(READ ${EXAMPLES}/session.cap session)
  set(big "")
  foreach(i RANGE 1 100)
    string(APPEND big "${session}")
  endforeach()
  file(WRITE ${WORK}/session-100.cap "${big}")
  run(ARGS decode --jobs 2 ${WORK}/session-100.cap OPTIONS OUTPUT_FILE /dev/full)
  expect_equal("exit status with 2 jobs" "${RC}" "3")
  expect_equal("message with 2 jobs" "${ERR}" "rizorod: cannot write the output: No space left on device\n")
  # Messages of bad entries go to standard error, and the failed output is still reported.
  run(ARGS decode ${DATA}/malformed.cap OPTIONS OUTPUT_FILE /dev/full)
  expect_equal("exit status of malformed entries" "${RC}" "3")
  string(FIND "${ERR}" "rizorod: cannot write the output: No space left on device\n" at)
  if(at EQUAL -1)
    fail("no write failure message among [${ERR}]")
  endif()
  # Every command that writes: the list, the help and the version.
  foreach(args "list" "list;sdp" "--help" "decode;--help" "--version")
    run(ARGS ${args} OPTIONS OUTPUT_FILE /dev/full)
    expect_equal("exit status of [${args}]" "${RC}" "3")
    expect_equal("message of [${args}]" "${ERR}" "rizorod: cannot write the output: No space left on device\n")
  endforeach()

else()
  fail("unknown check")
endif()
