#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/Variant.h"

namespace talvo::mainlogic {

// One blocking request, shaped like xmlHttp::SmsXmlHttp(act, Url, para).
using ContactRequest =
    std::function<Variant(const std::u16string& act, const std::u16string& url, const std::u16string& para)>;

// Turns the contact service's answer into the status bar summary. An answer without
// "QQ" or "qq" gives empty text (error pages, "null", a failed request). Otherwise the
// whole answer is upper-cased and the keys CONTACT, TEL and MOBILEPHONE become
// labels, in that order.
std::u16string contactSummary(std::u16string_view answer);

// Asks lookupHost for the member's contact details and returns the summary. member
// goes into the query as it is. Without a request function a fresh xmlHttp serves the
// one request. Never throws for a failed request: the summary is then empty.
std::u16string getContactInfo(const std::u16string& member, std::u16string_view lookupHost,
                              const ContactRequest& request = {});

} // namespace talvo::mainlogic
