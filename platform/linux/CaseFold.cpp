#include "../CaseFold.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace talvo::platform {

void appendCaseFold(char32_t c, std::u16string& out)
{
    if (c < 0x80) {
        out.push_back(static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 0x20 : c));
        return;
    }
    // Beyond the BMP every folding is one character to one character.
    if (c > 0xFFFF) {
        const UChar32 folded = u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT);
        appendCodePoint(out, static_cast<char32_t>(folded));
        return;
    }
    const UChar source[1] = {static_cast<UChar>(c)};
    UChar folded[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strFoldCase(folded, 8, source, 1, U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status) || length > 8)
        out.push_back(static_cast<char16_t>(c));
    else
        out.append(reinterpret_cast<const char16_t*>(folded), static_cast<std::size_t>(length));
}

char32_t simpleUpperCase(char32_t c) { return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c))); }

char32_t simpleLowerCase(char32_t c) { return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))); }

} // namespace talvo::platform
