# Turns a file into a C++ function returning its bytes:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=name -P embed.cmake
# The function is defined in namespace thermo::resources and declared in
# resources/embedded.h.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# 32 bytes to a line keeps the generated source readable in a debugger.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" body "${body}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${name} by embed.cmake; do not edit.
#include \"resources/embedded.h\"

namespace thermo::resources {

namespace {
const unsigned char kData[${size}] = {
${body}
};
} // namespace

std::span<const unsigned char> ${FUNCTION}() { return {kData, sizeof kData}; }

} // namespace thermo::resources
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
