# SPDX-License-Identifier: Apache-2.0
# Checks that the shared library exports every member of the class under its own name (the
# operations that the class declares by hand and one decoder per row of every family), and every
# function of the C interface under its plain name, undecorated.
# The demangled symbol list comes from nm (-DNM=, -DLIBRARY=) or from a file (-DSYMBOLS_FILE=).
if(SYMBOLS_FILE)
  file(READ ${SYMBOLS_FILE} symbols)
else()
  execute_process(COMMAND ${NM} -DC --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
  endif()
endif()
set(expected RizOrodOzido ~RizOrodOzido operator=
    debugDMprim debugL2CAPprim debugRFCOMMprim debugSDPprim
    debug_DM_UPRIM_T debug_L2CA_UPRIM_T debug_RFCOMM_UPRIM_T debug_SDC_UPRIM_T no_matching_prim
    add_indent add_str_to_monster_buf add_to_monster_buf start_prim
    debug_uint8_t debug_bool_t debug_int8_t debug_uint16_t debug_enum debug_uint32_t
    debug_int32_t debug_uint24_t debug_ptr namelen debug_printName debug_customDebug debug_BD_ADDR_T
    debug_customWriteLPSettings debug_IP_ADDR)
# Every row's decoder.
file(GLOB defs ${SOURCE_DIR}/include/RizOrodOzido/rows/*/*.def)
foreach(def ${defs})
  file(READ ${def} text)
  string(REGEX MATCHALL "(PRIM\\([^,]+,|RECORD\\()[ \t\n]*[A-Z_0-9]+" rows "${text}")
  foreach(row ${rows})
    string(REGEX REPLACE ".*[ (,\t\n]([A-Z_0-9]+)$" "\\1" name "${row}")
    list(APPEND expected "debug_${name}")
  endforeach()
endforeach()
set(missing "")
foreach(member ${expected})
  string(REGEX REPLACE "([][+*.^$()~=])" "\\\\\\1" pattern "${member}")
  if(NOT symbols MATCHES "RizOrodOzido::${pattern}(\\[abi:[a-z0-9]+\\])?\\(")
    list(APPEND missing ${member})
  endif()
endforeach()
list(LENGTH expected count)
# The C functions, as include/RizOrodOzido/rizorod.h declares them, under their plain names.
file(STRINGS ${SOURCE_DIR}/include/RizOrodOzido/rizorod.h declarations REGEX "RIZOROD_CALL rizorod_")
string(REGEX MATCHALL "rizorod_[a-z_]+\\(" functions "${declarations}")
list(LENGTH functions c_count)
if(c_count EQUAL 0)
  list(APPEND missing "the functions of include/RizOrodOzido/rizorod.h (none found there)")
endif()
foreach(name ${functions})
  string(REPLACE "(" "" name ${name})
  if(NOT symbols MATCHES "(^|[ \n])${name}(\n|$)")
    list(APPEND missing ${name})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not exported: ${missing}")
endif()
message(STATUS "all ${count} members and ${c_count} C functions exported")
