# Turns a text file into a C source defining `char biisi[]` (writable, NUL-terminated).
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" n)
math(EXPR bytes "${n} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" body "${body}")
file(WRITE ${OUT} "/* Generated from song.txt; do not edit. */\n")
file(APPEND ${OUT} "const int biisi_length = ${bytes};\n")
file(APPEND ${OUT} "char biisi[${bytes} + 1] = {\n${body}0x00\n};\n")
