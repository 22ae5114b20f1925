// Writes platform/windows/CaseFoldTable.inc: every code point whose full case folding
// (ICU, default mappings) differs from itself, with its folded units. Windows has no
// ICU; this table gives it the same folding. Run as
//   build/bin/talvo_casefold_table platform/windows/CaseFoldTable.inc
#include "platform/CaseFold.h"

#include <unicode/uchar.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.inc\n", argv[0]);
        return 2;
    }
    FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr)
        return 1;
    std::fprintf(out, "// Made by tests/platform/casefold/MakeCaseFoldTable.cpp from ICU %s; do not edit.\n",
                 "(full case folding, default mappings)");
    // The table is frozen at this Unicode version; the test holds newer ICUs to it.
    UVersionInfo unicode;
    u_getUnicodeVersion(unicode);
    std::fprintf(out, "constexpr unsigned char kCaseFoldUnicodeVersion[] = {%u, %u};\n", unicode[0], unicode[1]);
    std::fprintf(out, "constexpr CaseFoldEntry kCaseFolds[] = {\n");
    int count = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        std::u16string folded;
        talvo::platform::appendCaseFold(c, folded);
        std::u16string same;
        if (c < 0x10000)
            same.push_back(static_cast<char16_t>(c));
        else
            same = {static_cast<char16_t>(0xD7C0 + (c >> 10)), static_cast<char16_t>(0xDC00 | (c & 0x3FF))};
        if (folded == same)
            continue;
        if (folded.size() > 3) {
            std::fprintf(stderr, "U+%04X folds to more than three units\n", static_cast<unsigned>(c));
            return 1;
        }
        std::fprintf(out, "    {0x%05X, {", static_cast<unsigned>(c));
        for (std::size_t k = 0; k < folded.size(); ++k)
            std::fprintf(out, "%s0x%04X", k ? ", " : "", static_cast<unsigned>(folded[k]));
        std::fprintf(out, "}},\n");
        ++count;
    }
    std::fprintf(out, "};\n");
    std::fprintf(stderr, "%d foldings\n", count);
    return std::fclose(out) == 0 ? 0 : 1;
}
