#include "login/logic/AddressLookup.h"

#include <memory>
#include <utility>

#include "net/RandomSequence.h"
#include "net/ServerRequests.h"
#include "net/xmlHttp.h"

namespace talvo::login {

RequestFactory xmlHttpRequests(HttpLimits limits)
{
    return [limits] {
        auto request = std::make_shared<xmlHttp>(limits);
        return GetRequest([request](const std::u16string& url) {
            return request->SmsXmlHttp(u"Get", url, u"").toText();
        });
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
    if (address == u"null")
        return {};
    return address;
}

AddressLookup::AddressLookup(RequestFactory requests) : requests_(std::move(requests)) {}

std::u16string AddressLookup::getCheckCode(std::u16string_view serverHost,
                                           const AttemptObserver& onAttempt) const
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

} // namespace talvo::login
