#include "Text.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace talvo::mainlogic {

std::u16string upperCase(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    const auto length = static_cast<int32_t>(text.size());
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c;
        U16_NEXT(text.data(), i, length, c);
        const UChar32 upper = u_toupper(c);
        if (U_IS_SURROGATE(c) || U16_LENGTH(upper) != i - start) {
            out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
            continue;
        }
        if (U16_LENGTH(upper) == 1) {
            out.push_back(static_cast<char16_t>(upper));
        } else {
            out.push_back(static_cast<char16_t>(U16_LEAD(upper)));
            out.push_back(static_cast<char16_t>(U16_TRAIL(upper)));
        }
    }
    return out;
}

std::u16string replaceAll(std::u16string_view text, std::u16string_view from, std::u16string_view to)
{
    if (from.empty())
        return std::u16string(text);
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::u16string_view::npos)
            break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

} // namespace talvo::mainlogic
