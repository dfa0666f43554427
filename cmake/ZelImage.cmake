# The driver as a Windows NT kernel image, zel.sys, built by mingw-w64 from
# the driver sources alone, and the small probe images the loader tests use.
#
# Included once from the top-level CMakeLists.txt (after the simulator), and
# run again in script mode after every link to check the entry point:
#   cmake -DZEL_CHECK_IMAGE=<image> -DZEL_CHECK_ENTRY=<symbol> -DZEL_NM=<nm>
#         -DZEL_OBJDUMP=<objdump> -P ZelImage.cmake

# ---------------------------------------------------------------------------
# Script mode: the entry point must be the named symbol. A misspelt --entry
# links without complaint and starts the image somewhere else.
if(ZEL_CHECK_IMAGE)
  execute_process(COMMAND ${ZEL_OBJDUMP} -p ${ZEL_CHECK_IMAGE} OUTPUT_VARIABLE headers
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ZEL_CHECK_IMAGE}: objdump -p failed")
  endif()
  string(REGEX MATCH "AddressOfEntryPoint[ \t]+([0-9a-fA-F]+)" _ "${headers}")
  set(entry_rva "${CMAKE_MATCH_1}")
  string(REGEX MATCH "ImageBase[ \t]+([0-9a-fA-F]+)" _ "${headers}")
  set(image_base "${CMAKE_MATCH_1}")
  execute_process(COMMAND ${ZEL_NM} ${ZEL_CHECK_IMAGE} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  string(REPLACE "@" "\\@" symbol_pattern "${ZEL_CHECK_ENTRY}")
  string(REGEX MATCH "([0-9a-fA-F]+) T ${symbol_pattern}\n" _ "${symbols}")
  set(symbol_va "${CMAKE_MATCH_1}")
  if(entry_rva STREQUAL "" OR image_base STREQUAL "" OR symbol_va STREQUAL "")
    message(FATAL_ERROR "${ZEL_CHECK_IMAGE}: no entry point, image base or ${ZEL_CHECK_ENTRY}")
  endif()
  math(EXPR entry_va "0x${image_base} + 0x${entry_rva}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR symbol_va "0x${symbol_va}" OUTPUT_FORMAT HEXADECIMAL)
  if(NOT entry_va EQUAL symbol_va)
    message(FATAL_ERROR "${ZEL_CHECK_IMAGE}: entry point ${entry_va} is not "
                        "${ZEL_CHECK_ENTRY} at ${symbol_va}")
  endif()
  return()
endif()

# ---------------------------------------------------------------------------
# The loader's call thunks are assembly; the simulator's glob takes C++ only.
target_sources(zel_sim PRIVATE ${CMAKE_SOURCE_DIR}/sim/pe/thunks.S)

find_program(ZEL_MINGW_CXX i686-w64-mingw32-g++)
find_program(ZEL_MINGW_DLLTOOL i686-w64-mingw32-dlltool)
find_program(ZEL_MINGW_OBJCOPY i686-w64-mingw32-objcopy)
find_program(ZEL_MINGW_NM i686-w64-mingw32-nm)
find_program(ZEL_MINGW_OBJDUMP i686-w64-mingw32-objdump)
if(NOT ZEL_MINGW_CXX OR NOT ZEL_MINGW_DLLTOOL OR NOT ZEL_MINGW_OBJCOPY OR NOT ZEL_MINGW_NM
   OR NOT ZEL_MINGW_OBJDUMP)
  message(STATUS "i686-w64-mingw32 toolchain not found: zel.sys is not built")
  return()
endif()

set(ZEL_IMAGE_DIR ${CMAKE_BINARY_DIR}/image)
set(ZEL_IMAGE_PATH ${ZEL_IMAGE_DIR}/zel.sys)

# Kernel code: no runtime, no exceptions, no stack probes (the kernel stack
# has no guard pages to touch), no unwind tables, and hot and cold code kept
# together so that every function stays in the section its object is put in.
# NT runs on the 80486: its integer instructions only, and no floating-point
# or vector registers (nothing saves them for a miniport; a floating-point
# operation would become a soft-float call the link cannot resolve). Each
# object's frame sizes and calls go beside it (.ci) for the stack check.
set(_zel_image_cxx_flags
    -std=c++20 -O2 -march=i486 -mgeneral-regs-only -ffreestanding -fno-exceptions -fno-rtti
    -fno-threadsafe-statics -fno-stack-protector -fno-asynchronous-unwind-tables
    -fno-reorder-blocks-and-partition -mno-stack-arg-probe -fcallgraph-info=su -DZEL_NT_IMAGE
    -Wall -Wextra -Werror -I${CMAKE_SOURCE_DIR})
set(_zel_image_link_flags
    -nostdlib -nostartfiles -Wl,--subsystem,native -Wl,--image-base,0x10000
    -Wl,--section-alignment,0x1000 -Wl,--file-alignment,0x200 -Wl,--dynamicbase
    -Wl,--disable-auto-import -Wl,--disable-runtime-pseudo-reloc)

# Compiles `sources` with mingw into `objdir`; objects whose source is not in
# `resident` get their code section renamed to PAGE (pageable). Inline
# functions shared between objects stay in .text: resident code may use them.
function(_zel_image_objects out objdir resident)
  set(objects)
  foreach(src ${ARGN})
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${src})
    set(obj ${objdir}/${rel}.o)
    get_filename_component(dir ${obj} DIRECTORY)
    set(page_step)
    if(NOT src IN_LIST resident)
      set(page_step COMMAND ${ZEL_MINGW_OBJCOPY}
                    --rename-section .text=PAGE,alloc,load,readonly,code,contents ${obj})
    endif()
    if(src MATCHES "\\.S$")
      # The driver's assembly is written for the GNU assembler's ELF output
      # (.type, .size, the GNU-stack note): assemble it as such, refusing
      # anything the 80486 lacks, then convert the object, giving its symbols
      # the C prefix of the PE world.
      set(compile_step
          COMMAND ${CMAKE_ASM_COMPILER} -m32 -Wa,-march=i486 -DZEL_NT_IMAGE -I${CMAKE_SOURCE_DIR}
                  -MD -MF ${obj}.d -c ${src} -o ${obj}.elf
          COMMAND ${ZEL_MINGW_OBJCOPY} -I elf32-i386 -O pe-i386 --remove-section .note.GNU-stack
                  --prefix-symbols=_ ${obj}.elf ${obj})
    else()
      set(compile_step
          COMMAND ${ZEL_MINGW_CXX} ${_zel_image_cxx_flags} -MD -MF ${obj}.d -c ${src} -o ${obj})
    endif()
    add_custom_command(
      OUTPUT ${obj}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      ${compile_step}
      ${page_step}
      DEPENDS ${src}
      DEPFILE ${obj}.d
      COMMENT "mingw ${rel}"
      VERBATIM)
    list(APPEND objects ${obj})
  endforeach()
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

# Import library of `def`, named `name`.
function(_zel_image_import_library out def name)
  set(lib ${ZEL_IMAGE_DIR}/lib${name}.a)
  add_custom_command(
    OUTPUT ${lib}
    COMMAND ${ZEL_MINGW_DLLTOOL} --kill-at -d ${def} -l ${lib}
    DEPENDS ${def}
    COMMENT "dlltool ${name}"
    VERBATIM)
  set(${out} ${lib} PARENT_SCOPE)
endfunction()

# Links `image` from the inputs with DriverEntry as its entry point, then
# checks the entry point before the image takes its name.
function(_zel_image_link image)
  set(unchecked ${image}.unchecked)
  add_custom_command(
    OUTPUT ${image}
    COMMAND ${ZEL_MINGW_CXX} ${_zel_image_link_flags} -Wl,--entry,_DriverEntry@8 -o ${unchecked}
            ${ARGN}
    COMMAND ${CMAKE_COMMAND} -DZEL_CHECK_IMAGE=${unchecked} -DZEL_CHECK_ENTRY=_DriverEntry@8
            -DZEL_NM=${ZEL_MINGW_NM} -DZEL_OBJDUMP=${ZEL_MINGW_OBJDUMP}
            -P ${CMAKE_SOURCE_DIR}/cmake/ZelImage.cmake
    COMMAND ${CMAKE_COMMAND} -E rename ${unchecked} ${image}
    DEPENDS ${ARGN} ${CMAKE_SOURCE_DIR}/cmake/ZelImage.cmake
    COMMENT "link ${image}"
    VERBATIM)
endfunction()

_zel_image_import_library(videoprt_lib ${CMAKE_SOURCE_DIR}/image/videoprt.def videoprt)

# ---- zel.sys: the driver sources, and the compiler's helpers.
set(_zel_driver_sources)
foreach(dir miniport detect modes services vdm)
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.S)
  list(APPEND _zel_driver_sources ${found})
