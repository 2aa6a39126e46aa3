# Writes OUT, a C++ source holding the files of FILES (paths relative to ROOT, separated by
# '|') as byte arrays with a table to look them up by that path. Every array ends with an
# extra zero byte, so text files can be used as C strings; the size does not count it.
string(REPLACE "|" ";" files "${FILES}")
set(body "")
set(table "")
set(index 0)
foreach(f IN LISTS files)
  file(READ "${ROOT}/${f}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n" bytes "${bytes}")
  string(APPEND body "alignas(16) const unsigned char k${index}[] = {\n${bytes}0x00};\n")
  string(APPEND table "    {\"${f}\", k${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUT}.tmp"
"// Made by render/embed_files.cmake at build time; do not edit.
#include \"render/embedded_files.h\"

namespace plashwerk {
namespace {
${body}}  // namespace

const EmbeddedFile kEmbeddedFiles[] = {
${table}};
const size_t kEmbeddedFileCount = ${index};

}  // namespace plashwerk
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
