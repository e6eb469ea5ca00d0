# Writes the bytes of IN as a C array NAME (and NAME_size) into OUT.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "/* Generated from ${IN}; do not edit. */\nconst unsigned char ${NAME}[] = {\n${bytes}0x00};\nconst unsigned long ${NAME}_size = ${size};\n")
