# SPDX-License-Identifier: Apache-2.0
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
      "num_completed == 3 and !(handle != 41) => 71" "handle==41&&num_completed==3||rem_addr==192.168.0.1 => 68 71" "iac_lap == 0x9e8b00 => 13 76" "time == 09:41:15 => 32 33 34 37 38 39 40 41 45" "time > 2024-05-14T09:41:21 => 79"
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
  # Unreadable lines in every chunk: the totals of several jobs are those of one.
  row(0 "7200 200 7200 200 " "" [=[for i in $(seq 200); do cat $S; echo 'hci 00'; done > $W/bad200.cap; for j in 1 2; do
      $R stats --jobs $j -f json $W/bad200.cap 2> /dev/null | jq -j 'select(.total) | "\(.entries) \(.unreadable) "'; done]=])

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
  # Usage errors: status 2, the first line of standard error exactly, nothing on standard output.
  # Every message begins "rizorod: " and names what was wrong.
  function(cli args first)
    row(2 "rizorod: ${first}\n" "" "$R ${args} 2>$W/err >$W/out; s=$?; head -n 1 $W/err; [ -s $W/out ] && s=0; exit $s")
    set(rows ${rows} PARENT_SCOPE)
  endfunction()
  cli("" "no command given")
  cli("decod" "unknown command 'decod'; did you mean 'decode'?")
  cli("lsit" "unknown command 'lsit'; did you mean 'list'?")
  cli("dis" "unknown command 'dis'; did you mean 'dissector'?")
  cli("frobnicate" "unknown command 'frobnicate' (the commands: decode, stats, pairs, report, export, dissector, list, writer-source, help)")
  cli("help decod" "unknown command 'decod'; did you mean 'decode'?")
  cli("help decode extra" "unexpected argument 'extra'")
  cli("--bogus decode" "unknown option '--bogus'")
  cli("decode --bogus $S" "unknown option '--bogus'")
  cli("decode -j 2 --bogus=4 $S" "unknown option '--bogus'")
  cli("stats -q $S" "unknown option '-q'")
  cli("list dm sdp" "unexpected argument 'sdp'")
  cli("export" "export needs the file to write: -o OUT.pcapng (- for standard output)")
  cli("decode --jobs" "option --jobs needs a value")
  cli("decode --jobs 0" "--jobs: expected a number from 1 to 256, found \"0\"")
  cli("decode --jobs many" "--jobs: expected a number from 1 to 256, found \"many\"")
  cli("export --linktype 163 $W/x.pcapng $S" "--linktype: expected a number from 147 to 162, found \"163\"")
  cli("decode --format xml $S" "--format: xml not in {text,json}")
  cli("list hci" "INTERFACE: hci not in {dm,l2cap,rfcomm,sdp}")
  cli("decode --hex 0420" "--hex: needs exactly one --interface, the record's")
  cli("decode --interface hci --hex 0420" "--interface: hci not in {dm,l2cap,rfcomm,sdp}")
  cli("decode --interface dm --hex 0420 $S" "FILE excludes --hex")
  cli("decode -t 00:00:00.000" "--time requires --hex")
  cli("decode --interface dm --hex '04 20 # comment'" "--hex: must not contain a line break or '#'")
  cli("decode --where nosuchfield=1" "--where: no primitive has a field named \"nosuchfield\" (rizorod list --fields shows them all)")
  cli("decode --since 25:00" "--since: expected a time HH:MM, HH:MM:SS or HH:MM:SS.mmm, a date YYYY-MM-DD, or both, found \"25:00\"")
  cli("decode --since 09:41:10,500" "--since: expected a time HH:MM, HH:MM:SS or HH:MM:SS.mmm, a date YYYY-MM-DD, or both, found \"09:41:10,500\"")
  cli("decode --since 2024-13-01" "--since: expected a date YYYY-MM-DD, found \"2024-13-01\"")
  cli("decode --until 2024-00-10" "--until: expected a date YYYY-MM-DD, found \"2024-00-10\"")
  cli("decode -c 0x0g $S" "--code: expected a type code 0 to 65535 or 0x0000 to 0xffff, found \"0x0g\"")
  cli("decode -c 65536 $S" "--code: expected a type code 0 to 65535 or 0x0000 to 0xffff, found \"65536\"")
  cli("decode -i dm -c '0x0c4a 4a 0c' -x 0420" "--code: expected a type code 0 to 65535 or 0x0000 to 0xffff, found \"0x0c4a 4a 0c\"")
  cli("decode -i dm -t garbage -x 0420" "--time: expected a timestamp HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm, found \"garbage\"")
  cli("decode --interface dm --hex 0420 --since 09:00" "--since and --until: need --time with --hex: the record has no time")
  cli("decode --date 2023-02-29" "--date: expected a date YYYY-MM-DD that the calendar has, found \"2023-02-29\"")
  cli("decode --since 2023-02-29" "--since: expected a date YYYY-MM-DD, found \"2023-02-29\"")
  cli("decode --date 2024-05/14" "--date: expected a date YYYY-MM-DD that the calendar has, found \"2024-05/14\"")
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
  # The help: `help` as --help; every command's help within 80 columns, free of the argument
  # parser's notation, ending with examples of that command alone and its exit statuses.
  row(0 "" "" [=[[ "$($R help)" = "$($R --help)" ] && [ "$($R help export)" = "$($R export --help)" ]]=])
  row(0 "" "" [=[$R --help > $W/help && for c in '' $(sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\).*/\1/p' $W/help); do
      $R $c --help > $W/h && head -n 1 $W/h | grep -q "^Usage: rizorod${c:+ $c} " && grep -qx 'Exit status:' $W/h &&
      ! awk 'length > 80' $W/h | grep . && ! grep -E 'REQUIRED|Needs:|Excludes:|[A-Z]:(\{|UINT|TEXT|INT)|\[[0-9]+ - [0-9]+\]|\b([A-Z]+) \2\b' $W/h &&
      sed -n '/^Examples:$/,/^$/p' $W/h | sed '1d;/^$/d' > $W/ex && [ -s $W/ex ] &&
      { [ -z "$c" ] || ! grep -v "rizorod $c" $W/ex; } || { echo "rizorod $c --help"; exit 1; }; done]=])
  # A record from the command line decodes as the same capture line would.
  row(0 "" "" [=[a=$($R decode -i l2cap -c 0x000b -t '2024-05-14 08:00:00.250' -x 0b0041000300000000003000 -m '@00300000 01 02 ff') &&
               b=$(printf '2024-05-14T08:00:00.250 l2cap 0x000b 0b0041000300000000003000\n@00300000 01 02 ff\n' | $R decode) &&
               [ -n "$a" ] && [ "$a" = "$b" ]]=])
  row(0 "DM_AM_REGISTER_REQ_T\n" "" [=[$R decode -i dm -c 0x0000 -x '04 20 00 00' | sed -n 2p]=])  # not its first field
  row(1 "" "<command line>:1: l2cap 0x000b L2CA_DATAWRITE_REQ_T: pointer at offset 8 = 0x00300000 needs 3 bytes; the image has 2 there\n"
      [=[$R decode -i l2cap -x 0b0041000300000000003000 -m '00300000 01 02']=])
  row(0 "" "" [=[$R --version | head -n 1 | grep -qx 'rizorod [0-9.]*' && $R --version | grep -qx 'License Apache-2.0: .*' &&
      $R decode --help | grep -qF -- "-m, --memory '@ADDR BYTES'"]=])
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
  row(0 "\t4\tu32[2]\tevent_mask\n" "" [=[$R list --fields dm | grep -A 4 '^dm.0x0c01' | tail -n 1]=])
  # The kinds of field lines and pointers that the rows use, spelt as docs/JSON.md spells them.
  row(0 "b8 enum i32 ip ptr u16 u32 u8 " "" [=[$R list --fields | sed 's/^\t*//' | grep -E '^[0-9]+\s' | cut -f 2 | sed 's/\[.*//' |
      grep -v '^[A-Z]' | sort -u | tr '\n' ' ']=])
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
  # JSON is UTF-8 whatever bytes a name holds: a byte outside a valid sequence (Latin-1, a
  # surrogate, past U+10FFFF, a cut sequence) reads as its Latin-1 character; valid ones stay.
  row(0 "'${WORK}/caf\\xe9\\xed\\xa0\\x80\\xe9\\xf4\\x90\\x80\\x80\\xe1\\x80.cap'\n" ""
      [=[f=$(printf "$W/caf\351\355\240\200\303\251\364\220\200\200\341\200.cap") && echo '12:00:00.000 dm 0xffff 00' > "$f" &&
         $R decode -f json "$f" | python3 -c "import json, sys; print(ascii(json.loads(sys.stdin.buffer.read().decode())['file']))"]=])
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

