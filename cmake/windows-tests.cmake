# SPDX-License-Identifier: Apache-2.0
# Whether this machine can run the Windows test programs: Wine must be installed and must run a
# program of this build's architecture (Debian's 64-bit Wine alone runs no 32-bit program, and a
# kernel without 32-bit support runs no 32-bit Wine). When it cannot, no test program is
# registered and one test reports that they were skipped and why, in its name and its output.
set(RIZ_WINDOWS_SKIP_REASON "")
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(RIZ_WINDOWS_SKIP_REASON "wine is not installed (scripts/test-windows.sh installs it)")
  set(riz_wine_short "wine is not installed")
else()
  # A fresh Wine prefix is made on this first run; it may take a while, or hang.
  try_compile(riz_wine_probe_built ${CMAKE_BINARY_DIR}/wine-probe
              SOURCES ${PROJECT_SOURCE_DIR}/cmake/probe.cpp LINK_OPTIONS -static
              COPY_FILE ${CMAKE_BINARY_DIR}/wine-probe.exe)
  if(NOT riz_wine_probe_built)
    message(FATAL_ERROR "cmake/probe.cpp does not build as a Windows program")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all
                          ${CMAKE_CROSSCOMPILING_EMULATOR} ${CMAKE_BINARY_DIR}/wine-probe.exe
                  RESULT_VARIABLE riz_wine_rc OUTPUT_VARIABLE riz_wine_out
                  ERROR_VARIABLE riz_wine_out TIMEOUT 300)
  if(NOT riz_wine_rc EQUAL 0)
    string(REGEX REPLACE "[ \t\r\n]+" " " riz_wine_out "${riz_wine_out}")
    string(STRIP "${riz_wine_out}" riz_wine_out)
    set(riz_wine_short "wine cannot run ${CMAKE_SYSTEM_PROCESSOR} programs here")
    set(RIZ_WINDOWS_SKIP_REASON "${CMAKE_CROSSCOMPILING_EMULATOR} cannot run a \
${CMAKE_SYSTEM_PROCESSOR} Windows program on this machine (${riz_wine_rc}: ${riz_wine_out})")
    unset(CMAKE_CROSSCOMPILING_EMULATOR)
  endif()
endif()
if(RIZ_WINDOWS_SKIP_REASON)
  message(STATUS "Windows test programs are built but not run: ${RIZ_WINDOWS_SKIP_REASON}")
else()
  message(STATUS "Windows test programs run under ${CMAKE_CROSSCOMPILING_EMULATOR}")
endif()

# After enable_testing(): the one test that stands for the test programs that cannot run here.
function(riz_windows_skip_test)
  if(RIZ_WINDOWS_SKIP_REASON)
    set(name "Windows tests skipped: ${riz_wine_short}")
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "${name} (${RIZ_WINDOWS_SKIP_REASON})")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "^Windows tests skipped")
  endif()
endfunction()
