// Writes platform/windows/CaseFoldTable.inc: every code point whose full case folding
// (ICU, default mappings) differs from itself, with its folded units, then every code
// point with a simple upper or lower case mapping. Windows has no ICU; these tables give
// it the same folding and mappings. Run as
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
        if (talvo::platform::isSurrogate(c))
            continue;
        std::u16string folded;
        talvo::platform::appendCaseFold(c, folded);
        std::u16string same;
        talvo::platform::appendCodePoint(same, c);
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
    const auto writeMapping = [out](const char* name, char32_t (*map)(char32_t)) {
        std::fprintf(out, "constexpr CaseMapEntry %s[] = {\n", name);
        for (char32_t c = 0; c <= 0x10FFFF; ++c)
            if (!talvo::platform::isSurrogate(c) && map(c) != c)
                std::fprintf(out, "    {0x%05X, 0x%05X},\n", static_cast<unsigned>(c), static_cast<unsigned>(map(c)));
        std::fprintf(out, "};\n");
    };
    writeMapping("kUpperCases", talvo::platform::simpleUpperCase);
    writeMapping("kLowerCases", talvo::platform::simpleLowerCase);
    return std::fclose(out) == 0 ? 0 : 1;
}