endforeach()
# Runs at raised priority or is copied out to the display driver: never paged.
set(_zel_resident ${CMAKE_SOURCE_DIR}/vdm/playback.cpp ${CMAKE_SOURCE_DIR}/image/compiler_helpers.cpp)
foreach(src ${_zel_driver_sources})
  if(src MATCHES "/services/[^/]*\\.S$")
    list(APPEND _zel_resident ${src})
  endif()
endforeach()
# The same code as the image checks (image/check_image.py) see it: the
# playback routine and the bank-switch block, whose every routine reached
# must be in .text.
set(ZEL_IMAGE_RESIDENT_ROOTS --root VgaPlaybackValidatorData --block BankSwitchStart:BankSwitchEnd)
# What the image's call graph cannot show by itself: the dispatcher's
# indirect calls reach the handler column of its table (rows of 12 bytes,
# the handler at 8); two video port services call back the routines their
# caller names; the validator takes a wide write apart into byte writes
# through itself, once.
set(ZEL_IMAGE_CALL_GRAPH
    --table VgaStartIO:kDispatch:12:8 --callback VideoPortInitialize
    --callback VideoPortSynchronizeExecution --recursion Validate=2
    --header ${CMAKE_SOURCE_DIR}/miniport/videoport.h)
_zel_image_objects(zel_objects ${ZEL_IMAGE_DIR}/zel "${_zel_resident}" ${_zel_driver_sources}
                   ${CMAKE_SOURCE_DIR}/image/compiler_helpers.cpp)
