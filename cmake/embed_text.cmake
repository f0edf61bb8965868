# Writes a C++ source that holds a text file as one NUL-terminated constant:
#   cmake -DINPUT=file.js -DOUTPUT=file.cpp -DNAME=kSymbol -P embed_text.cmake
# Bytes, not a raw string, so no text can end the literal early.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(([^,]*,){16})" "\\1\n  " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new"
     "// Made at build time from ${name}; edit that file instead.\n"
     "extern const char ${NAME}[];\n"
     "const char ${NAME}[] = {\n  ${bytes}'\\0'};\n")
# Only a changed text touches the source, so nothing else is compiled again.
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
