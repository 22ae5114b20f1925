#include "../CaseFold.h"

#include <algorithm>
#include <iterator>

namespace talvo::platform {

namespace {
struct CaseFoldEntry {
    char32_t from;
    char16_t to[4];  // up to three units, zero-terminated
};
#include "CaseFoldTable.inc"
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
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        out.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
}

} // namespace talvo::platform
