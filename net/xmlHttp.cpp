#include "net/xmlHttp.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "net/HttpTransport.h"
#include "net/RandomSequence.h"
#include "net/TextDecoding.h"
#include "net/WireForm.h"
#include "platform/RuntimeError.h"
#include "platform/Utf.h"

namespace talvo {

std::chrono::milliseconds HttpLimits::total() const { return resolve + connect + send + receive; }

namespace {

std::u16string decimal(int value)
{
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

// Leaves only ASCII names through: converter names are ASCII, and anything else would
// be matched against the alias tables in ways nobody could predict.
std::optional<std::string> asciiName(std::u16string_view name)
{
    if (name.empty())
        return std::nullopt;
    std::string out;
    for (char16_t c : name) {
        if (c <= 0x20 || c >= 0x7F)
            return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

// "UTF-8", "utf8", "Utf_8": letters and digits alone decide, in any case.
bool namesUtf8(std::string_view name)
{
    std::string key;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z')
            key.push_back(static_cast<char>(c + 0x20));
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            key.push_back(c);
    }
    return key == "utf8";
}

} // namespace

xmlHttp::xmlHttp(HttpLimits limits) : limits_(limits) { }

Variant xmlHttp::SmsXmlHttp(const std::u16string& act, const std::u16string& Url, const std::u16string& para)
{
    try {
        // Drawn first, so every call advances the sequence the same way, failed or not.
        const double r = processRandomSequence().next();
        const int n = std::min(static_cast<int>(r * 10000.0), 9999);
        const std::u16string address = Url + u"?rnm=" + decimal(n) + u"&" + para;

        const std::optional<std::string> method = net::wireMethod(act);
        if (!method)
            return {};
        net::Exchange exchange = net::performRequest(*method, net::wireAddress(address), limits_);
        if (exchange.outcome == net::Outcome::Failed)
            return {};
        if (exchange.outcome == net::Outcome::Incomplete)
            return Variant(u"null");

        const Variant raw = Variant::fromBytes(std::move(exchange.body));
        try {
            return BytesToBstr(raw, Variant(u"UTF-8"));
        } catch (...) {
            return raw;
        }
    } catch (...) {
        return {};
    }
}

Variant xmlHttp::BytesToBstr(const Variant& strBody, const Variant& CodeBase)
{
    if (!strBody.isBytes())
        throw RuntimeError(RuntimeError::kInvalidArgument, "BytesToBstr: the body is not a byte array");
    if (!CodeBase.isText())
        throw RuntimeError(RuntimeError::kInvalidArgument, "BytesToBstr: the character set name is not text");
    const std::optional<std::string> name = asciiName(CodeBase.text());
    if (!name)
        throw RuntimeError(RuntimeError::kInvalidArgument,
                           "BytesToBstr: unknown character set \"" + platform::toUtf8(CodeBase.text()) + "\"");

    std::string_view bytes = strBody.bytes();
    if (namesUtf8(*name)) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
            bytes.remove_prefix(3);
        return Variant(platform::fromUtf8(bytes));
    }
    return Variant(net::decodeText(bytes, *name));
}

} // namespace talvo
