#include "ContactInfo.h"

#include "Text.h"
#include "net/RandomSequence.h"
#include "net/ServerRequests.h"
#include "net/xmlHttp.h"

namespace talvo::mainlogic {

std::u16string contactSummary(std::u16string_view answer)
{
    if (answer.find(u"QQ") == std::u16string_view::npos && answer.find(u"qq") == std::u16string_view::npos)
        return {};
    std::u16string summary = upperCase(answer);
    // The order matters: TEL goes before MOBILEPHONE, as the pages expect.
    summary = replaceAll(summary, u"CONTACT", u" 联系人");
    summary = replaceAll(summary, u"TEL", u" 联系电话");
    summary = replaceAll(summary, u"MOBILEPHONE", u" 手机号码");
    return summary;
}

std::u16string getContactInfo(const std::u16string& member, std::u16string_view lookupHost,
                              const ContactRequest& request)
{
    const std::u16string digits = nextRandomDigits();
    const std::u16string url = contactAddress(lookupHost, member, digits);
    Variant answer;
    if (request) {
        answer = request(u"Get", url, u"");
    } else {
        xmlHttp http; // one per request, gone before we return
        answer = http.SmsXmlHttp(u"Get", url, u"");
    }
    return contactSummary(answer.toText());
}

} // namespace talvo::mainlogic