elseif(CHECK STREQUAL "compressed")
  # Compressed captures, told by their first bytes whatever their name: the example session
  # decodes as the plain one from a file and from standard input, two streams one after the other
  # as both; one cut short decodes every entry before the damage (its output a prefix of the whole
  # decoding that ends where an entry does), then one message and status 2, as does one damaged.
  # A binary file gets one message, and the next input is still read.
  foreach(f ${FORMATS})
    row(0 "" "" "${f} -c $S > $W/s && $R decode $W/s | cmp - $G && $R decode < $W/s | cmp - $G &&
                 cat $W/s $W/s | $R decode > $W/two && cat $G $G | cmp - $W/two")
    set(big "for i in $(seq 40); do cat $S; done > $W/40.cap && $R decode $W/40.cap > $W/40.txt && ${f} -c $W/40.cap > $W/40")
    set(last "tail -n 1 $W/err | sed 's/line [0-9]*:/line N:/'")
    row(2 "rizorod: ${WORK}/cut: read error after line N: the ${f} data ends early\n" ""
        "${big} && head -c $(($(stat -c %s $W/40) - 8)) $W/40 > $W/cut && $R decode $W/cut > $W/out 2> $W/err; s=$?;
         n=$(stat -c %s $W/out) && [ $n -gt 0 ] && head -c $n $W/40.txt | cmp -s - $W/out &&
         [ \"$(tail -c +$((n + 1)) $W/40.txt | head -c 5)\" = '---- ' ] && ${last} && exit $s")
    row(2 "rizorod: ${WORK}/cut: read error after line N: the ${f} data is damaged\n" ""
        "${big} && cp $W/40 $W/cut && printf 'damage' | dd of=$W/cut bs=1 seek=$(($(stat -c %s $W/40) / 2)) conv=notrunc 2>/dev/null &&
         $R decode $W/cut > $W/out 2> $W/err; s=$?; ${last} && exit $s")
  endforeach()
  row(0 "${G}" "" [=[cp $S $W/plain.gz && $R decode $W/plain.gz]=])
  # A piece is cut at the entry lines of the file's own bytes: a compressed file has none.
  if(FORMATS)
    list(GET FORMATS 0 f)
    row(2 "" "rizorod: ${WORK}/p: a compressed capture cannot be cut into pieces; decompress it first\n"
        "${f} -c $S > $W/p && $R decode --piece 1/2 $W/p")
  endif()
  row(2 "" "rizorod: /dev/stdin: only a regular file can be cut into pieces\n" [=[cat $S | $R decode --piece 1/2 /dev/stdin]=])
  set(binary "not a capture (binary data; compressed captures are read in gzip, xz or zstd)")
  row(2 "${G}" "rizorod: ${WORK}/bin: ${binary}\n" [=[head -c 100000 /bin/sh > $W/bin && $R decode $W/bin $S]=])
  row(2 "" "rizorod: <stdin>: ${binary}\n" [=[printf 'dm 0x2004 0420\000\n' | $R decode]=])

elseif(CHECK STREQUAL "output")
  # A closed pipe stops the tool at once and quietly: killed by SIGPIPE, or status 3 without a
  # message when SIGPIPE is ignored. Any other write error is reported, status 3.
  row(0 "" "status 141\n" [=[for i in $(seq 200); do cat $S; done > $W/200.cap; ($R decode $W/200.cap; echo "status $?" >&2) | head -c 1 > /dev/null]=])
  row(0 "" "status 3\n" [=[(trap '' PIPE; $R decode --jobs 2 $W/200.cap; echo "status $?" >&2) | head -c 1 > /dev/null]=])
  foreach(args "decode $S" "decode --jobs 2 $W/200.cap" "export -o - $S" "list" "list sdp" "--help" "decode --help" "help stats" "--version")
    row(3 "" "${full}" "$R ${args} > /dev/full")
  endforeach()
  row(3 "" "*" [=[$R decode $W/200.cap $W/nope.cap > /dev/full]=])
  # export never writes over a file it reads, through any name, nor over a file that is not a
  # pcapng without --force (the output forgotten, or the arguments of the older form swapped);
  # the input is left as it was.
  set(same "is the same file as the input")
  set(other "the output must be another file")
  foreach(case "2;${WORK}/s.cap: exists and is not a pcapng file\; --force replaces it (to export it, name the output with -o);$R export $W/s.cap < /dev/null"
               "2;${WORK}/s.cap: exists and is not a pcapng file\; --force replaces it (to export it, name the output with -o);$R export $W/s.cap $W/o.pcapng"
               "2;${WORK}/s.cap: ${same} ${WORK}/s.cap\; ${other};$R export $W/s.cap $W/s.cap"
               "2;${WORK}/link.cap: ${same} ${WORK}/s.cap\; ${other};ln -sf s.cap $W/link.cap && $R export -o $W/link.cap $W/s.cap"
               "2;<stdout>: ${same} ${WORK}/s.cap\; ${other};$R export -o - $S $W/s.cap >> $W/s.cap"
               "2;${WORK}/s.cap: ${same} <stdin>\; ${other};$R export -o $W/s.cap < $W/s.cap")
    list(GET case 0 status)
    list(GET case 1 why)
    list(GET case 2 cmd)
    row(${status} "" "rizorod: ${why}\n" "cp $S $W/s.cap && ${cmd}; s=$?; cmp $S $W/s.cap && exit $s")
  endforeach()
  # A run that fails leaves the existing pcapng as it was, and no temporary file; one that ends
  # well replaces it, and --force replaces a file that is not a pcapng; a signal leaves nothing.
  row(2 "0\n" "rizorod: ${WORK}/nope.cap: cannot open: No such file or directory\nrizorod: ${WORK}/o.pcapng: left as it was\n"
      [=[$R export -o $W/o.pcapng $S && cp $W/o.pcapng $W/keep && $R export -o $W/o.pcapng $S $W/nope.cap; s=$?; cmp $W/o.pcapng $W/keep && ls -A $W | grep -c '^\.'; exit $s]=])
  row(1 "" "<stdin>:1: expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"\n"
      [=[cp $S $W/v.txt && $R export --force -o $W/v.txt $S && echo 'hci 00' | $R export -o $W/v.txt; s=$?; $R export -o - < /dev/null | cmp - $W/v.txt && exit $s]=])
  row(0 "143 0\n" "*" [=[{ sleep 1; } | $R export -o $W/sig.pcapng & sleep 0.3; kill $!; wait $!; echo $? $(ls -A $W | grep -c sig)]=])
  # Standard descriptors closed at start: no file the tool opens takes their place (the export's
  # messages stay out of its pcapng), and a closed output or input still fails as one.
  row(1 "0\n" "" [=[echo 'hci 00' > $W/bad.cap; $R export $W/closed.pcapng $W/bad.cap 2>&-; s=$?; grep -c hci $W/closed.pcapng; exit $s]=])
  row(3 "" "rizorod: cannot write the output: Bad file descriptor\n" [=[$R decode $S >&-]=])
  row(2 "" "rizorod: <stdin>: read error after line 0\n" [=[$R stats <&- > /dev/null]=])

elseif(CHECK STREQUAL "live")
  # A live input that pauses: what came is decoded and written at once, its last entry included
  # (well within the two seconds that the writer waits for it); memory lines after the pause get
  # a message of their own.
  foreach(jobs 1 2)
    row(1 "${nomatch}<stdin>:2: expected the memory lines of an entry before the input paused, found this one after the pause\n${nomatch}" ""
        "rm -f $W/live; { echo '${E}'; i=0; until grep -q ERROR $W/live 2> /dev/null || [ $i -ge 40 ]; do sleep 0.05; i=$((i+1)); done;
         echo '@10 00'; echo '${E}'; } | $R decode --jobs ${jobs} - > $W/live 2>&1; s=$?; cat $W/live; exit $s")
    # A line that began to arrive before the pause belongs to its entry.
    row(0 " 01 02 ff\n" "" "{ echo '12:00:00.000 l2cap 0x000b 0b0041000300000000003000'; printf '@0030'; sleep 0.3; echo '0000 01 02 ff'; } |
        $R decode --jobs ${jobs} - > $W/partial; s=$?; tail -n 1 $W/partial; exit $s")
  endforeach()

elseif(CHECK STREQUAL "limits")
  # Under an address-space limit: threads that cannot all be started, and a line longer than the
  # memory there is, which ends its input after the entry before it.
  row(0 "${G}" "" [=[ulimit -v 100000 && $R decode --jobs 64 $S]=])
  row(2 "${nomatch}" "rizorod: <stdin>: out of memory after line 1\n"
      [=[{ echo "12:00:00.000 dm 0xffff 00"; head -c 300000000 /dev/zero | tr '\0' 0; } | (ulimit -v 200000 && $R decode)]=])
  # Runs of lines that are not held: memory lines before the first entry, and 60 MB of comment
  # and blank lines (one of them 40 MB long) between an entry line and its memory line; line
  # numbers stay right.
  row(1 " 01 02 ff\n" "${WORK}/runs.cap:1: expected an entry line before this memory line, found none
${WORK}/runs.cap:3000004: expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"\n"
      [=[{ yes '@10 00' | head -n 1000000; echo '12:00:00.000 l2cap 0x000b 0b0041000300000000003000'; yes '# comment' | head -n 1000000;
           head -c 40000000 /dev/zero | tr '\0' '#'; echo; yes '' | head -n 1000000; echo '@00300000 01 02 ff'; echo hci; } > $W/runs.cap &&
         (ulimit -v 60000 && $R decode $W/runs.cap > $W/runs.out); s=$?; tail -n 1 $W/runs.out; rm $W/runs.*; exit $s]=])
  # Peak memory with long entries at every position among short ones does not grow with jobs.
  find_program(TIME_PROGRAM time PATHS /usr/bin NO_DEFAULT_PATH)
  if(TIME_PROGRAM)
    row(0 "" "" [=[{ printf '12:00:00.000 dm 0xffff'; head -c 262144 /dev/zero | od -An -v -tx1 | tr -d '\n'; echo; } > $W/long &&
        for i in $(seq 64); do for k in $(seq 16); do [ $k = $((i % 16 + 1)) ] && cat $W/long || echo "12:00:00.000 dm 0xffff 00"; done; done > $W/long.cap &&
        for j in 1 4; do /usr/bin/time -f %M -o $W/rss $R decode --jobs $j $W/long.cap > /dev/null && [ $(cat $W/rss) -lt 24000 ] || exit 1; done]=])
  endif()

elseif(CHECK STREQUAL "writer")
  # writer-source: the pair into a folder it makes, again over its own files; a file it did not
  # write, or a folder where a file goes, is refused with nothing written or left behind, unless
  # --force; no folder is a usage error.
  set(refused "exists and is not a file written by rizorod writer-source; --force replaces it\n")
  row(0 "rizorod_capture.c\nrizorod_capture.h\n2\n" "" [=[cd $W && $R writer-source a/b && $R writer-source a/b && ls -A a/b &&
      grep -l 'Written by `rizorod writer-source`' a/b/* | wc -l]=])
  row(2 "" "rizorod: c/rizorod_capture.c: ${refused}" [=[cd $W && mkdir c && echo mine > c/rizorod_capture.c && $R writer-source c]=])
  row(0 "mine\nrizorod_capture.c\n" "" [=[cd $W && cat c/rizorod_capture.c && ls -A c]=])
  row(0 "2\n" "" [=[cd $W && echo mine > c/rizorod_capture.h && $R writer-source --force c && grep -l 'Written by' c/* | wc -l]=])
  row(2 "rizorod_capture.h\n" "rizorod: d/rizorod_capture.h: is a directory\n"
      [=[cd $W && mkdir -p d/rizorod_capture.h && $R writer-source --force d; s=$?; ls -A d; exit $s]=])
  row(2 "" "+" [=[cd $W && touch f && $R writer-source f]=])
  row(2 "" "+" [=[$R writer-source]=])
elseif(CHECK STREQUAL "pairs")
  # Requests matched with their answers: small captures whose pairings are known, in order,
  # interleaved on two connections, with a missing confirm, a confirm without a request, HCI
  # commands completed out of order, a failed status, the same request twice (first in, first
  # out), midnight between a request and its answer, dates the capture clock carries, and a
  # link-mode command answered by a mode change. A, B: two device addresses.
  set(A "20 1f 6a 00 7c 00 12 00")  # 00:12:7C:6A:1F:20
  set(B "33 22 11 00 44 00 66 55")  # 55:66:44:11:22:33
  function(req t addr)  # DM_ACL_CONNECT_REQ_T
    set(line "${t} dm 03 20 00 00 ${${addr}} 18 cc\n" PARENT_SCOPE)
  endfunction()
  function(cfm t addr status)  # DM_ACL_CONNECT_CFM_T
    set(line "${t} dm 04 20 01 00 ${status} 00 29 00 ${${addr}} 00\n" PARENT_SCOPE)
  endfunction()
  function(capture name)  # capture(NAME LINE-MAKER ARGS ; ...): one entry per group of arguments
    set(text "")
    set(args ${ARGN})
    while(args)
      list(FIND args ";" end)
      list(POP_FRONT args maker t addr)
      if(maker STREQUAL "cfm")
        list(POP_FRONT args status)
        cfm(${t} ${addr} ${status})
      else()
        req(${t} ${addr})
      endif()
      string(APPEND text "${line}")
    endwhile()
    file(WRITE ${WORK}/${name}.cap "${text}")
  endfunction()
  capture(order req 12:00:00.000 A cfm 12:00:00.250 A 00)
  capture(two req 12:00:00.000 A req 12:00:00.010 B cfm 12:00:00.100 B 00 cfm 12:00:00.400 A 00)
  capture(missing req 12:00:00.000 A req 12:00:00.010 B cfm 12:00:00.100 B 00)
  capture(orphan cfm 12:00:00.000 A 00)
  capture(failed req 12:00:00.000 A cfm 12:00:01.000 A 05)
  capture(fifo req 12:00:00.000 A req 12:00:00.100 A cfm 12:00:00.300 A 00 cfm 12:00:00.700 A 00)
  capture(midnight req 23:59:59.900 A cfm 00:00:00.100 A 00)
  capture(dated req 2024-05-14T23:59:59.900 A cfm 2024-05-15T00:00:00.100 A 00)
  capture(early req 12:00:00.010 A cfm 12:00:00.000 A 00)
  capture(clock req 2024-05-14T13:00:00.000 A req 00:00:00.000 B cfm 12:00:00.000 A 00)
  # HCI_READ_CLOCK_OFFSET_T for A, then for B, completed B first; then two commands answered by
  # status-only completions of their group, in order.
  file(WRITE ${WORK}/hci.cap "12:00:00.000 dm 1f 04 02 00 29 00 00 00 ${A}\n12:00:00.001 dm 1f 04 02 00 2a 00 00 00 ${B}
12:00:00.020 dm 2c 04 01 00 00 00 00 00 ${B} 34 12\n12:00:00.030 dm 2c 04 01 00 00 00 00 00 ${A} 78 56
12:00:01.000 dm 03 0c 00 00\n12:00:01.001 dm 1a 0c 01 00 03\n12:00:01.040 dm 0x0c41 41 0c 01 00 00\n12:00:01.050 dm 0x0c51 51 0c 01 00 00\n")
  # HCI_SNIFF_MODE_T for A; a mode change for B that nothing asked for; A's mode change.
  file(WRITE ${WORK}/mode.cap "12:00:00.000 dm 03 08 0a 00 29 00 00 00 ${A} 20 03 90 01 04 00 01 00
12:00:00.100 dm 0f 08 01 00 00 00 00 00 ${B} 02 00 20 03\n12:00:00.500 dm 0f 08 01 00 00 00 00 00 ${A} 02 00 20 03\n")
  set(sum "latency (ms)                                        pairs          p50          p90          p99          max
dm  DM_ACL_CONNECT_REQ_T -> DM_ACL_CONNECT_CFM_T        1      250.000      250.000      250.000      250.000
pairs 1, unanswered 0, unmatched answers 0\n")
  row(0 "pair  dm  DM_ACL_CONNECT_REQ_T -> DM_ACL_CONNECT_CFM_T  ${WORK}/order.cap:1 12:00:00.000  ${WORK}/order.cap:2 12:00:00.250  250.000 ms  bd_addr=00:12:7C:6A:1F:20\n${sum}" ""
      [=[$R pairs $W/order.cap]=])
  # Per capture: each pair as request line-answer line:latency, then u:LINE for each unanswered
  # request and o:LINE for each answer that answers nothing.
  set(lines [=[| jq -j 'if .type == "pair" then "\(.request.line)-\(.answer.line):\(.latency_us) " elif .type == "unanswered" then "u:\(.request.line) " elif .type == "unmatched" then "o:\(.answer.line) " else empty end']=])
  foreach(case "order|1-2:250000 " "two|2-3:90000 1-4:400000 " "missing|2-3:90000 u:1 " "orphan|o:1 "
               "failed|1-2:1000000 " "fifo|1-3:300000 2-4:600000 " "midnight|1-2:200000 " "dated|1-2:200000 "
               "early|1-2:-10000 " "clock|1-3:82800000000 u:2 " "hci|2-3:19000 1-4:30000 5-7:40000 6-8:49000 "
               "mode|1-3:500000 ")
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 name)
    list(GET case 1 expected)
    row(0 "${expected}" "" "$R pairs -f json $W/${name}.cap ${lines}")
  endforeach()
  # A status-only completion with commands of two kinds waiting says that its pair is a guess.
  row(0 "5-7:2 " "" [=[$R pairs -f json $W/hci.cap | jq -j 'select(.guessed_among) | "\(.request.line)-\(.answer.line):\(.guessed_among) "']=])
  row(0 "1\n" "" [=[$R pairs $W/hci.cap | grep -c 'HCI_RESET_T.*  40.000 ms  guessed: the oldest of 2 kinds waiting$']=])
  # --date dates a capture that has none; the answer after midnight falls on the next day.
  row(0 "2024-05-15 200000" "" [=[$R pairs -f json --date 2024-05-14 $W/midnight.cap | jq -j 'select(.type == "pair") | "\(.answer.date) \(.latency_us)"']=])
  # A failed status is shown with its label; in JSON it is the answer's status.
  row(0 "1\n" "" [=[$R pairs $W/failed.cap | grep -c '  1000.000 ms  status=0x5  bd_addr=00:12:7C:6A:1F:20$']=])
  row(0 "5 DM_ACL_CONNECT_CFM_T" "" [=[$R pairs -f json $W/failed.cap | jq -j 'select(.type == "pair") | "\(.answer.status) \(.answer.name)"']=])
  # A request in one file answered in the next: each named by its own file and line.
  row(0 "${WORK}/missing.cap:1 ${WORK}/orphan.cap:1" "" [=[$R pairs -f json $W/missing.cap $W/orphan.cap | jq -j 'select(.type == "pair" and .request.line == 1) | "\(.request.file):1 \(.answer.file):\(.answer.line)"']=])
  # Percentiles by nearest rank over latencies of 100 ms down to 1 ms; pairs without both stamps
  # count as pairs, not as latencies.
  row(0 "102 100 50000 90000 99000 100000" "" [=[for i in $(seq 100 -1 1); do
        printf '12:00:00.000 dm 03 20 00 00 20 1f 6a 00 7c 00 12 00 18 cc\n12:00:00.%03d dm 04 20 01 00 00 00 29 00 20 1f 6a 00 7c 00 12 00 00\n' $i; done > $W/p.cap &&
      printf 'dm 03 20 00 00 20 1f 6a 00 7c 00 12 00 18 cc\ndm 04 20 01 00 00 00 29 00 20 1f 6a 00 7c 00 12 00 00\n' >> $W/p.cap &&
      printf '12:00:00.000 dm 03 20 00 00 20 1f 6a 00 7c 00 12 00 18 cc\ndm 04 20 01 00 00 00 29 00 20 1f 6a 00 7c 00 12 00 00\n' >> $W/p.cap &&
      $R pairs -f json $W/p.cap | jq -j 'select(.type == "latency") | "\(.pairs) \(.timed) \(.p50_us) \(.p90_us) \(.p99_us) \(.max_us)"']=])
  # The example session: its pairs in the order their answers come, hand-checked against the
  # capture, and what is left waiting or answers nothing.
  row(0 "HCI_CHANGE_LOCAL_NAME_T 16000;HCI_INQUIRY_T 2688000;HCI_REMOTE_NAME_REQ_T 332000;DM_ACL_CONNECT_REQ_T 4156000;L2CA_CONNECT_REQ_T 74000;RFC_START_REQ_T 118000;SDC_SERVICE_SEARCH_REQ_T 175000;7 13 1" ""
      [=[$R pairs -f json $S | jq -j 'if .type == "pair" then "\(.request.name) \(.latency_us);" elif .type == "total" then "\(.pairs) \(.unanswered) \(.unmatched)" else empty end']=])
  row(0 "o:76 u:10 u:37 " "" [=[$R pairs -f json $S | jq -j 'select(.request.line == 10 or .request.line == 37 or .type == "unmatched") | if .type == "unmatched" then "o:\(.answer.line) " else "u:\(.request.line) " end']=])
  # The selection chooses the entries that take part.
  row(0 "L2CA_CONNECT_REQ_T -> L2CA_CONNECT_CFM_T;" "" [=[$R pairs -f json -i l2cap $S | jq -j 'select(.type == "pair") | .kind + ";"']=])
  row(0 "0 1 4" "" [=[$R pairs -f json -n 'DM_HCI_*' $S | jq -j 'select(.type == "total") | "\(.pairs) \(.unanswered) \(.unmatched)"']=])
  # Bad entries: the very messages and status of decode, wherever they stand.
  row(1 "" "" [=[{ cat $S; printf 'hci 00\ndm 0x2004 0420\n@zz\n'; cat $W/order.cap; } > $W/bad.cap; $R decode $W/bad.cap 2> $W/decode.err > /dev/null;
      $R pairs $W/bad.cap 2> $W/pairs.err > /dev/null; s=$?; [ -s $W/decode.err ] && cmp $W/decode.err $W/pairs.err && exit $s]=])
  # The rules: every exception of the table names rows that exist, and the rule's forms.
  row(0 "25 HCI_RESET_T:group: DM_ACL_CONNECT_REQ_T:names:bd_addr DM_SM_PIN_REQUEST_IND_T:names:bd_addr L2CA_CONFIG_IND_T:names:cid,identifier " ""
      [=[$R pairs --rules -f json > $W/rules && printf '%s ' $(jq -s '[.[] | select(.source == "exception")] | length' $W/rules) &&
         jq -j 'select(.request | test("^(HCI_RESET|DM_ACL_CONNECT_REQ|DM_SM_PIN_REQUEST_IND|L2CA_CONFIG_IND)_T$")) | "\(.request):\(.source):\(.on | join(",")) "' $W/rules]=])

elseif(CHECK STREQUAL "report")
  # The report's file: written whole through a temporary file beside it, never over an input,
  # never in part; bad entries reported as decode reports them, and the report still written.
  set(keep [=[printf keep > $W/out.html]=])
  set(kept [=[&& [ "$(cat $W/out.html)" = keep ] && [ -z "$(ls -A $W | grep '^\.')" ]]=])
  row(0 "" "" [=[$R report $S -o $W/s.html && head -c 15 $W/s.html | grep -qx '<!DOCTYPE html>' && [ -z "$(ls -A $W | grep '^\.')" ] &&
      ! grep -qiE '(src|href)="?(https?:)?//' $W/s.html]=])
  row(0 "" "" [=[$R report - -o $W/stdin.html < $S && $R report -o - < $S | cmp - $W/stdin.html]=])
  row(2 "" "rizorod: ${WORK}/in.cap: is the same file as the input ${WORK}/in.cap; the output must be another file\n" [=[cp $S $W/in.cap && $R report $S $W/in.cap -o $W/in.cap; s=$?; cmp -s $S $W/in.cap && exit $s]=])
  row(2 "" "rizorod: ${WORK}/in.cap: is the same file as the input <stdin>; the output must be another file\n" [=[$R report -o $W/in.cap < $W/in.cap; s=$?; cmp -s $S $W/in.cap && exit $s]=])
  row(2 "" "rizorod: ${WORK}/link.html: is the same file as the input ${WORK}/in.cap; the output must be another file\n" [=[ln -sf in.cap $W/link.html && $R report $W/in.cap -o $W/link.html; s=$?; cmp -s $S $W/in.cap && [ -L $W/link.html ] && exit $s]=])
  row(2 "" "rizorod: ${WORK}/nope.cap: cannot open: No such file or directory\nrizorod: ${WORK}/out.html: left as it was\n" "${keep}; $R report $S $W/nope.cap -o $W/out.html --force; s=$?; true ${kept} && exit $s")
  row(3 "" "rizorod: ${WORK}/no/out.html: cannot create: No such file or directory\n" [=[$R report $S -o $W/no/out.html]=])
  row(2 "" "rizorod: ${WORK}/d: is a directory\n" "mkdir -p $W/d && $R report $S -o $W/d; s=$?; [ -d $W/d ] && [ -z \"$(ls -A $W | grep '^\\.')\" ] && exit $s")
  row(2 "" "rizorod: ${WORK}/out.html: exists and is not a page written by rizorod report; --force replaces it\n"
      "${keep}; $R report $S -o $W/out.html; s=$?; true ${kept} && exit $s")
  row(0 "" "" [=[$R report $S -o $W/f.html && $R report $S -o $W/f.html && printf keep > $W/f.html && $R report $S -o $W/f.html --force &&
      head -c 15 $W/f.html | grep -qx '<!DOCTYPE html>']=])
  row(1 "" "" [=[{ cat $S; printf 'hci 00\ndm 0x2004 0420\n@zz\n'; } > $W/bad.cap; $R decode $W/bad.cap 2> $W/decode.err > /dev/null;
      $R report $W/bad.cap -o $W/bad.html 2> $W/report.err; s=$?; [ -s $W/bad.html ] && cmp $W/decode.err $W/report.err && exit $s]=])
  # The page keeps its size whatever the capture's length: the charts draw the first entries and
  # the rest is counted.
  set(make "python3 ${EXAMPLES}/../bench/make_capture.py")
  row(0 "" "" "${make} 36000 $W/36k.cap && ${make} 360000 $W/360k.cap && $R report $W/36k.cap -o $W/36k.html && $R report $W/360k.cap -o $W/360k.html &&
      a=$(stat -c %s $W/36k.html) && b=$(stat -c %s $W/360k.html) && [ $b -lt 1000000 ] && [ $b -lt $((a + a / 10)) ]")

elseif(CHECK STREQUAL "report_scale")
  # A capture of a million entries reports in under 5 seconds, in under 20 MB.
  row(0 "" "+" "python3 ${EXAMPLES}/../bench/make_capture.py 1000000 $W/1m.cap && s=$(date +%s%N) && $R report $W/1m.cap -o $W/1m.html &&
      t=$((($(date +%s%N) - s) / 1000000)) && echo \"1000000 entries: $t ms, $(stat -c %s $W/1m.html) bytes\" >&2 && [ $t -lt 5000 ] &&
      [ $(stat -c %s $W/1m.html) -lt 20000000 ] && rm $W/1m.cap")

else()
  message(FATAL_ERROR "unknown check ${CHECK}")
endif()
message(STATUS "${CHECK}: ${rows} rows")
