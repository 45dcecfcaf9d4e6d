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
  row(0 "1\n" "" "$R decode --since 2024-05-14 $S ${n}")
  row(1 "0\n" "" "$R decode --until 2024-05-13T23:59 $S ${n}")
  row(0 "DM_ACL_CONNECT_CFM_T DM_ACL_DATA_SENT_IND_T DM_ACL_DISCONNECT_IND_T " "" "$R decode -f json -w handle=0x29 $S | jq -j '.name + \" \"'")
  row(0 "14\n" "" "$R decode -w uap=124 $S ${n}")
  row(0 "1\n" "" "$R decode -w in_mtu=0x2a0 $S ${n}")
  row(0 "1\n" "" "$R decode -w uap=0x7c -w handle=41 -i dm -n '*CFM*' --until 09:41:16 $S ${n}")
  row(0 "1\n" "" "$R decode -w name_part='Workshop bench unit' $S ${n}")
  # Entries left out are still checked; a refusal is an object of its own in JSON too.
  row(1 "" "<stdin>:1: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2\n" [=[echo 'dm 0x2004 0420' | $R decode -i sdp]=])
  row(1 "{\"file\":\"<stdin>\",\"line\":1,\"error\":\"expected an interface (dm, l2cap, rfcomm or sdp), found \\\"hci\\\"\"}\n" "+" [=[echo 'hci 00' | $R decode -f json]=])
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
  cli("frobnicate" "unknown command 'frobnicate' (the commands: decode, stats, export, dissector, list, help)")
  cli("help decod" "unknown command 'decod'; did you mean 'decode'?")
  cli("help decode extra" "unexpected argument 'extra'")
  cli("--bogus decode" "unknown option '--bogus'")
  cli("decode --bogus $S" "unknown option '--bogus'")
  cli("decode -j 2 --bogus=4 $S" "unknown option '--bogus'")
  cli("stats -q $S" "unknown option '-q'")
  cli("list dm sdp" "unexpected argument 'sdp'")
  cli("export" "missing OUT")
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
  cli("decode -c 0x0g $S" "--code: expected a type code 0x0000 to 0xffff (0x and 1 to 4 hexadecimal digits), found \"0x0g\"")
  cli("decode -c 65536 $S" "--code: expected a type code 0x0000 to 0xffff (0x and 1 to 4 hexadecimal digits), found \"65536\"")
  cli("decode -i dm -c 2004 -x 0420" "--code: expected a type code 0x0000 to 0xffff (0x and 1 to 4 hexadecimal digits), found \"2004\"")
  cli("decode -i dm -c '0x0c4a 4a 0c' -x 0420" "--code: expected a type code 0x0000 to 0xffff (0x and 1 to 4 hexadecimal digits), found \"0x0c4a 4a 0c\"")
  cli("decode -i dm -t garbage -x 0420" "--time: expected a timestamp HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm, found \"garbage\"")
  # The help: `help` as --help; every command's help within 80 columns, free of the argument
  # parser's notation, ending with examples of that command alone and its exit statuses.
  row(0 "" "" [=[[ "$($R help)" = "$($R --help)" ] && [ "$($R help export)" = "$($R export --help)" ]]=])
  row(0 "" "" [=[$R --help > $W/help && for c in '' $(sed -n '/^Commands:/,/^$/s/^  \([a-z]*\).*/\1/p' $W/help); do
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
  row(0 "" "" [=[$R --version | grep -qx 'rizorod [0-9.]*' && $R decode --help | grep -qF -- "-m, --memory '@ADDR BYTES'"]=])
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
  set(binary "not a capture (binary data; compressed captures are read in gzip, xz or zstd)")
  row(2 "${G}" "rizorod: ${WORK}/bin: ${binary}\n" [=[head -c 100000 /bin/sh > $W/bin && $R decode $W/bin $S]=])
  row(2 "" "rizorod: <stdin>: ${binary}\n" [=[printf 'dm 0x2004 0420\000\n' | $R decode]=])

elseif(CHECK STREQUAL "output")
  # A closed pipe stops the tool at once and quietly: killed by SIGPIPE, or status 3 without a
  # message when SIGPIPE is ignored. Any other write error is reported, status 3.
  row(0 "" "status 141\n" [=[for i in $(seq 200); do cat $S; done > $W/200.cap; ($R decode $W/200.cap; echo "status $?" >&2) | head -c 1 > /dev/null]=])
  row(0 "" "status 3\n" [=[(trap '' PIPE; $R decode --jobs 2 $W/200.cap; echo "status $?" >&2) | head -c 1 > /dev/null]=])
  foreach(args "decode $S" "decode --jobs 2 $W/200.cap" "list" "list sdp" "--help" "decode --help" "help stats" "--version")
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
      [=[{ echo "12:00:00.000 dm 0xffff 00"; head -c 300000000 /dev/zero | tr '\0' 0; } | (ulimit -v 200000 && $R decode)]=])
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
