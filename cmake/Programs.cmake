# DOS programs of our own for full-screen sessions, assembled at build time
# with nasm (Debian's, installed by scripts/setup.sh).
find_program(ZEL_NASM nasm REQUIRED)

# zel_program(NAME SOURCE): SOURCE assembled into the .COM image
# ${CMAKE_BINARY_DIR}/programs/NAME.com, and its bytes as a C initializer
# list in programs/NAME.inc (include directory ${CMAKE_BINARY_DIR}), for
# executables that carry the program in themselves. Target program_NAME.
function(zel_program name source)
  set(dir ${CMAKE_BINARY_DIR}/programs)
  add_custom_command(
    OUTPUT ${dir}/${name}.com ${dir}/${name}.inc
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${ZEL_NASM} -f bin -o ${dir}/${name}.com ${source}
    COMMAND ${CMAKE_COMMAND} -DIN=${dir}/${name}.com -DOUT=${dir}/${name}.inc -P
            ${CMAKE_SOURCE_DIR}/cmake/EmbedBytes.cmake
    DEPENDS ${source} ${CMAKE_SOURCE_DIR}/cmake/EmbedBytes.cmake
    COMMENT "Assembling ${name}.com")
  add_custom_target(program_${name} DEPENDS ${dir}/${name}.com ${dir}/${name}.inc)
endfunction()
