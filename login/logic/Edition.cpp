#include "login/logic/Edition.h"

#include "platform/CaseFold.h"

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
    for (std::size_t i = 0; i < text.size();)
        platform::appendCodePoint(out, platform::simpleLowerCase(platform::nextCodePoint(text.data(), i, text.size())));
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