_zel_image_link(${ZEL_IMAGE_PATH} ${zel_objects} ${videoprt_lib})
add_custom_target(zel_image ALL DEPENDS ${ZEL_IMAGE_PATH})

# ---- the loader's probe images: one that imports a few video port services
# and carries deliberately wrong routines, one that imports from elsewhere.
_zel_image_objects(probe_objects ${ZEL_IMAGE_DIR}/probe
                   "${CMAKE_SOURCE_DIR}/image/compiler_helpers.cpp"
                   ${CMAKE_SOURCE_DIR}/image/probe/probe.cpp
                   ${CMAKE_SOURCE_DIR}/image/probe/routines.S
                   ${CMAKE_SOURCE_DIR}/image/compiler_helpers.cpp)
_zel_image_link(${ZEL_IMAGE_DIR}/probe.sys ${probe_objects} ${CMAKE_SOURCE_DIR}/image/probe/probe.def
                ${videoprt_lib})
_zel_image_import_library(hal_lib ${CMAKE_SOURCE_DIR}/image/probe/hal.def hal)
_zel_image_objects(foreign_objects ${ZEL_IMAGE_DIR}/foreign ""
                   ${CMAKE_SOURCE_DIR}/image/probe/foreign.cpp)
_zel_image_link(${ZEL_IMAGE_DIR}/foreign.sys ${foreign_objects} ${videoprt_lib} ${hal_lib})
# ... and one that breaks each rule the image checks hold zel.sys to.
_zel_image_objects(breaks_objects ${ZEL_IMAGE_DIR}/breaks
                   "${CMAKE_SOURCE_DIR}/image/probe/breaks_rules.cpp"
                   ${CMAKE_SOURCE_DIR}/image/probe/breaks_rules.cpp)
_zel_image_link(${ZEL_IMAGE_DIR}/breaks_rules.sys ${breaks_objects} ${videoprt_lib})
add_custom_target(zel_probe_images ALL
                  DEPENDS ${ZEL_IMAGE_DIR}/probe.sys ${ZEL_IMAGE_DIR}/foreign.sys
                          ${ZEL_IMAGE_DIR}/breaks_rules.sys)

# The image test finds the images through compile definitions; the suite's
# target exists once tests/ has been read.
function(_zel_image_wire_test)
  if(TARGET image_test)
    target_compile_definitions(
      image_test PRIVATE ZEL_IMAGE_PATH="${ZEL_IMAGE_PATH}"
                         ZEL_PROBE_PATH="${ZEL_IMAGE_DIR}/probe.sys"
                         ZEL_FOREIGN_PATH="${ZEL_IMAGE_DIR}/foreign.sys"
                         ZEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_dependencies(image_test zel_image zel_probe_images)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _zel_image_wire_test)
