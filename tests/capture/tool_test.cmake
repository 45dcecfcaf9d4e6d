# End-to-end checks of the rizorod binary, as tables of shell commands, one table per CHECK:
#   cmake -DTOOL=<rizorod> -DEXAMPLES=<examples> -DDATA=<tests/data> -DWORK=<scratch dir>
#         -DCHECK=<name> -P tool_test.cmake
# A row runs a command with sh, where $R is the tool, $S the example session, $G its decoding and
# $W a scratch folder, and compares the exit status, standard output and standard error with the
# row's: "*" takes anything, "+" anything but nothing.
cmake_minimum_required(VERSION 3.22)

if(EMULATOR)
  set(TOOL ${EMULATOR} ${TOOL})  # a 32-bit build on a kernel that cannot run it
endif()
string(REPLACE ";" " " R "${TOOL}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(READ ${DATA}/session.expected G)
set(rows 0)

function(row status out err cmd)
  math(EXPR n "${rows} + 1")
  set(rows ${n} PARENT_SCOPE)
  execute_process(COMMAND sh -c "R='${R}' S='${EXAMPLES}/session.cap' G='${DATA}/session.expected' W='${WORK}'; ${cmd}"
                  OUTPUT_VARIABLE got_out ERROR_VARIABLE got_err RESULT_VARIABLE got_status)
  foreach(what status out err)
    if(NOT "${${what}}" STREQUAL "*" AND NOT ("${${what}}" STREQUAL "+" AND NOT "${got_${what}}" STREQUAL "")
       AND NOT "${got_${what}}" STREQUAL "${${what}}")
      message(SEND_ERROR "${CHECK} row ${n}: ${cmd}\n-- ${what}: expected [${${what}}]\n-- got [${got_${what}}]\n"
                         "-- status ${got_status}, standard error [${got_err}]")
    endif()
  endforeach()
endfunction()

set(nomatch "ERROR: none of the prim types matched, default reached \n")
set(E "12:00:00.000 dm 0xffff 00")  # an entry whose decoding is the no-match text
set(full "rizorod: cannot write the output: No space left on device\n")

if(CHECK STREQUAL "golden")
  # The example session against its hand-checked decoding, from a file, standard input and "-",
  # and after a byte-order mark.
  row(0 "${G}" "" [=[$R decode $S]=])
  row(0 "${G}" "" [=[$R decode < $S]=])
  row(0 "${G}" "" [=[{ printf '\357\273\277'; cat $S; } | $R decode -]=])

elseif(CHECK STREQUAL "select")
  # Entry selection on the example session, against counts made by hand from the capture: every
  # kind of option, options of one kind widening and of different kinds narrowing the choice,
  # --where at any depth (the handle 0x29 of a completed-packet block too), text and JSON alike.
  set(n [=[| grep -c '^----']=])
  row(0 "18 8 7 3 " "" "for i in dm l2cap rfcomm sdp; do $R decode -i $i $S ${n} | tr '\\n' ' '; done")
  row(0 "4\n" "" "$R decode -n 'DM_ACL_*' $S ${n}")
  row(0 "10\n" "" "$R decode -n 'RFC_*' -n 'SDC_*' $S ${n}")
  row(0 "2\n" "" "$R decode -c 0x2004 -c 0x19 $S ${n}")
  row(0 "15\n" "" "$R decode --since 09:41:10 --until 09:41:15 $S ${n}")
  row(0 "36\n" "" "$R decode --since 2024-05-14 $S ${n}")
  row(1 "0\n" "" "$R decode --until 2024-05-13T23:59 $S ${n}")
  # Two times of day, the later first: the night between them; --date for a capture without one.
  row(0 "3 3\n" "" [=[printf '22:59:59.999 sdp 0b00a002\n23:00:00.000 sdp 0b00a002\n00:30:00.000 sdp 0b00a002\n01:00:59.999 sdp 0b00a002\n01:01:00.000 sdp 0b00a002\n' > $W/night.cap &&
      echo $($R decode --since 23:00 --until 01:00 $W/night.cap | grep -c '^----') $($R decode --date 2024-02-28 --since 2024-02-29 $W/night.cap | grep -c '^----')]=])
  row(0 "DM_ACL_CONNECT_CFM_T DM_ACL_DATA_SENT_IND_T DM_ACL_DISCONNECT_IND_T " "" "$R decode -f json -w handle=0x29 $S | jq -j '.name + \" \"'")
  row(0 "14\n" "" "$R decode -w uap=124 $S ${n}")
  row(0 "1\n" "" "$R decode -w in_mtu=0x2a0 $S ${n}")
  row(0 "1\n" "" "$R decode -w uap=0x7c -w handle=41 -i dm -n '*CFM*' --until 09:41:16 $S ${n}")
  row(0 "1\n" "" "$R decode -w name_part='Workshop bench unit' $S ${n}")
  # --where expressions on the example session: the lines of the entries each selects, text and
  # JSON alike (the example's statuses are all 0).
  foreach(case
      "handle == 0x29 => 32 71 79" "handle == 0x29 and status != 0 => " "handle=00000000041 => 32 71 79" "handle=0x0000000029 => 32 71 79"
      "name matches \"DM_ACL_*\" or interface == sdp => 30 32 56 58 60 71 79" "not (interface == dm) and time < 09:41:16 => 37 38 39 40 41 45"
      "code >= 0x2000 && code < 8201 => 30 32 79" "name == \"*CFM*\" and (handle == 41 || phandle > 3) => 32 58"
      "bd_addr == 00:12:7c:6a:1f:20 and interface != dm => 38 39 45 46 56 60" "rem_addr == 192.168.0.1 => 68" "rem_addr == 00-12-7C-6A-1F-20 => 64"
      "name_part contains speaker => 25" "name_part == \"Workshop bench unit\" => 11" "payload contains 0d0a => 52" "payload == 41:54:2b:43:49:4e:44:3f:0d => 50"
      "num_completed == 3 and !(handle != 41) => 71" "iac_lap == 0x9e8b00 => 13 76" "time == 09:41:15 => 32 33 34 37 38 39 40 41 45" "time > 2024-05-14T09:41:21 => 79"
      "lap and uap == 124 and uap <= 0x7c and uap >= 124 and uap < 125 and uap > 123 => 20 24 25 30 31 32 33 34 38 39 45 46 56 60")
    string(REPLACE " => " ";" case "${case}")
    list(GET case 0 expr)
    list(LENGTH case has)
    set(lines "")
    if(has GREATER 1)
      list(GET case 1 lines)
    endif()
    row(0 "${lines}\n${lines}\n" "" "$R decode -f json --where '${expr}' $S | jq -j '.line, \" \"' | sed 's/ $//'; echo;
        n=\$($R decode --where '${expr}' $S | grep -c '^----'); [ \$n = \$(echo '${lines}' | wc -w) ] && echo '${lines}'")
  endforeach()
  # A bad expression: status 2, what was wrong, the expression and a caret under the bad token.
  foreach(case "handle == |  handle == |            ^" "handle= 41|  handle= 41|        ^" "handle = 41|  handle = 41|         ^" "handle=0x2G|  handle=0x2G|         ^^^^"
               "handle=-41|  handle=-41|         ^^^" "handle=|  handle=|         ^" "handle == 41 and (status|  handle == 41 and (status|                          ^"
               "nosuch == 1|  nosuch == 1|  ^^^^^^" "interface == hci|  interface == hci|               ^^^" "uap == 0x100|  uap == 0x100|         ^^^^^"
               "name_part < 3|  name_part < 3|              ^" "common == 1|  common == 1|            ^" "handle == 41 status|  handle == 41 status|               ^^^^^^"
               "name_part == 'x|  name_part == 'x|               ^")
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 expr)
    list(GET case 1 shown)
    list(GET case 2 under)
    row(2 "${shown}\n${under}\n" "" "$R decode --where \"${expr}\" $S 2>&1 >/dev/null | sed -n 2,3p; exit \$( ($R decode --where \"${expr}\" $S >/dev/null 2>&1); echo \$?)")
  endforeach()
  # export checks what it writes whatever the selection: a short record, or memory missing, with
  # each kind of selection option, gives decode's message and status 1, and no packet.
  foreach(select "--interface dm" "--code 0x2004" "--name 'DM_*'" "--since 00:00" "--until 23:59" "--where 'handle == 0x0403'")
    row(1 "96\n" "<stdin>:1: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2\n<stdin>:2: l2cap 0x000b L2CA_DATAWRITE_REQ_T: pointer at offset 8 = 0x00300000 needs 3 bytes; the image has 2 there\n"
        "printf '12:00:00.000 dm 0x2004 04 20\\n12:00:00.000 l2cap 0x000b 0b0041000300000000003000\\n@00300000 01 02\\n' | $R export ${select} - - > $W/selected.pcapng; s=\$?; wc -c < $W/selected.pcapng; exit \$s")
  endforeach()
  # Entries left out are still checked; a refusal is an object of its own in JSON too.
  row(1 "" "<stdin>:1: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2\n" [=[echo 'dm 0x2004 0420' | $R decode -i sdp]=])
  foreach(where "interface == sdp" "code != 0x2004" "name == 'L2CA_*'" "time > 12:00")
    row(1 "" "<stdin>:1: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2\n" "echo 'dm 0x2004 0420' | $R decode --where \"${where}\"")
  endforeach()
  row(1 "{\"schema\":2,\"file\":\"<stdin>\",\"line\":1,\"error\":\"expected an interface (dm, l2cap, rfcomm or sdp), found \\\"hci\\\"\"}\n" "+" [=[echo 'hci 00' | $R decode -f json]=])
  # stats: the counts per primitive and in all, first and last stamps, failures.
  row(0 "DM_ACL_DATA_SENT_IND_T 1 true 36 0 " "" [=[$R stats -f json $S | jq -j 'if .total then "\(.entries) \(.failed) " elif .code == 8201 then "\(.name) \(.entries) \(.first == .last) " else empty end']=])
  row(0 "1 2 1" "+" [=[{ cat $S; echo 'dm 0x2004 0420'; } | $R stats > $W/st; echo $? $(grep '^dm *0x2004 ' $W/st | tr -s ' ' | cut -d ' ' -f 4,5) | tr -d '\n']=])

elseif(CHECK STREQUAL "parallel")
  # Several jobs write exactly what one job writes, messages in place, with the same status; the
  # sessions decode to their text; nothing on standard error, where ThreadSanitizer reports.
  row(0 "" "" [=[for i in $(seq 40); do cat $S; done > $W/40.cap && $R decode --jobs 4 $W/40.cap > $W/40.out &&
               for i in $(seq 40); do cat $G; done | cmp -s - $W/40.out]=])
  row(0 "" "" [=[for i in $(seq 300); do cat $S; printf 'hci 00\n@zz\ndm 0x2004 0420\n@10 00\n@10 00\n'; done > $W/mixed.cap &&
               for j in 1 2 4 7; do $R decode --jobs $j $W/mixed.cap > $W/$j 2>&1; echo "status $?" >> $W/$j; done &&
               tail -n 1 $W/1 | grep -qx 'status 1' && cmp $W/1 $W/2 && cmp $W/1 $W/4 && cmp $W/1 $W/7]=])

  # The capture clock across chunks and threads: dates carried and rolled over the same way
  # whatever --jobs says (a capture of 60 days, 09:00 to 23:00 and on to 08:00, several chunks).
  row(0 "" "" [=[for d in $(seq 60); do [ $d = 1 ] && printf '2024-12-30 '; for i in $(seq 0 23); do
               printf '%02d:00:00.000 sdp 0b00a002 # and a comment to make the chunks many\n' $(( (9 + i) % 24 )); done; done |
               sed 's/^/  /' > $W/days.cap && for j in 1 3; do $R decode -f json --jobs $j $W/days.cap > $W/days$j.json; done &&
               cmp $W/days1.json $W/days3.json && [ "$(jq -r .date $W/days1.json | uniq -c | awk '{print $1}' | sort | uniq -c | tr -s ' ')" = " 1 15
 59 24
 1 9" ] && [ "$($R decode --since 2025-02-08 --until 2025-02-08 --jobs 3 $W/days.cap | grep -c '^----')" = 24 ]]=])

elseif(CHECK STREQUAL "cli")
  foreach(args "" "frobnicate" "decode --jobs 0" "decode --jobs many" "decode --hex 0420" "decode --since 25:00"
               "decode --interface hci --hex 0420" "decode --interface dm --hex 0420 $S" "decode --where nosuchfield=1" "decode -t 00:00:00.000"
               "decode --interface dm --hex '04 20 # comment'" "list hci" "list dm sdp"
               "decode -c 0x0g $S" "decode -c 65536 $S" "decode --since 2024-13-01" "decode --since 09:41:10,500"
               "decode --until 2024-00-10"
               "decode --interface dm --hex 0420 --since 09:00" "decode --date 2023-02-29" "decode --since 2023-02-29")
    row(2 "" "+" "$R ${args}")
  endforeach()
  set(help "Run with --help for more information.\n")
  row(2 "" "--code: expected a type code 0 to 65535 or 0x0000 to 0xffff, found \"0x0c4a 4a 0c\"\n${help}"
      [=[$R decode -i dm -c '0x0c4a 4a 0c' -x 0420]=])
  # Standard input named and numbered as the piece of a file it is; --piece takes one file.
  row(1 "{\"schema\":2,\"file\":\"big.cap\",\"line\":11,\"error\":\"expected an interface (dm, l2cap, rfcomm or sdp), found \\\"hci\\\"\"}\n"
      "big.cap:11: expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"\n"
      [=[printf '\nhci 00\n' | $R decode -f json --label big.cap --first-line 10]=])
  foreach(args "--piece 1/2 -" "--piece 1/2 $S $S" "--piece 3/2 $S" "--piece 0/2 $S" "--label x $S" "--first-line 0")
    row(2 "" "+" "$R decode ${args} < /dev/null")
  endforeach()
  # A code in decimal or hexadecimal, given with --hex or to choose entries.
  row(0 "DM_HCI_STANDARD_COMMAND_COMPLETE_T 8196 8196 " "" [=[$R decode -i dm -c 3146 -x 4a0c010000 | sed -n 2p | tr '\n' ' ';
      for c in 8196 0x2004; do $R decode -f json -c $c $S | jq -j '.code, " "'; done]=])
  row(2 "" "--time: expected a timestamp HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm, found \"garbage\"\n${help}"
      [=[$R decode -i dm -t garbage -x 0420]=])
  # A record from the command line decodes as the same capture line would.
  row(0 "" "" [=[a=$($R decode -i l2cap -c 0x000b -t '2024-05-14 08:00:00.250' -x 0b0041000300000000003000 -m '@00300000 01 02 ff') &&
               b=$(printf '2024-05-14T08:00:00.250 l2cap 0x000b 0b0041000300000000003000\n@00300000 01 02 ff\n' | $R decode) &&
               [ -n "$a" ] && [ "$a" = "$b" ]]=])
  row(0 "DM_AM_REGISTER_REQ_T\n" "" [=[$R decode -i dm -c 0x0000 -x '04 20 00 00' | sed -n 2p]=])  # not its first field
  row(1 "" "<command line>:1: l2cap 0x000b L2CA_DATAWRITE_REQ_T: pointer at offset 8 = 0x00300000 needs 3 bytes; the image has 2 there\n"
      [=[$R decode -i l2cap -x 0b0041000300000000003000 -m '00300000 01 02']=])
  row(0 "" "" [=[$R --help | grep -q 'Exit status' && $R decode --help | grep -q -- --jobs && $R --version | grep -qx 'rizorod [0-9.]*' &&
      $R decode --help | grep -qF -- "-m,--memory '@ADDR BYTES'"]=])
  # The list: every interface in order, four tab-separated fields a line, `list sdp` its sdp rows.
  row(0 "dm l2cap rfcomm sdp " "" [=[$R list > $W/all && $R list sdp > $W/sdp && grep '^sdp' $W/all | cmp - $W/sdp &&
      grep -q "$(printf 'sdp\t0x000b\tSDC_CONFIG_REQ_T\t4')" $W/sdp && ! grep -vqE "^(dm|l2cap|rfcomm|sdp)$(printf '\t')0x[0-9a-f]{4}$(printf '\t')[A-Z][A-Z0-9_]*$(printf '\t')[1-9][0-9]*$" $W/all &&
      cut -f 1 $W/all | uniq | tr '\n' ' ']=])
  # Layouts, text and JSON, of a record whose first field chooses how its pointers are shown.
  string(CONCAT iac "dm\t0x0c3a\tHCI_WRITE_CURRENT_IAC_LAP_T\t32\n\t0\tHCI_COMMAND_COMMON_T\tcommon\n\t\t0\tu16\top_code\n"
          "\t\t2\tu8\tlength\n\t4\tu8\tnum_current_iac\n\t8\tptr[6]\tiac_lap (silent)\n\tcustom up to 32, by the "
          "first field: 0x0429 name_part at 16, 0x0c13 name_part at 4, 0x0c4b name_part at 8, 0x0c3a iac_lap count "
          "at 4, blocks at 8 x6\n")
  row(0 "${iac}" "" [=[$R list --fields dm | grep -A 6 '^dm.0x0c3a']=])
  row(0 [=[{"kind":"pointer","label":"iac_lap","offset":8,"count":6}
{"kind":"custom","extent":32,"choices":[{"first":1065,"kind":"name","label":"name_part","parts":16},{"first":3091,"kind":"name","label":"name_part","parts":4},{"first":3147,"kind":"name","label":"name_part","parts":8},{"first":3130,"kind":"access_codes","label":"iac_lap","count_offset":4,"pointer":8,"pointers":6}]}
]=] "" [=[$R list -f json --fields dm | jq -c 'select(.code == 3130) | .fields[2, 3]']=])

elseif(CHECK STREQUAL "inputs")
  # Bad entries: one message each at its line, in its place among the decodings, status 1; each
  # file keeps its own line numbers.
  file(WRITE ${WORK}/m.cap "${E}\nhci 00\n@0 00\n${E}\n@zz\n@1 00\ndm 0x2004 0420\nl2cap 0xffff\n")
  set(m "${nomatch}${WORK}/m.cap:2: expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"
${WORK}/m.cap:5: expected a memory address of 1 to 8 hexadecimal digits after '@', found \"zz\"
${WORK}/m.cap:7: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2\n${nomatch}")
  row(1 "${m}${m}" "" [=[$R decode $W/m.cap $W/m.cap 2>&1]=])
  row(1 "${m}${m}" "" [=[$R decode --jobs 2 $W/m.cap $W/m.cap 2>&1]=])
  # Inputs that cannot be opened or read: a message each, the others still decoded, status 2.
  row(2 "${G}" "rizorod: ${WORK}/nope.cap: cannot open: No such file or directory\n" [=[$R decode $W/nope.cap $S]=])
  row(2 "" "rizorod: ${WORK}/a\\x0ab\\x1b: cannot open: No such file or directory\n" [=[$R decode "$W/a
b$(printf '\033')"]=])
  row(2 "" "rizorod: ${WORK}: is a directory\n" [=[$R decode $W]=])
  row(2 "" "rizorod: <stdin>: read error after line 0\n" [=[$R decode - < $W]=])
  row(2 "${G}${G}" "rizorod: /proc/self/mem: read error after line 0\n" [=[$R decode $S /proc/self/mem $S]=])
  # A read error midway (the third read of standard input fails): every entry before the one it
  # cut short is decoded, exactly as the lines before it alone decode.
  find_program(STRACE strace)
  if(STRACE AND NOT EMULATOR)
    # (LeakSanitizer cannot work under a tracer: off for these runs.)
    row(0 "" "" [=[strace -o /dev/null true || exit 0; export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0";
        for i in $(seq 100); do cat $S; done > $W/100.cap &&
        strace -o $W/trace -e trace=read $R decode < $W/100.cap > /dev/null &&
        k=$(grep -n '^read(0,' $W/trace | sed -n 3p | cut -d: -f1) &&
        strace -o /dev/null -e trace=read -e inject=read:error=EIO:when=$k $R decode < $W/100.cap > $W/out 2> $W/err;
        [ $? = 2 ] && n=$(sed -n 's/^rizorod: <stdin>: read error after line \([0-9]*\)$/\1/p' $W/err) && [ "$n" -gt 0 ] &&
        [ $(wc -l < $W/err) = 1 ] && head -n $n $W/100.cap | $R decode | cmp - $W/out]=])
  endif()

elseif(CHECK STREQUAL "output")
  # A closed pipe stops the tool at once and quietly: killed by SIGPIPE, or status 3 without a
  # message when SIGPIPE is ignored. Any other write error is reported, status 3.
  row(0 "" "status 141\n" [=[for i in $(seq 200); do cat $S; done > $W/200.cap; ($R decode $W/200.cap; echo "status $?" >&2) | head -c 1 > /dev/null]=])
  row(0 "" "status 3\n" [=[(trap '' PIPE; $R decode --jobs 2 $W/200.cap; echo "status $?" >&2) | head -c 1 > /dev/null]=])
  foreach(args "decode $S" "decode --jobs 2 $W/200.cap" "list" "list sdp" "--help" "decode --help" "--version")
    row(3 "" "${full}" "$R ${args} > /dev/full")
  endforeach()
  row(3 "" "*" [=[$R decode $W/200.cap $W/nope.cap > /dev/full]=])

elseif(CHECK STREQUAL "live")
  # A live input that pauses: what came is decoded and written at once, its last entry included
  # (well within the two seconds that the writer waits for it); memory lines after the pause get
  # a message of their own.
  foreach(jobs 1 2)
    row(1 "${nomatch}<stdin>:2: expected the memory lines of an entry before the input paused, found this one after the pause\n${nomatch}" ""
        "rm -f $W/live; { echo '${E}'; i=0; until grep -q ERROR $W/live 2> /dev/null || [ $i -ge 40 ]; do sleep 0.05; i=$((i+1)); done;
         echo '@10 00'; echo '${E}'; } | $R decode --jobs ${jobs} - > $W/live 2>&1; s=$?; cat $W/live; exit $s")
  endforeach()

elseif(CHECK STREQUAL "limits")
  # Under an address-space limit: threads that cannot all be started, and a line longer than the
  # memory there is, which ends its input after the entry before it.
  row(0 "${G}" "" [=[ulimit -v 100000 && $R decode --jobs 64 $S]=])
  row(2 "${nomatch}" "rizorod: <stdin>: out of memory after line 1\n"
      [=[{ echo "12:00:00.000 dm 0xffff 00"; head -c 300000000 /dev/zero; } | (ulimit -v 200000 && $R decode)]=])
  # Peak memory with long entries at every position among short ones does not grow with jobs.
  find_program(TIME_PROGRAM time PATHS /usr/bin NO_DEFAULT_PATH)
  if(TIME_PROGRAM)
    row(0 "" "" [=[{ printf '12:00:00.000 dm 0xffff'; head -c 262144 /dev/zero | od -An -v -tx1 | tr -d '\n'; echo; } > $W/long &&
        for i in $(seq 64); do for k in $(seq 16); do [ $k = $((i % 16 + 1)) ] && cat $W/long || echo "12:00:00.000 dm 0xffff 00"; done; done > $W/long.cap &&
        for j in 1 4; do /usr/bin/time -f %M -o $W/rss $R decode --jobs $j $W/long.cap > /dev/null && [ $(cat $W/rss) -lt 24000 ] || exit 1; done]=])
  endif()

else()
  message(FATAL_ERROR "unknown check ${CHECK}")
endif()
message(STATUS "${CHECK}: ${rows} rows")
