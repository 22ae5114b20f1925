#include "Utf.h"
#include "Surrogates.h"
#include "Utf8Codec.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

// Our own code on every platform: Windows has no ICU, and both must agree byte for byte.
// One encoder and one decoder serve toUtf8/fromUtf8 and code page 65001.
namespace talvo::platform::detail {

namespace {

constexpr char16_t kReplacementChar = 0xFFFD;

// Four UTF-16 units as one little-endian word: lane k is bits 16k to 16k+15 whatever
// the machine's byte order, since the arithmetic below works on lanes.
std::uint64_t fourUnits(const char16_t* p)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    } else {
        return std::uint64_t(p[0]) | std::uint64_t(p[1]) << 16 | std::uint64_t(p[2]) << 32 | std::uint64_t(p[3]) << 48;
    }
}

constexpr std::uint64_t kLanes = 0x0001000100010001ull;

// 1 in each lane whose bits under mask (the lane's top bits, from bit `shift` up) are
// not all 0. The masked lane shifted down is at most 0x1FF, so adding 0x7FFF sets the
// lane's top bit exactly when it is not 0, and never carries into the next lane.
constexpr std::uint64_t lanesAbove(std::uint64_t v, std::uint64_t mask, unsigned shift)
{
    return (((v & mask) >> shift) + 0x7FFF * kLanes) >> 15 & kLanes;
}

// Whether any lane is a surrogate: the lanes of (v & 0xF800) ^ 0xD800 that are 0.
constexpr bool anySurrogate(std::uint64_t v)
{
    const std::uint64_t x = (v & 0xF800 * kLanes) ^ 0xD800 * kLanes;
    return ((x - kLanes) & ~x & 0x8000 * kLanes) != 0;
}

std::size_t countUtf8(bool strict, const char16_t* text, std::size_t length)
{
    // Four units a step, without branches: each unit from U+0080 adds a byte, each from
    // U+0800 another. The lane sums are folded into the total before they could overflow.
    std::size_t bytes = length;
    bool surrogates = false;
    std::size_t i = 0;
    while (length - i >= 4) {
        std::uint64_t sums = 0;
        for (const std::size_t end = i + 4 * std::min<std::size_t>((length - i) / 4, 0x7FFF); i < end; i += 4) {
            const std::uint64_t v = fourUnits(text + i);
            sums += lanesAbove(v, 0xFF80 * kLanes, 7) + lanesAbove(v, 0xF800 * kLanes, 11);
            surrogates |= anySurrogate(v);
        }
        bytes += (sums & 0xFFFF) + (sums >> 16 & 0xFFFF) + (sums >> 32 & 0xFFFF) + (sums >> 48);
    }
    for (; i < length; ++i) {
        bytes += static_cast<unsigned>(text[i] >= 0x80) + static_cast<unsigned>(text[i] >= 0x800);
        surrogates |= isSurrogate(text[i]);
    }
    if (!surrogates)
        return bytes;
    // A pair is 4 bytes, not 3 + 3; a lone surrogate stays 3 (U+FFFD).
    for (i = 0; i < length; ++i) {
        if (!isSurrogate(text[i]))
            continue;
        if (isHighSurrogate(text[i]) && i + 1 < length && isLowSurrogate(text[i + 1])) {
            bytes -= 2;
            ++i;
        } else if (strict) {
            return kUtf8Fail;
        }
    }
    return bytes;
}

// The UTF-8 bytes of a BMP unit with their count; surrogates have length 0.
struct Utf8Form {
    std::uint8_t bytes[3];
    std::uint8_t length;
};

std::vector<Utf8Form> makeUtf8Forms()
{
    std::vector<Utf8Form> forms(0x10000);
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
        Utf8Form& f = forms[c];
        if (c < 0x80) {
            f = {{static_cast<std::uint8_t>(c), 0, 0}, 1};
        } else if (c < 0x800) {
            f = {{static_cast<std::uint8_t>(0xC0 | c >> 6), static_cast<std::uint8_t>(0x80 | (c & 0x3F)), 0}, 2};
        } else if (!isSurrogate(c)) {
            f = {{static_cast<std::uint8_t>(0xE0 | c >> 12), static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)),
                  static_cast<std::uint8_t>(0x80 | (c & 0x3F))},
                 3};
        }
    }
    return forms;
}

void put4(char* out, char32_t c)
{
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
}

void put3(char* out, char32_t c)
{
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
}

} // namespace

