// The contact summary of the main window on hostile answers of the contact service.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "main/logic/ContactInfo.h"
#include "main/logic/Text.h"

namespace {

// Every occurrence replaced in one left-to-right pass; the replacement is not looked at
// again.
std::u16string replaced(std::u16string_view text, std::u16string_view key, std::u16string_view label)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, key.size()) == key) {
            out += label;
            i += key.size();
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace talvo;
    using namespace talvo::mainlogic;
    FuzzedDataProvider input(data, size);
    const int kind = input.ConsumeIntegralInRange(0, 2);
    const std::u16string member = fuzz::textFromBytes(input.ConsumeRandomLengthString(16));
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const std::u16string answer = fuzz::textFromBytes(rest);

    const std::u16string summary = contactSummary(answer);
    if (answer.find(u"QQ") == std::u16string::npos && answer.find(u"qq") == std::u16string::npos) {
        FUZZ_CHECK(summary.empty());
    } else {
        std::u16string expected = upperCase(answer);
        expected = replaced(expected, u"CONTACT", u" 联系人");
        expected = replaced(expected, u"TEL", u" 联系电话");
        expected = replaced(expected, u"MOBILEPHONE", u" 手机号码");
        FUZZ_CHECK(summary == expected);
        // The marker survives and no key is left behind.
        FUZZ_CHECK(summary.find(u"QQ") != std::u16string::npos);
        for (std::u16string_view key : {u"CONTACT", u"TEL", u"MOBILEPHONE"})
            FUZZ_CHECK(summary.find(key) == std::u16string::npos);
    }

    // The whole lookup with a scripted service: one request to the contact address with
    // the member code as it is; whatever comes back (nothing, text, bytes) is summarised
    // as text.
    Variant reply;
    if (kind == 1)
        reply = Variant(answer);
    else if (kind == 2)
        reply = Variant::fromBytes(rest);
    int requests = 0;
    const std::u16string looked = getContactInfo(
        member, u"lookup.test", [&](const std::u16string& act, const std::u16string& url, const std::u16string& para) {
            ++requests;
            FUZZ_CHECK(act == u"Get" && para.empty());
            FUZZ_CHECK(url.rfind(u"http://lookup.test/softcheck!contact.action?memberid=" + member + u"&rnm=", 0) == 0);
            return reply;
        });
    FUZZ_CHECK(requests == 1);
    FUZZ_CHECK(looked == contactSummary(reply.toText()));
    if (kind == 0)
        FUZZ_CHECK(looked.empty());
    return 0;
}
