# cmake -DIN=FILE -DOUT=FILE.inc -P EmbedBytes.cmake: the bytes of IN as
# "0x.., 0x.., ..." for a C initializer list.
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT} "${bytes}\n")
