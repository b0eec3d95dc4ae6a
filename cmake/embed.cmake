# Writes a C++ source defining `std::string_view NAMESPACE::FUNCTION()` that
# returns the bytes of INPUT exactly, for data files compiled into a library:
#   cmake -DINPUT=f -DOUTPUT=f.cc -DNAMESPACE=ns -DFUNCTION=Name -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
# Sixteen bytes to a line of the array.
set(lines "")
set(at 0)
while(at LESS hex_length)
  string(SUBSTRING "${hex}" ${at} 32 chunk)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1', " chunk "${chunk}")
  string(APPEND lines "    ${chunk}\n")
  math(EXPR at "${at} + 32")
endwhile()
get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}"
"// Generated at build time from ${input_name}; edit that file instead.
#include <string_view>

namespace ${NAMESPACE} {
namespace {

constexpr char kBytes[${size} + 1] = {
${lines}    '\\0'};

}  // namespace

std::string_view ${FUNCTION}() { return {kBytes, ${size}}; }

}  // namespace ${NAMESPACE}
")