std::size_t encodeUtf8(bool strict, const char16_t* text, std::size_t length, char* out, std::size_t capacity)
{
    if (out == nullptr)
        return countUtf8(strict, text, length);
    static const std::vector<Utf8Form> forms = makeUtf8Forms();
    const Utf8Form* utf8Forms = forms.data();
    std::size_t o = 0;
    std::size_t i = 0;
    for (;;) {
        // While there is room for any form: one table load and one four-byte store per
        // unit, no branches on the character class (mixed Chinese and ASCII text would
        // mispredict them). Surrogates have no form and stop it.
        while (i < length && capacity - o >= 4) {
            const Utf8Form& form = utf8Forms[text[i]];
            if (form.length == 0)
                break;
            std::memcpy(out + o, &form, 4);
            o += form.length;
            ++i;
        }
        if (i == length)
            return o;
        // One character with its room checked: a surrogate (a pair is one four-byte
        // character, a lone one U+FFFD), or any character near the end of the room.
        const char16_t c = text[i++];
        std::size_t size = utf8Forms[c].length;
        char32_t cp = c;
        if (size == 0) {
            size = 3;
            cp = kReplacementChar;
            if (isHighSurrogate(c) && i < length && isLowSurrogate(text[i])) {
                size = 4;
                cp = combineSurrogates(c, text[i++]);
            } else if (strict) {
                return kUtf8Fail;
            }
        }
        if (capacity - o < size)
            return kUtf8Fail;
        if (size == 4)
            put4(out + o, cp);
        else if (cp == c)
            std::memcpy(out + o, &utf8Forms[c], size);
        else
            put3(out + o, cp);
        o += size;
    }
}

namespace {

// Reads the UTF-8 sequence at s, whose first byte is 0x80 or more, with avail bytes
// available. Returns its length (2-4) with its code point in cp, or 0 with `bad` set to
// the length of the maximal invalid subpart (the Unicode / WHATWG rule), which stands for
// one U+FFFD: the bytes that were valid so far go together, the byte that broke the
// sequence is read afresh.
std::size_t readUtf8Sequence(const unsigned char* s, std::size_t avail, char32_t& cp, std::size_t& bad)
{
    const unsigned char b0 = s[0];
    bad = 1;
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < need; ++k) {
        if (k >= avail)
            return 0;
        const unsigned char b = s[k];
        if (b < lo || b > hi)
            return 0;
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        bad = k + 1;
    }
    return need;
}

template<bool Counting>
std::size_t decodeUtf8Impl(bool strict, const unsigned char* bytes, std::size_t length, char16_t* out,
                           std::size_t capacity)
{
    std::size_t o = 0;
    std::size_t i = 0;
    auto room = [&](std::size_t n) { return Counting || capacity - o >= n; };
    while (i < length) {
        if (i + 8 <= length && allAscii8(bytes + i)) {
            if (!room(8))
                return kUtf8Fail;
            if (!Counting)
                for (int k = 0; k < 8; ++k)
                    out[o + k] = bytes[i + k];
            o += 8;
            i += 8;
            continue;
        }
        const unsigned char b0 = bytes[i];
        if (b0 < 0x80) {
            if (!room(1))
                return kUtf8Fail;
            if (!Counting)
                out[o] = b0;
            ++o;
            ++i;
            continue;
        }
        // The common well-formed two- and three-byte forms first.
        if ((b0 & 0xF0) == 0xE0 && length - i >= 3) {
            const unsigned b1 = bytes[i + 1], b2 = bytes[i + 2];
            if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80) {
                const char32_t cp = (b0 & 0x0Fu) << 12 | (b1 & 0x3Fu) << 6 | (b2 & 0x3Fu);
                if (cp >= 0x800 && !isSurrogate(cp)) {
                    if (!room(1))
                        return kUtf8Fail;
                    if (!Counting)
                        out[o] = static_cast<char16_t>(cp);
                    ++o;
                    i += 3;
                    continue;
                }
            }
        } else if (b0 >= 0xC2 && b0 <= 0xDF && length - i >= 2 && (bytes[i + 1] & 0xC0) == 0x80) {
            if (!room(1))
                return kUtf8Fail;
            if (!Counting)
                out[o] = static_cast<char16_t>((b0 & 0x1Fu) << 6 | (bytes[i + 1] & 0x3Fu));
            ++o;
            i += 2;
            continue;
        }
        char32_t cp;
        std::size_t bad;
        std::size_t n = readUtf8Sequence(bytes + i, length - i, cp, bad);
        if (n == 0) {
            if (strict)
                return kUtf8Fail;
            cp = kReplacementChar;
            n = bad;
        }
        i += n;
        const std::size_t units = cp >= 0x10000 ? 2 : 1;
        if (!room(units))
            return kUtf8Fail;
        if (!Counting) {
            if (units == 1) {
                out[o] = static_cast<char16_t>(cp);
            } else {
                out[o] = highSurrogateOf(cp);
                out[o + 1] = lowSurrogateOf(cp);
            }
        }
        o += units;
    }
    return o;
}

} // namespace

std::size_t decodeUtf8(bool strict, const unsigned char* bytes, std::size_t length, char16_t* out, std::size_t capacity)
{
    return out == nullptr ? decodeUtf8Impl<true>(strict, bytes, length, nullptr, 0)
                          : decodeUtf8Impl<false>(strict, bytes, length, out, capacity);
}

} // namespace talvo::platform::detail

namespace talvo::platform {

std::string toUtf8(std::u16string_view text)
{
    const std::size_t size = detail::encodeUtf8(false, text.data(), text.size(), nullptr, 0);
    std::string out(size, '\0');
    detail::encodeUtf8(false, text.data(), text.size(), out.data(), out.size());
    return out;
}

std::u16string fromUtf8(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    std::u16string out(detail::decodeUtf8(false, s, bytes.size(), nullptr, 0), u'\0');
    detail::decodeUtf8(false, s, bytes.size(), out.data(), out.size());
    return out;
}

} // namespace talvo::platform
