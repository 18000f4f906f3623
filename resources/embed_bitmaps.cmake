# Writes the button bitmaps into a C++ source as byte arrays, so the program
# carries them inside itself. Run by the build:
#   cmake -DSOURCE_DIR=<resources/bitmaps> -DOUTPUT=<file.cpp> -P embed_bitmaps.cmake
set(bitmaps
  buttonRestart button_restart.bmp
  buttonExit button_exit.bmp
  buttonNext button_next.bmp
  buttonSelectAll button_select_all.bmp
  buttonUnselectAll button_unselect_all.bmp)

set(text "// Made by resources/embed_bitmaps.cmake from resources/bitmaps; edit the .bmp files, not this.\n")
string(APPEND text "#include <cstddef>\n#include <cstdint>\n\nnamespace resources::embedded {\n")
list(LENGTH bitmaps count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET bitmaps ${i} symbol)
  list(GET bitmaps ${j} file)
  file(READ "${SOURCE_DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A 64-byte line each; the trailing 0 keeps an empty file a valid array.
  string(REGEX REPLACE "((0x..,){64})" "\\1\n    " bytes "${bytes}")
  string(APPEND text "extern const uint8_t ${symbol}[] = {\n    ${bytes}0};\n")
  string(APPEND text "extern const size_t ${symbol}Size = ${size};\n\n")
endforeach()
string(APPEND text "}  // namespace resources::embedded\n")
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
