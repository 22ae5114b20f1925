#include "cBaseCode.h"

#include <array>
#include <bit>
#include <cstring>
#include <iterator>

#include "AnsiTable.h"
#include "basInCodePage.h"
#include "platform/CodePage.h"
#include "platform/Surrogates.h"

namespace talvo {

namespace {

// "%XX" as three UTF-16 units packed into the low 48 bits of a word in memory order,
// so one eight-byte store writes an escape (the two spare units are overwritten next).
constexpr std::array<std::uint64_t, 256> makeEscapes()
{
    constexpr char16_t hex[] = u"0123456789ABCDEF";
    std::array<std::uint64_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        const std::uint64_t units[3] = {u'%', hex[b >> 4], hex[b & 15]};
        table[b] = std::endian::native == std::endian::little ? units[0] | units[1] << 16 | units[2] << 32
                                                              : units[0] << 48 | units[1] << 32 | units[2] << 16;
    }
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

// A single unit as an eight-byte store (the other three units are overwritten next).
inline std::uint64_t unitWord(char16_t c)
{
    return std::endian::native == std::endian::little ? std::uint64_t{c} : std::uint64_t{c} << 48;
}

inline void store(char16_t* o, std::uint64_t word) { std::memcpy(o, &word, 8); }

inline bool isAsciiLetter(unsigned a) { return ((a | 0x20) - 'a') < 26; }

inline int hexDigit(char16_t c) { return c < 128 ? kHexValues[c] : -1; }

// The byte of two hex digits (both below U+0080) in one lookup, or -1.
constexpr std::array<std::int16_t, 128 * 128> makeHexPairs()
{
    std::array<std::int16_t, 128 * 128> table{};
    for (int a = 0; a < 128; ++a)
        for (int b = 0; b < 128; ++b)
            table[a << 7 | b] = static_cast<std::int16_t>(
                kHexValues[a] >= 0 && kHexValues[b] >= 0 ? kHexValues[a] << 4 | kHexValues[b] : -1);
    return table;
}
constexpr auto kHexPairs = makeHexPairs();

inline int hexByte(char16_t a, char16_t b) { return (a | b) < 128 ? kHexPairs[a << 7 | b] : -1; }

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

// Output goes through a cache-sized chunk and is appended in pieces, so the result
// is written once rather than zero-filled first. Every step of the loops below writes
// at most kSlack units (some of them scratch past the end of what it keeps).
constexpr std::size_t kChunk = 4096;
constexpr std::size_t kSlack = 16;

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

    const char16_t* s = input.data();
    const std::size_t n = input.size();
    std::size_t size = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned c = s[i];
        size += c < 0x80 ? 1 : c < 0x800 ? 6 : 9;
    }
    std::u16string out;
    out.reserve(size);
    char16_t chunk[kChunk];
    std::size_t i = 0;
    while (i < n) {
        char16_t* o = chunk;
        while (i < n && o + kSlack <= std::end(chunk)) {
            const char32_t c = s[i];
            if (!platform::isSurrogate(c)) {
                // The three escapes of the longest form are written every time; the
                // length decides how much of that is kept.
                const unsigned b0 = c < 0x800 ? 0xC0 | c >> 6 : 0xE0 | c >> 12;
                const unsigned b1 = c < 0x800 ? 0x80 | (c & 0x3F) : 0x80 | ((c >> 6) & 0x3F);
                const unsigned b2 = 0x80 | (c & 0x3F);
                store(o, c < 0x80 ? unitWord(static_cast<char16_t>(c)) : kEscapes[b0 & 0xFF]);
                store(o + 3, kEscapes[b1]);
                store(o + 6, kEscapes[b2]);
                o += c < 0x80 ? 1 : c < 0x800 ? 6 : 9;
                ++i;
                continue;
            }
            // A surrogate pair is one character of four bytes; a lone surrogate has no
            // UTF-8 form and is written as U+FFFD.
            char32_t cp = 0xFFFD;
            if (platform::isHighSurrogate(c) && i + 1 < n && platform::isLowSurrogate(s[i + 1])) {
                cp = platform::combineSurrogates(c, s[i + 1]);
                ++i;
            }
            ++i;
            if (cp == 0xFFFD) {
                store(o, kEscapes[0xEF]);
                store(o + 3, kEscapes[0xBF]);
                store(o + 6, kEscapes[0xBD]);
                o += 9;
            } else {
                store(o, kEscapes[0xF0 | (cp >> 18)]);
                store(o + 3, kEscapes[0x80 | ((cp >> 12) & 0x3F)]);
                store(o + 6, kEscapes[0x80 | ((cp >> 6) & 0x3F)]);
                store(o + 9, kEscapes[0x80 | (cp & 0x3F)]);
                o += 12;
            }
        }
        out.append(chunk, static_cast<std::size_t>(o - chunk));
    }
    return Variant(std::move(out));
}

