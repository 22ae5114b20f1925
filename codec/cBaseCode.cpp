#include "cBaseCode.h"

#include <array>
#include <cstring>
#include <iterator>

#include "AnsiTable.h"
#include "basInCodePage.h"
#include "platform/CodePage.h"

namespace talvo {

namespace {

struct Escape {
    char16_t units[3];
};

constexpr std::array<Escape, 256> makeEscapes()
{
    constexpr char16_t hex[] = u"0123456789ABCDEF";
    std::array<Escape, 256> table{};
    for (unsigned b = 0; b < 256; ++b)
        table[b] = Escape{{u'%', hex[b >> 4], hex[b & 15]}};
    return table;
}
constexpr auto kEscapes = makeEscapes();

constexpr std::array<std::int8_t, 128> makeHexValues()
{
    std::array<std::int8_t, 128> table{};
    for (auto& v : table)
        v = -1;
    for (int d = 0; d < 10; ++d)
        table['0' + d] = static_cast<std::int8_t>(d);
    for (int d = 0; d < 6; ++d) {
        table['A' + d] = static_cast<std::int8_t>(10 + d);
        table['a' + d] = static_cast<std::int8_t>(10 + d);
    }
    return table;
}
constexpr auto kHexValues = makeHexValues();

inline char16_t* putEscape(char16_t* o, unsigned byte)
{
    std::memcpy(o, kEscapes[byte].units, sizeof(Escape));
    return o + 3;
}

// Output written through a small buffer and appended in pieces, so the result string
// is written once rather than zero-filled first.
class ChunkedOutput {
public:
    explicit ChunkedOutput(std::size_t expected) { out_.reserve(expected); }
    ChunkedOutput(const ChunkedOutput&) = delete;
    ChunkedOutput& operator=(const ChunkedOutput&) = delete;
    // Room for at least `units` more units.
    char16_t* room(std::size_t units)
    {
        if (static_cast<std::size_t>(std::end(chunk_) - at_) < units)
            flush();
        return at_;
    }
    void advance(char16_t* to) { at_ = to; }
    std::u16string take()
    {
        flush();
        return std::move(out_);
    }

private:
    void flush()
    {
        out_.append(chunk_, static_cast<std::size_t>(at_ - chunk_));
        at_ = chunk_;
    }
    std::u16string out_;
    char16_t chunk_[4096];
    char16_t* at_ = chunk_;
};

inline bool isAsciiLetter(unsigned a) { return (a >= 'A' && a <= 'Z') || (a >= 'a' && a <= 'z'); }

inline int hexDigit(char16_t c) { return c < 128 ? kHexValues[c] : -1; }

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
    ChunkedOutput out(size);
    for (std::size_t i = 0; i < input.size();) {
        char16_t* o = out.room(12);
        char32_t c = input[i];
        if (c < 0x80) {
            *o++ = static_cast<char16_t>(c);
            out.advance(o);
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
        out.advance(o);
    }
    return Variant(out.take());
}

std::u16string cBaseCode::URLEncode(const std::u16string& strURL)
{
    const auto& table = codec_detail::ansiTable();
    std::size_t size = 0;
    for (const char16_t c : strURL) {
        const unsigned a = table.code[c];
        size += a >= 0x100 ? 6 : isAsciiLetter(a) ? 1 : 3;
    }
    ChunkedOutput out(size);
    for (const char16_t c : strURL) {
        char16_t* o = out.room(6);
        const unsigned a = table.code[c];
        if (a >= 0x100) {
            o = putEscape(o, a >> 8);
            o = putEscape(o, a & 0xFF);
        } else if (isAsciiLetter(a)) {
            // The letter the code page gives, not c: a best-fit character ("Þ" is "T"
            // in 936) must not leave raw in an escaped address.
            *o++ = static_cast<char16_t>(a);
        } else {
            o = putEscape(o, a);
        }
        out.advance(o);
    }
    return out.take();
}

std::u16string cBaseCode::URLDecode(const std::u16string& strURL)
{
    if (strURL.find(u'%') == std::u16string::npos)
        return strURL;
    const auto& table = codec_detail::ansiTable();
    const char16_t* s = strURL.data();
    const std::size_t n = strURL.size();
    ChunkedOutput out(n);  // never longer than the input
    std::size_t i = 0;
    while (i < n) {
        char16_t* o = out.room(1);
        const char16_t c = s[i];
        if (c != u'%') {
            *o++ = c;
            out.advance(o);
            ++i;
            continue;
        }
        const unsigned v = readHexByte(s, n, i + 1);
        if (v <= 0x7F) {
            *o++ = static_cast<char16_t>(v);
            i += 3;
        } else if (i + 5 < n && s[i + 3] == u'%' && hexDigit(s[i + 4]) >= 0 && hexDigit(s[i + 5]) >= 0
                   && table.pair[v << 8 | readHexByte(s, n, i + 4)] != codec_detail::kNoCharacter) {
            *o++ = table.pair[v << 8 | readHexByte(s, n, i + 4)];
            i += 6;
        } else {
            *o++ = table.single[v];
            i += 3;
        }
        out.advance(o);
    }
    return out.take();
}

} // namespace talvo
