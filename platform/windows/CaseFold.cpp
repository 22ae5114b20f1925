#include "../CaseFold.h"

#include <algorithm>
#include <iterator>

namespace talvo::platform {

namespace {
struct CaseFoldEntry {
    char32_t from;
    char16_t to[4]; // up to three units, zero-terminated
};
struct CaseMapEntry {
    char32_t from;
    char32_t to;
};
#include "CaseFoldTable.inc"

char32_t mapped(const CaseMapEntry* begin, const CaseMapEntry* end, char32_t c)
{
    const auto* at = std::lower_bound(begin, end, c,
                                      [](const CaseMapEntry& e, char32_t value) { return e.from < value; });
    return at != end && at->from == c ? at->to : c;
}
} // namespace

void appendCaseFold(char32_t c, std::u16string& out)
{
    if (c < 0x80) {
        out.push_back(static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 0x20 : c));
        return;
    }
    const auto* end = std::end(kCaseFolds);
    const auto* at = std::lower_bound(std::begin(kCaseFolds), end, c,
                                      [](const CaseFoldEntry& e, char32_t value) { return e.from < value; });
    if (at != end && at->from == c) {
        for (int k = 0; k < 4 && at->to[k] != 0; ++k)
            out.push_back(at->to[k]);
        return;
    }
    appendCodePoint(out, c);
}

char32_t simpleUpperCase(char32_t c) { return mapped(std::begin(kUpperCases), std::end(kUpperCases), c); }

char32_t simpleLowerCase(char32_t c) { return mapped(std::begin(kLowerCases), std::end(kLowerCases), c); }

} // namespace talvo::platform