std::u16string cBaseCode::URLEncode(const std::u16string& strURL)
{
    const std::uint16_t* code = codec_detail::ansiTable().code.data();
    const char16_t* s = strURL.data();
    const std::size_t n = strURL.size();
    // Six units per character at most; reserving that (memory not yet touched) saves
    // a second pass over the table just to count.
    std::u16string out;
    out.reserve(n * 6);
    char16_t chunk[kChunk];
    std::size_t i = 0;
    while (i < n) {
        char16_t* o = chunk;
        while (i < n && o + kSlack <= std::end(chunk)) {
            const char16_t c = s[i++];
            const unsigned a = code[c];
            // Double-byte: two escapes; letter: itself; anything else: one escape.
            const bool pair = a >= 0x100;
            const bool letter = !pair && isAsciiLetter(a);
            // A letter goes out as the code page gives it, not as c: a best-fit character
            // ("Þ" is "T" in 936) must not leave raw in an escaped address.
            store(o, letter ? unitWord(static_cast<char16_t>(a)) : kEscapes[pair ? a >> 8 : a]);
            store(o + 3, kEscapes[a & 0xFF]);
            o += pair ? 6 : letter ? 1 : 3;
        }
        out.append(chunk, static_cast<std::size_t>(o - chunk));
    }
    return out;
}

std::u16string cBaseCode::URLDecode(const std::u16string& strURL)
{
    if (strURL.find(u'%') == std::u16string::npos)
        return strURL;
    const auto& table = codec_detail::ansiTable();
    const char16_t* pairs = table.pair.data();
    const char16_t* s = strURL.data();
    const std::size_t n = strURL.size();
    std::u16string out;
    out.reserve(n); // never longer than the input
    char16_t chunk[kChunk];
    std::size_t i = 0;
    while (i < n) {
        char16_t* o = chunk;
        while (i < n && o != std::end(chunk)) {
            const char16_t c = s[i];
            if (c != u'%') {
                *o++ = c;
                ++i;
                continue;
            }
            // The usual case first: "%" and two hex digits, maybe a lead byte whose
            // trail escape follows at once.
            if (n - i >= 3) {
                const int lead = hexByte(s[i + 1], s[i + 2]);
                if (lead >= 0) {
                    const auto v = static_cast<unsigned>(lead);
                    if (v <= 0x7F) {
                        *o++ = static_cast<char16_t>(v);
                        i += 3;
                        continue;
                    }
                    if (n - i >= 6 && s[i + 3] == u'%') {
                        const int trail = hexByte(s[i + 4], s[i + 5]);
                        if (trail >= 0) {
                            const char16_t unit = pairs[v << 8 | static_cast<unsigned>(trail)];
                            if (unit != codec_detail::kNoCharacter) {
                                *o++ = unit;
                                i += 6;
                                continue;
                            }
                        }
                    }
                    // A lead byte without its trail, or a single-byte character.
                    *o++ = table.single[v];
                    i += 3;
                    continue;
                }
            }
            // Short or malformed escape: up to two digits, no digit at all is 0.
            *o++ = static_cast<char16_t>(readHexByte(s, n, i + 1));
            i += 3;
        }
        out.append(chunk, static_cast<std::size_t>(o - chunk));
    }
    return out;
}

} // namespace talvo
