# Writes the driver's entries of a compile database into another one, for the
# static analysers: the C++ sources of the zel_driver library only (the QEMU
# test kernel compiles some of them a second time), with the GCC-only flags
# clang does not know taken out. The sources go to LIST, one a line.
#   cmake -DIN=<compile_commands.json> -DOUT=<file> -DLIST=<file> -P driver_compile_commands.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${IN}" db)
string(JSON count LENGTH "${db}")
set(out "[")
set(separator "")
set(kept 0)
set(list "")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON entry GET "${db}" ${i})
  string(JSON file GET "${entry}" file)
  string(JSON command GET "${entry}" command)
  if(NOT command MATCHES " -o CMakeFiles/zel_driver\\.dir/" OR NOT file MATCHES "\\.cpp$")
    continue()
  endif()
  # -Wno-restrict silences a GCC 12 false positive; clang has no such warning.
  string(REPLACE " -Wno-restrict" "" command "${command}")
  string(REPLACE "\\" "\\\\" command "${command}")
  string(REPLACE "\"" "\\\"" command "${command}")
  string(JSON entry SET "${entry}" command "\"${command}\"")
  string(APPEND out "${separator}\n${entry}")
  set(separator ",")
  string(APPEND list "${file}\n")
  math(EXPR kept "${kept} + 1")
endforeach()
string(APPEND out "\n]\n")
if(kept EQUAL 0)
  message(FATAL_ERROR "${IN}: no driver sources (is it the default preset's database?)")
endif()
file(WRITE "${OUT}" "${out}")
file(WRITE "${LIST}" "${list}")
