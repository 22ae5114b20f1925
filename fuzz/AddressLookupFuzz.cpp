// The address lookup of the login window against hostile server answers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "login/logic/AddressLookup.h"

namespace {

constexpr std::u16string_view kMarker = u"mireth_url:";

// Every marker cut out in one left-to-right pass; what the cut joins is not looked at
// again.
std::u16string withoutMarkers(std::u16string_view text)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.substr(i, kMarker.size()) == kMarker) {
            i += kMarker.size();
        } else {
            out.push_back(text[i]);
            ++i;
        }
    }
    return out;
}

// Tab, line feed, form feed, carriage return and space dropped at both ends.
std::u16string trimmed(std::u16string text)
{
    const std::u16string_view blanks = u"\t\n\f\r ";
    while (!text.empty() && blanks.find(text.back()) != std::u16string_view::npos)
        text.pop_back();
    while (!text.empty() && blanks.find(text.front()) != std::u16string_view::npos)
        text.erase(0, 1);
    return text;
}

std::u16string addressOrNone(std::u16string rest)
{
    rest = trimmed(std::move(rest));
    return rest == u"null" ? std::u16string() : rest;
}

std::u16string expectedAddress(std::u16string_view response)
{
    if (response.size() <= 5 || response.find(u"mireth_url") == std::u16string_view::npos)
        return {};
    return addressOrNone(withoutMarkers(response));
}

// What any address taken from an answer must look like: host[:port][/path], nothing that
// could carry a scheme, a user, another host or a control character into the start address.
bool plainAddress(std::u16string_view address)
{
    if (address.empty() || address.size() > 2048)
        return false;
    for (const char16_t c : address)
        if (c <= 0x20 || (c >= 0x7F && c <= 0x9F) || c == u'@' || c == u'\\')
            return false;
    if (address.find(u"://") != std::u16string_view::npos)
        return false;
    const std::u16string_view authority = address.substr(0, address.find(u'/'));
    if (authority.empty() || authority.front() == u':')
        return false;
    for (const char16_t c : authority) {
        const bool ascii = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (!ascii && c != u'-' && c != u'.' && c != u':' && c != u'[' && c != u']')
            return false;
    }
    return true;
}

std::u16string takeText(FuzzedDataProvider& input, std::size_t maxLength)
{
    return talvo::fuzz::textFromBytes(input.ConsumeRandomLengthString(maxLength));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace talvo::loginlogic;
    FuzzedDataProvider input(data, size);

    const std::u16string member = takeText(input, 16);
    std::vector<std::u16string> checkCodes;
    for (int i = input.ConsumeIntegralInRange(0, 12); i > 0; --i)
        checkCodes.push_back(takeText(input, 12));
    const bool markerFirst = input.ConsumeBool();
    const std::u16string response = talvo::fuzz::textFromBytes(input.ConsumeRemainingBytesAsString());

    // The answer parser alone, and the usual shape of an answer: marker, then address.
    // Either what the marker rules leave, or nothing when that is no plain address.
    const std::u16string address = addressFromResponse(response);
    FUZZ_CHECK(address.empty() || address == expectedAddress(response));
    FUZZ_CHECK(address.empty() || plainAddress(address));
    FUZZ_CHECK(address.size() <= response.size());
    if (markerFirst && response.find(u"mireth_url") == std::u16string::npos) {
        const std::u16string answer = std::u16string(kMarker) + response;
        const std::u16string fromAnswer = addressFromResponse(answer);
        FUZZ_CHECK(fromAnswer.empty() || fromAnswer == addressOrNone(response));
        FUZZ_CHECK(fromAnswer.empty() || plainAddress(fromAnswer));
    }

    // The whole lookup with a scripted server: check codes until one of 5 or more
    // characters, at most 11 of them, then one address request carrying the member code.
    int factories = 0, checkRequests = 0, addressRequests = 0;
    std::size_t nextCode = 0;
    RequestFactory server = [&]() -> GetRequest {
        ++factories;
        return [&](const std::u16string& url) -> std::u16string {
            if (url.find(u"/soft!code.action?rnm=") != std::u16string::npos) {
                ++checkRequests;
                return nextCode < checkCodes.size() ? checkCodes[nextCode++] : std::u16string();
            }
            FUZZ_CHECK(url.find(u"/softcheck!geturl.action?member=" + member + u"&rnm=") != std::u16string::npos);
            ++addressRequests;
            return response;
        };
    };
    int attempts = 0;
    const std::u16string found = AddressLookup(server).getVisitUrl(
        u"server.test", member, [&](int attempt) { FUZZ_CHECK(attempt == ++attempts); });

    int codeAt = 0;
    while (codeAt < static_cast<int>(checkCodes.size()) && checkCodes[codeAt].size() < 5)
        ++codeAt;
    const bool gotCode = codeAt < static_cast<int>(checkCodes.size()) && codeAt < 11;
    FUZZ_CHECK(checkRequests == (gotCode ? codeAt + 1 : 11));
    FUZZ_CHECK(attempts == checkRequests);
    FUZZ_CHECK(addressRequests == (gotCode ? 1 : 0));
    FUZZ_CHECK(factories == (gotCode ? 2 : 1));
    FUZZ_CHECK(found == (gotCode ? address : u""));
    return 0;
}
