# Writes OUT, a C++ file holding the bytes of FILES (a ;-separated list) for WebAsset().
set(body "")
set(table "")
set(n 0)
foreach(file ${FILES})
    get_filename_component(name ${file} NAME)
    file(READ ${file} hex HEX)
    string(LENGTH "${hex}" length)
    math(EXPR size "${length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    string(APPEND body "const char kFile${n}[] = {${bytes} 0};\n")
    string(APPEND table "    {\"${name}\", {kFile${n}, ${size}}},\n")
    math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUT} "// Generated from web/ by embed.cmake.\n#include \"web/WebAssets.h\"\n\n#include <utility>\n\n"
    "namespace tavi {\nnamespace {\n${body}\nconst std::pair<std::string_view, std::string_view> kAssets[] = {\n${table}};\n}  // namespace\n\n"
    "std::string_view WebAsset(std::string_view name) {\n    for (const auto& [n, bytes] : kAssets)\n"
    "        if (n == name) return bytes;\n    return {};\n}\n\n"
    "std::vector<std::string_view> WebAssetNames() {\n    std::vector<std::string_view> names;\n"
    "    for (const auto& asset : kAssets) names.push_back(asset.first);\n    return names;\n}\n\n}  // namespace tavi\n")
