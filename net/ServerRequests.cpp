#include "net/ServerRequests.h"

#include "net/ServerScheme.h"

namespace talvo {

namespace {
std::u16string join(std::initializer_list<std::u16string_view> parts)
{
    std::size_t size = 0;
    for (auto part : parts)
        size += part.size();
    std::u16string out;
    out.reserve(size);
    for (auto part : parts)
        out += part;
    return out;
}
} // namespace

std::u16string checkCodeAddress(std::u16string_view serverHost, std::u16string_view digits)
{
    return join({kServerScheme, serverHost, u"/soft!code.action", u"?rnm=", digits});
}

std::u16string visitUrlAddress(std::u16string_view serverHost, std::u16string_view member, std::u16string_view digits)
{
    return join({kServerScheme, serverHost, u"/softcheck!geturl.action", u"?member=", member, u"&rnm=", digits});
}

std::u16string contactAddress(std::u16string_view lookupHost, std::u16string_view member, std::u16string_view digits)
{
    return join({kServerScheme, lookupHost, u"/softcheck!contact.action", u"?memberid=", member, u"&rnm=", digits});
}

} // namespace talvo
