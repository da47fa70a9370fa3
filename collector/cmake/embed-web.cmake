# Writes OUT, a C++ source holding the files of the dashboard's web folder (WEB_DIR) as
# string views, so that the collector serves its page without files beside the binary.
#   cmake -DWEB_DIR=... -DOUT=... -P embed-web.cmake
file(GLOB files RELATIVE ${WEB_DIR} ${WEB_DIR}/*)
list(SORT files)
set(body "")
set(table "")
set(n 0)
foreach(name IN LISTS files)
  file(READ ${WEB_DIR}/${name} hex HEX)
  string(LENGTH "${hex}" len)
  math(EXPR size "${len} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  elseif(name MATCHES "\\.svg$")
    set(type "image/svg+xml")
  else()
    set(type "application/octet-stream")
  endif()
  string(APPEND body "static const unsigned char f${n}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${name}\", \"${type}\", std::string_view(reinterpret_cast<const char*>(f${n}), ${size})},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUT}.tmp "// Generated from collector/web by embed-web.cmake; do not edit.
#include \"WebAssets.h\"

#include <cstring>

namespace collector {
namespace {
${body}
const WebAsset kAssets[] = {
${table}};
} // namespace

const WebAsset* findWebAsset(std::string_view name) {
    for (const WebAsset& a : kAssets)
        if (name == a.name)
            return &a;
    return nullptr;
}

} // namespace collector
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
