# Writes OUT: the bytes of IN as the array NAME (and NAME##Size) in ombrix::server.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT}.tmp "// Generated at build time.\n#include <cstddef>\n\nnamespace ombrix::server {\n\nextern const unsigned char ${NAME}[] = {${bytes}0};\nextern const size_t ${NAME}Size = ${size};\n\n}  // namespace ombrix::server\n")
file(RENAME ${OUT}.tmp ${OUT})
