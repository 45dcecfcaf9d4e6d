# SPDX-License-Identifier: Apache-2.0
# Writes the rizorod tool's man pages from its own help with help2man, gzipped, into OUT:
# rizorod.1.gz, and rizorod-NAME.1.gz for every command that `rizorod --help` lists (its
# summary, usage, arguments, options, exit statuses and examples, from `rizorod NAME --help`).
# The help's example and exit-status blocks become roff of their own, one command a line and one
# status a paragraph, where help2man would run their lines together.
# DOCS is the folder where the docs are installed.
#   cmake -DTOOL=path/to/rizorod -DHELP2MAN=help2man -DVERSION=x.y.z -DDOCS=dir -DOUT=dir -P man-pages.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)

# The lines of the block that follows "TITLE:" in `text`, up to an empty line, in roff: blanks
# and backslashes kept, minus signs as \-, a line that would be a request made text.
function(help_block text title var)
  string(FIND "${text}" "\n${title}:\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no '${title}:' block in the help of ${TOOL}")
  endif()
  string(LENGTH "\n${title}:" skip)
  math(EXPR at "${at} + ${skip}")
  string(SUBSTRING "${text}\n\n" ${at} -1 block)
  string(FIND "${block}" "\n\n" end)
  string(SUBSTRING "${block}" 0 ${end} block)
  string(REPLACE "\\" "\\e" block "${block}")
  string(REPLACE "-" "\\-" block "${block}")
  string(REGEX REPLACE "\n +([.'])" "\n  \\\\&\\1" block "${block}")
  set(${var} "${block}" PARENT_SCOPE)
endfunction()

# The include file of a page: its examples one a line, its exit statuses one a paragraph, and
# what to add to SEE ALSO.
function(write_include text file see_also)
  help_block("${text}" "Examples" examples)
  string(REGEX REPLACE "\n  " "\n" examples "${examples}")
  help_block("${text}" "Exit status" statuses)
  string(REGEX REPLACE "\n  ([0-9]+)  " "\n.TP\n.B \\1\n" statuses "${statuses}")
  string(REGEX REPLACE "\n     " "\n" statuses "${statuses}")
  file(WRITE ${file} "[=EXAMPLES]\n.nf${examples}\n.fi\n[=EXIT STATUS]${statuses}\n[SEE ALSO]\n${see_also}\n")
endfunction()

# The names in the "Commands:" block: two blanks, then the name.
string(REGEX MATCH "\nCommands:\n(.*)" block "\n${help}")
string(FIND "${block}" "\n\n" end)
string(SUBSTRING "${block}" 0 ${end} block)
string(REGEX MATCHALL "\n  [a-z][-a-z0-9]*" names "${block}")
list(TRANSFORM names REPLACE "^\n  " "")
if(NOT names)
  message(FATAL_ERROR "no commands found in the help of ${TOOL}")
endif()

set(pages "")
set(refs "")
foreach(name ${names})
  list(APPEND pages rizorod-${name})
  list(APPEND refs ".BR rizorod-${name} (1)")
  # Its NAME line: the summary under its usage line.
  execute_process(COMMAND ${TOOL} ${name} --help OUTPUT_VARIABLE sub COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "^Usage:[^\n]*\n\n([^\n]*)" what "${sub}")
  string(SUBSTRING "${CMAKE_MATCH_1}" 0 1 first)
  string(SUBSTRING "${CMAKE_MATCH_1}" 1 -1 what)
  string(TOLOWER "${first}" first)
  set(what "${first}${what}")
  write_include("${sub}" ${OUT}/rizorod-${name}.h2m ".BR rizorod (1)")
  execute_process(COMMAND ${HELP2MAN} --no-info "--help-option=${name} --help"
                          "--version-string=rizorod-${name} ${VERSION}" "--name=${what}"
                          --include=${OUT}/rizorod-${name}.h2m --output=${OUT}/rizorod-${name}.1 ${TOOL}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
list(JOIN refs ",\n" refs)
write_include("${help}" ${OUT}/rizorod.h2m "${refs}\n.PP\nThe capture format: ${DOCS}/docs/CAPTURE\\-FORMAT.md")
execute_process(COMMAND ${HELP2MAN} --no-info
                        "--name=decode the primitives of a Bluetooth host stack from capture files"
                        --include=${OUT}/rizorod.h2m --output=${OUT}/rizorod.1 ${TOOL}
                COMMAND_ERROR_IS_FATAL ANY)
foreach(page rizorod ${pages})
  execute_process(COMMAND gzip -9n -c ${OUT}/${page}.1 OUTPUT_FILE ${OUT}/${page}.1.gz
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
