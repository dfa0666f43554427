# i386 executables run natively where the kernel can run them; on an x86-64
# kernel without 32-bit support they run under qemu-i386 (user-mode emulation).
# Either way, LeakSanitizer stays off: it cannot stop the world under qemu,
# and the driver allocates nothing.
set(_probe_dir ${CMAKE_BINARY_DIR}/i386-probe)
file(WRITE ${_probe_dir}/probe.c "int main(void) { return 0; }\n")
execute_process(COMMAND ${CMAKE_C_COMPILER} -m32 ${_probe_dir}/probe.c -o ${_probe_dir}/probe
                RESULT_VARIABLE _i386_compiled OUTPUT_QUIET ERROR_QUIET)
if(NOT _i386_compiled EQUAL 0)
  message(FATAL_ERROR "cannot build i386 executables: install g++-multilib")
endif()
execute_process(COMMAND ${_probe_dir}/probe RESULT_VARIABLE _i386_ran OUTPUT_QUIET ERROR_QUIET)
set(ZEL_I386_ENV "ASAN_OPTIONS=detect_leaks=0")
if(_i386_ran EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${ZEL_I386_ENV})
  message(STATUS "i386 executables run natively")
else()
  find_program(ZEL_QEMU_I386 qemu-i386 REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${ZEL_I386_ENV} ${ZEL_QEMU_I386})
  message(STATUS "i386 executables run under ${ZEL_QEMU_I386}")
endif()
