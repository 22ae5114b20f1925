// xmlHttp::BytesToBstr on hostile bodies and character set names.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "net/xmlHttp.h"
#include "platform/RuntimeError.h"
#include "platform/Utf.h"

namespace {

enum class Kind { Utf8, Gbk, Latin1, Utf16Le, Other };

struct Charset {
    const char16_t* name;
    Kind kind;
};

constexpr Charset kCharsets[] = {
    {u"UTF-8", Kind::Utf8},        {u"utf_8", Kind::Utf8},       {u"gb2312", Kind::Gbk},         {u"GBK", Kind::Gbk},
    {u"ISO-8859-1", Kind::Latin1}, {u"UTF-16LE", Kind::Utf16Le}, {u"windows-1252", Kind::Other}, {u"Big5", Kind::Other},
    {u"Shift_JIS", Kind::Other},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace talvo;
    if (size == 0)
        return 0;
    // The first byte picks a known character set, or takes the name from the input
    // up to its first zero byte.
    const std::size_t pick = data[0];
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::u16string name;
    Kind kind = Kind::Other;
    bool known = true;
    if (pick < std::size(kCharsets)) {
        name = kCharsets[pick].name;
        kind = kCharsets[pick].kind;
    } else {
        known = false;
        const auto end = rest.find('\0');
        name = fuzz::textFromBytes(rest.substr(0, end));
        rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    }

    xmlHttp helper;
    Variant result;
    try {
        result = helper.BytesToBstr(Variant::fromBytes(rest), Variant(name));
    } catch (const RuntimeError& error) {
        // Only a name no converter knows may be refused.
        FUZZ_CHECK(!known && error.number() == RuntimeError::kInvalidArgument);
        return 0;
    }
    FUZZ_CHECK(result.isText());
    const std::u16string& text = result.text();
    switch (kind) {
    case Kind::Utf8: {
        std::string body = rest;
        if (body.rfind("\xEF\xBB\xBF", 0) == 0)
            body.erase(0, 3);
        FUZZ_CHECK(text.size() <= body.size());
        if (fuzz::isValidUtf8(body))
            FUZZ_CHECK(platform::toUtf8(text) == body);
        break;
    }
    case Kind::Gbk: FUZZ_CHECK(text.size() <= rest.size()); break;
    case Kind::Latin1:
        FUZZ_CHECK(text.size() == rest.size());
        for (std::size_t i = 0; i < rest.size(); ++i)
            FUZZ_CHECK(text[i] == static_cast<unsigned char>(rest[i]));
        break;
    case Kind::Utf16Le: FUZZ_CHECK(text.size() <= rest.size() / 2 + 1); break;
    case Kind::Other: FUZZ_CHECK(text.size() <= rest.size() * 2); break;
    }

    // The wrong kinds of argument are refused, never guessed at.
    try {
        helper.BytesToBstr(Variant(u"text"), Variant(name));
        FUZZ_CHECK(false);
    } catch (const RuntimeError& error) {
        FUZZ_CHECK(error.number() == RuntimeError::kInvalidArgument);
    }
    return 0;
}
