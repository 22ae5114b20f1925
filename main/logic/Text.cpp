#include "Text.h"

#include "platform/CaseFold.h"

namespace talvo::mainlogic {

std::u16string upperCase(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    const std::size_t length = text.size();
    std::size_t i = 0;
    while (i < length) {
        const std::size_t start = i;
        const char32_t c = platform::nextCodePoint(text.data(), i, length);
        const char32_t upper = platform::simpleUpperCase(c);
        // A character whose upper case is longer or shorter in UTF-16 stays as it is.
        if (platform::isSurrogate(c) || (upper > 0xFFFF ? 2u : 1u) != i - start) {
            out.append(text.substr(start, i - start));
            continue;
        }
        platform::appendCodePoint(out, upper);
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
