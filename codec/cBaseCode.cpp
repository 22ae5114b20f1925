#include "cBaseCode.h"

#include "AnsiTable.h"
#include "basInCodePage.h"
#include "platform/CodePage.h"

namespace talvo {

namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

inline char16_t* putEscape(char16_t* o, unsigned byte)
{
    o[0] = u'%';
    o[1] = kHex[byte >> 4];
    o[2] = kHex[byte & 15];
    return o + 3;
}

inline bool isAsciiLetter(unsigned a) { return (a >= 'A' && a <= 'Z') || (a >= 'a' && a <= 'z'); }

inline int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// Up to two hex digits from position `at`, stopping at a non-digit or the end.
inline unsigned readHexByte(const char16_t* s, std::size_t n, std::size_t at)
{
    unsigned v = 0;
    for (std::size_t k = at; k < at + 2 && k < n; ++k) {
        const int d = hexDigit(s[k]);
        if (d < 0)
            break;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return v;
}

inline bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Escaped length of the UTF-8 form of the unit at i; `step` is how many units it takes.
inline std::size_t utf8EscapedLength(const std::u16string& text, std::size_t i, std::size_t& step)
{
    const char16_t c = text[i];
    step = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 6;
    if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
        step = 2;
        return 12;
    }
    return 9;
}

} // namespace

Variant cBaseCode::EncodeUTF8(std::u16string cnvUni)
{
    if (cnvUni.empty())
        return {};
    return Variant(platform::ansiToText(basInCodePage::UnicodeToCodePage(std::move(cnvUni), sCodePage, 0)));
}

Variant cBaseCode::DecodeUTF8(std::u16string cnvUni)
{
    sCodePage = platform::kUtf8CodePage;
    if (cnvUni.empty())
        return {};
    cnvUni2 = basInCodePage::UnicodeToCodePage(std::move(cnvUni), platform::kAnsiCodePage, 0);
    return Variant(basInCodePage::CodePageToUnicode(cnvUni2, sCodePage, 0));
}

Variant cBaseCode::GBtoUTF8andURLEncode(const Variant& szInput)
{
    if (szInput.isEmpty())
        return szInput;
    const std::u16string input = szInput.toText();
    if (input.empty())
        return szInput;

    std::size_t size = 0;
    for (std::size_t i = 0, step = 1; i < input.size(); i += step)
        size += utf8EscapedLength(input, i, step);
    std::u16string out(size, u'\0');
    char16_t* o = out.data();
    for (std::size_t i = 0; i < input.size();) {
        char32_t c = input[i];
        if (c < 0x80) {
            *o++ = static_cast<char16_t>(c);
            ++i;
            continue;
        }
        std::size_t step;
        utf8EscapedLength(input, i, step);
        if (step == 2)
            c = 0x10000 + ((c - 0xD800) << 10) + (input[i + 1] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        i += step;
        if (c < 0x800) {
            o = putEscape(o, 0xC0 | (c >> 6));
            o = putEscape(o, 0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            o = putEscape(o, 0xE0 | (c >> 12));
            o = putEscape(o, 0x80 | ((c >> 6) & 0x3F));
            o = putEscape(o, 0x80 | (c & 0x3F));
        } else {
            o = putEscape(o, 0xF0 | (c >> 18));
            o = putEscape(o, 0x80 | ((c >> 12) & 0x3F));
            o = putEscape(o, 0x80 | ((c >> 6) & 0x3F));
            o = putEscape(o, 0x80 | (c & 0x3F));
        }
    }
    return Variant(std::move(out));
}

std::u16string cBaseCode::URLEncode(const std::u16string& strURL)
{
    const auto& table = codec_detail::ansiTable();
    std::size_t size = 0;
    for (const char16_t c : strURL) {
        const unsigned a = table.code[c];
        size += a >= 0x100 ? 6 : isAsciiLetter(a) ? 1 : 3;
    }
    std::u16string out(size, u'\0');
    char16_t* o = out.data();
    for (const char16_t c : strURL) {
        const unsigned a = table.code[c];
        if (a >= 0x100) {
            o = putEscape(o, a >> 8);
            o = putEscape(o, a & 0xFF);
        } else if (isAsciiLetter(a)) {
            *o++ = c;
        } else {
            o = putEscape(o, a);
        }
    }
    return out;
}

std::u16string cBaseCode::URLDecode(const std::u16string& strURL)
{
    if (strURL.find(u'%') == std::u16string::npos)
        return strURL;
    const auto& table = codec_detail::ansiTable();
    const char16_t* s = strURL.data();
    const std::size_t n = strURL.size();
    std::u16string out(n, u'\0');  // never longer than the input
    char16_t* o = out.data();
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = s[i];
        if (c != u'%') {
            *o++ = c;
            ++i;
            continue;
        }
        const unsigned v = readHexByte(s, n, i + 1);
        if (v <= 0x7F) {
            *o++ = static_cast<char16_t>(v);
            i += 3;
            continue;
        }
        if (i + 5 < n && s[i + 3] == u'%' && hexDigit(s[i + 4]) >= 0 && hexDigit(s[i + 5]) >= 0) {
            const unsigned trail = readHexByte(s, n, i + 4);
            const char16_t unit = table.pair[v << 8 | trail];
            if (unit != codec_detail::kNoCharacter) {
                *o++ = unit;
                i += 6;
                continue;
            }
        }
        *o++ = table.single[v];
        i += 3;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

} // namespace talvo
