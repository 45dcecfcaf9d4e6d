# SPDX-License-Identifier: Apache-2.0
# riz_embed_text(INPUT OUTPUT NAME): makes OUTPUT, a C++ include that defines
#   constexpr char NAME[] = R"riz_embed(<the text of INPUT>)riz_embed";
# so that a program carries a text file written as a file of its own (a Lua plugin's fixed part,
# a page template). Made when CMake configures, and again whenever INPUT changes.
function(riz_embed_text input output name)
  file(READ ${input} text)
  if(text MATCHES "\\)riz_embed\"")
    message(FATAL_ERROR "${input} holds the raw string's end, )riz_embed\"")
  endif()
  file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${input})
  set(code "// Made by CMake from ${shown}; edit that file instead.\nconstexpr char ${name}[] = R\"riz_embed(${text})riz_embed\";\n")
  if(EXISTS ${output})
    file(READ ${output} old)
  endif()
  if(NOT old STREQUAL code)
    file(WRITE ${output} "${code}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
endfunction()
