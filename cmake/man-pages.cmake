# SPDX-License-Identifier: Apache-2.0
# Writes the rizorod tool's man pages from its own help with help2man, gzipped, into OUT:
# rizorod.1.gz, and rizorod-NAME.1.gz for every subcommand that `rizorod --help` lists (its
# description, usage, arguments and options, from `rizorod NAME --help`).
# DOCS is the folder where the docs are installed.
#   cmake -DTOOL=path/to/rizorod -DHELP2MAN=help2man -DVERSION=x.y.z -DDOCS=dir -DOUT=dir -P man-pages.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
# The names in the "Subcommands:" block: two blanks, then the name (a long one stands alone).
string(REGEX MATCH "\nSubcommands:\n(.*)" block "\n${help}")
string(FIND "${block}" "\n\n" end)
string(SUBSTRING "${block}" 0 ${end} block)
string(REGEX MATCHALL "\n  [a-z][-a-z0-9]*" names "${block}")
list(TRANSFORM names REPLACE "^\n  " "")
if(NOT names)
  message(FATAL_ERROR "no subcommands found in the help of ${TOOL}")
endif()

set(pages "")
set(refs "")
foreach(name ${names})
  list(APPEND pages rizorod-${name})
  list(APPEND refs ".BR rizorod-${name} (1)")
  # Its NAME line: the description that opens its help, up to the usage line.
  execute_process(COMMAND ${TOOL} ${name} --help OUTPUT_VARIABLE sub COMMAND_ERROR_IS_FATAL ANY)
  string(FIND "${sub}" "\nUsage:" usage)
  string(SUBSTRING "${sub}" 0 ${usage} what)
  string(REPLACE "\n" " " what "${what}")
  file(WRITE ${OUT}/rizorod-${name}.h2m "[SEE ALSO]\n.BR rizorod (1)\n")
  execute_process(COMMAND ${HELP2MAN} --no-info "--help-option=${name} --help"
                          "--version-string=rizorod-${name} ${VERSION}" "--name=${what}"
                          --include=${OUT}/rizorod-${name}.h2m --output=${OUT}/rizorod-${name}.1 ${TOOL}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
list(JOIN refs ",\n" refs)
file(WRITE ${OUT}/rizorod.h2m "[SEE ALSO]\n${refs}\n.PP\nThe capture format: ${DOCS}/docs/CAPTURE\\-FORMAT.md\n")
execute_process(COMMAND ${HELP2MAN} --no-info
                        "--name=decode the primitives of a Bluetooth host stack from capture files"
                        --include=${OUT}/rizorod.h2m --output=${OUT}/rizorod.1 ${TOOL}
                COMMAND_ERROR_IS_FATAL ANY)
foreach(page rizorod ${pages})
  execute_process(COMMAND gzip -9n -c ${OUT}/${page}.1 OUTPUT_FILE ${OUT}/${page}.1.gz
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
