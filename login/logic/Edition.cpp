#include "login/logic/Edition.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace talvo::loginlogic {

const std::array<Edition, 3>& editionTable()
{
    static const std::array<Edition, 3> table{{
        {2, u"Alderan", u"qv", u"qv1", u"1"},
        {1, u"Birsel", u"norvel", u"test", u"9"},
        {0, u"Cedrow", u"mesk", u"test", u"0"},
    }};
    return table;
}

std::u16string lowerCased(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    const auto* s = text.data();
    const auto length = static_cast<int32_t>(text.size());
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U16_NEXT(s, i, length, c);
        c = u_tolower(c);
        if (U_IS_BMP(c)) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            out.push_back(static_cast<char16_t>(U16_LEAD(c)));
            out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
        }
    }
    return out;
}

const Edition* editionForStartName(std::u16string_view startName)
{
    const std::u16string name = lowerCased(startName);
    for (const Edition& edition : editionTable()) {
        if (name.find(edition.nameKey) != std::u16string::npos)
            return &edition;
    }
    return nullptr;
}

const Edition* editionForCheckBox(int index)
{
    for (const Edition& edition : editionTable()) {
        if (edition.checkBoxIndex == index)
            return &edition;
    }
    return nullptr;
}

} // namespace talvo::loginlogic
