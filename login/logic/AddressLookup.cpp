#include "login/logic/AddressLookup.h"

#include <memory>
#include <utility>

#include "login/logic/HostPort.h"
#include "net/RandomSequence.h"
#include "net/ServerRequests.h"
#include "net/xmlHttp.h"
#include "platform/Surrogates.h"

namespace talvo::loginlogic {

RequestFactory xmlHttpRequests(HttpLimits limits)
{
    return [limits] {
        auto request = std::make_shared<xmlHttp>(limits);
        return GetRequest(
            [request](const std::u16string& url) { return request->SmsXmlHttp(u"Get", url, u"").toText(); });
    };
}

std::u16string trimAsciiWhiteSpace(std::u16string_view text)
{
    const auto blank = [](char16_t c) { return c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u' '; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return std::u16string(text.substr(begin, end - begin));
}

std::u16string addressFromResponse(std::u16string_view response)
{
    if (response.find(u"mireth_url") == std::u16string_view::npos || response.size() <= 5)
        return {};
    std::u16string rest;
    rest.reserve(response.size());
    std::size_t from = 0;
    for (std::size_t at = response.find(kAddressMarker); at != std::u16string_view::npos;
         at = response.find(kAddressMarker, from)) {
        rest.append(response.substr(from, at - from));
        from = at + kAddressMarker.size();
    }
    rest.append(response.substr(from));
    // Servers often end a text answer with a line end; blanks around an address are never
    // part of it, and a URL parser would drop them anyway.
    const std::u16string address = trimAsciiWhiteSpace(rest);
    // Whatever else the server sends goes into the start address: anything but a plain
    // host, port and path counts as no address.
    if (address == u"null" || !isWellFormedAddress(address))
        return {};
    return address;
}

namespace {

bool isBlankOrControl(char16_t c)
{
    // C0, DEL and C1 controls; Unicode spaces (the ideographic space too) and the
    // format characters that hide or reorder text.
    if (c <= 0x20 || (c >= 0x7F && c <= 0x9F))
        return true;
    switch (c) {
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
    case 0xFEFF:
    case 0x180E: return true;
    default: break;
    }
    return (c >= 0x2000 && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F);
}

bool isHostCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

bool isIpv6Character(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' || c == u'.';
}

} // namespace

bool isWellFormedAddress(std::u16string_view address)
{
    if (address.empty() || address.size() > kMaxAddressLength)
        return false;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char16_t c = address[i];
        if (isBlankOrControl(c) || c == u'\\' || c == u'@')
            return false;
        // Lone surrogates are no text.
        if (platform::isHighSurrogate(c)) {
            if (i + 1 >= address.size() || !platform::isLowSurrogate(address[i + 1]))
                return false;
            ++i;
        } else if (platform::isLowSurrogate(c)) {
            return false;
        }
    }
    if (address.find(u"://") != std::u16string_view::npos)
        return false;
    const std::size_t slash = address.find(u'/');
    std::u16string_view authority = address.substr(0, slash);
    std::u16string_view port;
    if (!authority.empty() && authority.front() == u'[') {
        const std::size_t close = authority.find(u']');
        if (close == std::u16string_view::npos || close < 3)
            return false;
        const std::u16string_view literal = authority.substr(1, close - 1);
        if (literal.find(u':') == std::u16string_view::npos)
            return false;
        for (char16_t c : literal)
            if (!isIpv6Character(c))
                return false;
        const std::u16string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != u':')
                return false;
            port = rest.substr(1);
            if (port.empty())
                return false;
        }
    } else {
        const std::size_t colon = authority.find(u':');
        const std::u16string_view host = authority.substr(0, colon);
        if (host.empty())
            return false;
        for (char16_t c : host)
            if (!isHostCharacter(c))
                return false;
        if (colon != std::u16string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty())
                return false;
        }
    }
    if (!port.empty() && !isValidPort(port))
        return false;
    return true;
}

AddressLookup::AddressLookup(RequestFactory requests) : requests_(std::move(requests)) { }

std::u16string AddressLookup::getCheckCode(std::u16string_view serverHost, const AttemptObserver& onAttempt) const
{
    GetRequest get = requests_();
    for (int attempt = 1; attempt <= kCheckCodeAttempts; ++attempt) {
        if (onAttempt)
            onAttempt(attempt);
        std::u16string answer = get(checkCodeAddress(serverHost, nextRandomDigits()));
        if (answer.size() >= kMinCheckCodeLength)
            return answer;
    }
    return {};
}

std::u16string AddressLookup::getVisitUrl(std::u16string_view serverHost, std::u16string_view member,
                                          const AttemptObserver& onAttempt) const
{
    if (getCheckCode(serverHost, onAttempt).size() < kMinCheckCodeLength)
        return {};
    GetRequest get = requests_();
    return addressFromResponse(get(visitUrlAddress(serverHost, member, nextRandomDigits())));
}

} // namespace talvo::loginlogic
