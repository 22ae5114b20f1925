# Writes OUT, a C++ source holding every file of WEB_DIR as bytes, so the demo server
# needs no files beside it, from the build tree or installed.
file(GLOB names RELATIVE "${WEB_DIR}" "${WEB_DIR}/*")
list(SORT names)
set(arrays "")
set(entries "")
set(index 0)
foreach(name IN LISTS names)
  file(READ "${WEB_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char asset${index}[] = {${bytes}0x00};\n")
  string(APPEND entries "    {\"${name}\", std::string_view(reinterpret_cast<const char*>(asset${index}), ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()
set(content "// Generated from demo/web by demo/embed.cmake; edit the files there.
#include \"demo/WebAssets.h\"

#include <utility>

namespace talvo::demo {
namespace {
${arrays}} // namespace

std::optional<std::string_view> webAsset(std::string_view name)
{
    static const std::pair<std::string_view, std::string_view> table[] = {
${entries}    };
    for (const auto& [key, data] : table)
        if (key == name)
            return data;
    return std::nullopt;
}

} // namespace talvo::demo
")
# Only touch the output when it changed, so an unchanged page does not rebuild the server.
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${content}")
