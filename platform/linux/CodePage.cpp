#include "../CodePage.h"

#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

// ICU is only used once per code page, to read its Windows table into flat lookup
// arrays; every conversion after that is a table walk. The arrays are immutable once
// built, so all threads share them without locking.
namespace talvo::platform {

namespace {

constexpr int kChineseCodePage = 936;
constexpr char16_t kNone = 0xFFFF;  // "no mapping" in the to-text tables
constexpr char16_t kReplacementChar = 0xFFFD;

struct KnownCodePage {
    int id;
    const char* icuName;
};

// Windows identifiers and the ICU converters holding the Windows tables.
constexpr std::array<KnownCodePage, 16> kKnown{{
    {936, "windows-936-2000"},
    {932, "ibm-943_P15A-2003"},
    {949, "windows-949-2000"},
    {950, "windows-950-2000"},
    {437, "ibm-437_P100-1995"},
    {850, "ibm-850_P100-1995"},
    {874, "windows-874-2000"},
    {1250, "ibm-5346_P100-1998"},
    {1251, "ibm-5347_P100-1998"},
    {1252, "ibm-5348_P100-1997"},
    {1253, "ibm-5349_P100-1998"},
    {1254, "ibm-5350_P100-1998"},
    {1255, "ibm-9447_P100-2002"},
    {1256, "ibm-9448_X100-2005"},
    {1257, "ibm-9449_P100-2002"},
    {1258, "ibm-5354_P100-1998"},
}};

// One legacy (single- or double-byte) code page as flat tables.
struct Table {
    // Text to bytes, per UTF-16 unit: below 0x100 one byte, otherwise lead << 8 | trail.
    // Unmappable units hold "?".
    std::vector<std::uint16_t> fromText = std::vector<std::uint16_t>(0x10000, '?');
    // Units whose mapping is a best fit rather than a round trip.
    std::vector<bool> bestFit = std::vector<bool>(0x10000, false);
    std::array<char16_t, 256> single{};
    std::array<bool, 256> lead{};
    std::array<bool, 256> trail{};
    std::array<std::uint8_t, 256> leadIndex{};
    std::vector<char16_t> dbcs;  // leadIndex * 256 + trail -> unit, or kNone
    bool asciiTransparent = true;
};

struct UnmappedContext {
    std::vector<bool>* unmapped;
};

// Writes "?" for every character the converter cannot map. ICU's own substitute
// callback would drop the default-ignorable characters without a trace, which loses
// data and differs from what Windows does.
void questionMarkCallback(const void* context, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                          UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* error)
{
    if (reason > UCNV_IRREGULAR)
        return;
    const auto* ctx = static_cast<const UnmappedContext*>(context);
    if (codePoint >= 0 && codePoint < 0x10000)
        (*ctx->unmapped)[static_cast<std::size_t>(codePoint)] = true;
    *error = U_ZERO_ERROR;
    ucnv_cbFromUWriteBytes(args, "?", 1, 0, error);
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter(const char* name)
{
    UErrorCode error = U_ZERO_ERROR;
    Converter cnv(ucnv_open(name, &error));
    if (U_FAILURE(error))
        return nullptr;
    return cnv;
}

// Maps every BMP unit through the converter in one call; the offsets tell which
// output bytes belong to which unit.
bool readFromTextTable(const char* name, bool fallback, std::vector<std::uint16_t>& mapping,
                       std::vector<bool>& unmapped)
{
    Converter cnv = openConverter(name);
    if (!cnv)
        return false;
    ucnv_setFallback(cnv.get(), fallback);
    UnmappedContext context{&unmapped};
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setFromUCallBack(cnv.get(), questionMarkCallback, &context, nullptr, nullptr, &error);
    if (U_FAILURE(error))
        return false;

    std::vector<UChar> units;
    units.reserve(0x10000);
    for (std::uint32_t u = 0; u < 0x10000; ++u)
        if (u < 0xD800 || u > 0xDFFF)
            units.push_back(static_cast<UChar>(u));
    std::vector<char> out(units.size() * 4);
    std::vector<int32_t> offsets(out.size());
    char* target = out.data();
    const UChar* source = units.data();
    int32_t* offsetCursor = offsets.data();
    ucnv_fromUnicode(cnv.get(), &target, out.data() + out.size(), &source, units.data() + units.size(),
                     offsetCursor, true, &error);
    if (U_FAILURE(error))
        return false;
    const std::size_t produced = static_cast<std::size_t>(target - out.data());
    for (std::size_t i = 0; i < produced;) {
        const int32_t at = offsets[i];
        std::size_t n = 1;
        while (i + n < produced && offsets[i + n] == at)
            ++n;
        if (at < 0 || n > 2)
            return false;  // not a plain single/double-byte table
        const std::uint16_t unit = units[static_cast<std::size_t>(at)];
        const auto b0 = static_cast<std::uint8_t>(out[i]);
        mapping[unit] = n == 1 ? b0 : static_cast<std::uint16_t>(b0 << 8 | static_cast<std::uint8_t>(out[i + 1]));
        i += n;
    }
    return true;
}

std::unique_ptr<Table> buildTable(const char* name)
{
    auto table = std::make_unique<Table>();
    std::vector<std::uint16_t> roundTrip(0x10000, '?');
    std::vector<bool> unmappedStrict(0x10000, false);
    std::vector<bool> unmappedBest(0x10000, false);
    if (!readFromTextTable(name, false, roundTrip, unmappedStrict)
        || !readFromTextTable(name, true, table->fromText, unmappedBest))
        return nullptr;
    for (std::size_t u = 0; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        if (unmappedBest[u])
            table->fromText[u] = '?';
        else if (unmappedStrict[u] || roundTrip[u] != table->fromText[u])
            table->bestFit[u] = true;
    }

    Converter cnv = openConverter(name);
    if (!cnv)
        return nullptr;
    ucnv_setFallback(cnv.get(), true);
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    UBool starters[256] = {};
    ucnv_getStarters(cnv.get(), starters, &error);
    if (U_FAILURE(error))
        return nullptr;

    auto decodeOne = [&cnv](const char* bytes, int32_t length) -> char16_t {
        UChar out[4];
        UErrorCode e = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(cnv.get(), out, 4, bytes, length, &e);
        return U_SUCCESS(e) && n == 1 ? static_cast<char16_t>(out[0]) : kNone;
    };

    int leads = 0;
    for (int b = 0; b < 256; ++b) {
        table->lead[b] = starters[b] != 0;
        if (table->lead[b]) {
            table->leadIndex[b] = static_cast<std::uint8_t>(leads++);
            table->single[b] = kNone;
        } else {
            const char byte = static_cast<char>(b);
            table->single[b] = decodeOne(&byte, 1);
        }
    }
    table->dbcs.assign(static_cast<std::size_t>(leads) * 256, kNone);
    for (int b = 0; b < 256; ++b) {
        if (!table->lead[b])
            continue;
        for (int t = 0; t < 256; ++t) {
            const char pair[2] = {static_cast<char>(b), static_cast<char>(t)};
            const char16_t unit = decodeOne(pair, 2);
            table->dbcs[table->leadIndex[b] * 256u + static_cast<unsigned>(t)] = unit;
            if (unit != kNone)
                table->trail[t] = true;
        }
    }
    for (int c = 0; c < 0x80; ++c)
        if (table->single[c] != c || table->fromText[c] != c || table->lead[c])
            table->asciiTransparent = false;
    return table;
}

int resolveCodePage(int codePage)
{
    if (codePage == 0 || codePage == 1 || codePage == 3)
        return activeCodePage();
    return codePage;
}

// The table of a legacy code page, built on first use; null when unknown.
const Table* tableFor(int codePage)
{
    static std::array<std::once_flag, kKnown.size()> once;
    static std::array<std::unique_ptr<Table>, kKnown.size()> tables;
    for (std::size_t i = 0; i < kKnown.size(); ++i) {
        if (kKnown[i].id != codePage)
            continue;
        std::call_once(once[i], [i] { tables[i] = buildTable(kKnown[i].icuName); });
        return tables[i].get();
    }
    return nullptr;
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool isSurrogate(char16_t c) { return (c & 0xF800) == 0xD800; }

bool allAscii8(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return (v & 0x8080808080808080ull) == 0;
}

bool allAscii4Units(const char16_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return (v & 0xFF80FF80FF80FF80ull) == 0;
}

// Every converter below has two forms: with out == nullptr it only counts, otherwise it
// writes at most `capacity` units. Either way it returns the units produced, or kFail
// (an invalid character under a strict flag, or not enough room).
constexpr std::size_t kFail = SIZE_MAX;

std::size_t encodeLegacy(const Table& table, bool noBestFit, const char16_t* text, std::size_t length, char* out,
                         std::size_t capacity)
{
    const std::uint16_t* map = table.fromText.data();
    if (out == nullptr && !noBestFit) {
        // Counting is a straight sum; surrogates (one "?" per pair) are the rare fix-up.
        std::size_t bytes = length;
        bool surrogates = false;
        for (std::size_t i = 0; i < length; ++i) {
            bytes += map[text[i]] >> 8 != 0;
            surrogates |= isSurrogate(text[i]);
        }
        if (surrogates)
            for (std::size_t i = 0; i + 1 < length; ++i)
                if (isHighSurrogate(text[i]) && isLowSurrogate(text[i + 1])) {
                    --bytes;
                    ++i;
                }
        return bytes;
    }
    std::size_t o = 0;
    std::size_t i = 0;
    while (i < length) {
        if (table.asciiTransparent && i + 4 <= length && allAscii4Units(text + i)) {
            if (out != nullptr) {
                if (capacity - o < 4)
                    return kFail;
                out[o] = static_cast<char>(text[i]);
                out[o + 1] = static_cast<char>(text[i + 1]);
                out[o + 2] = static_cast<char>(text[i + 2]);
                out[o + 3] = static_cast<char>(text[i + 3]);
            }
            o += 4;
            i += 4;
            continue;
        }
        const char16_t c = text[i++];
        std::uint16_t code;
        if (isSurrogate(c)) {
            code = '?';
            if (isHighSurrogate(c) && i < length && isLowSurrogate(text[i]))
                ++i;  // one character, one "?"
        } else {
            code = noBestFit && table.bestFit[c] ? std::uint16_t('?') : map[c];
        }
        if (code < 0x100) {
            if (out != nullptr) {
                if (o == capacity)
                    return kFail;
                out[o] = static_cast<char>(code);
            }
            o += 1;
        } else {
            if (out != nullptr) {
                if (capacity - o < 2)
                    return kFail;
                out[o] = static_cast<char>(code >> 8);
                out[o + 1] = static_cast<char>(code & 0xFF);
            }
            o += 2;
        }
    }
    return o;
}

std::size_t decodeLegacy(const Table& table, bool strict, const unsigned char* bytes, std::size_t length,
                         char16_t* out, std::size_t capacity)
{
    std::size_t o = 0;
    std::size_t i = 0;
    while (i < length) {
        if (table.asciiTransparent && i + 8 <= length && allAscii8(bytes + i)) {
            if (out != nullptr) {
                if (capacity - o < 8)
                    return kFail;
                for (int k = 0; k < 8; ++k)
                    out[o + k] = bytes[i + k];
            }
            o += 8;
            i += 8;
            continue;
        }
        const unsigned char b = bytes[i];
        char16_t unit;
        if (!table.lead[b]) {
            unit = table.single[b];
            ++i;
        } else if (i + 1 < length && table.trail[bytes[i + 1]]) {
            unit = table.dbcs[table.leadIndex[b] * 256u + bytes[i + 1]];
            i += 2;
        } else {
            unit = kNone;  // the next byte is read afresh
            ++i;
        }
        if (unit == kNone) {
            if (strict)
                return kFail;
            unit = u'?';
        }
        if (out != nullptr) {
            if (o == capacity)
                return kFail;
            out[o] = unit;
        }
        ++o;
    }
    return o;
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
        } else if (c < 0xD800 || c > 0xDFFF) {
            f = {{static_cast<std::uint8_t>(0xE0 | c >> 12), static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)),
                  static_cast<std::uint8_t>(0x80 | (c & 0x3F))},
                 3};
        }
    }
    return forms;
}

std::size_t encodeUtf8(bool strict, const char16_t* text, std::size_t length, char* out, std::size_t capacity)
{
    if (out == nullptr) {
        // Plain unsigned sums so the compiler can vectorise the loop.
        std::size_t bytes = length;
        unsigned surrogates = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned c = text[i];
            bytes += static_cast<unsigned>(c >= 0x80) + static_cast<unsigned>(c >= 0x800);
            surrogates |= static_cast<unsigned>(c - 0xD800u < 0x800u);
        }
        if (surrogates == 0)
            return bytes;
        // A pair is 4 bytes, not 3 + 3; a lone surrogate stays 3 (U+FFFD).
        for (std::size_t i = 0; i < length; ++i) {
            if (!isSurrogate(text[i]))
                continue;
            if (isHighSurrogate(text[i]) && i + 1 < length && isLowSurrogate(text[i + 1])) {
                bytes -= 2;
                ++i;
            } else if (strict) {
                return kFail;
            }
        }
        return bytes;
    }
    static const std::vector<Utf8Form> forms = makeUtf8Forms();
    const Utf8Form* utf8Forms = forms.data();
    std::size_t o = 0;
    std::size_t i = 0;
    while (i < length) {
        char32_t c = text[i++];
        if (capacity - o >= 4) {
            // One table load and one four-byte store per unit, no branches on the
            // character class: mixed Chinese and ASCII text would mispredict them.
            const Utf8Form form = utf8Forms[c];
            if (form.length != 0) {
                std::memcpy(out + o, &form, 4);
                o += form.length;
                continue;
            }
        }
        if (c < 0x80) {
            if (o == capacity)
                return kFail;
            out[o++] = static_cast<char>(c);
            continue;
        }
        if (c < 0x800) {
            if (capacity - o < 2)
                return kFail;
            out[o] = static_cast<char>(0xC0 | (c >> 6));
            out[o + 1] = static_cast<char>(0x80 | (c & 0x3F));
            o += 2;
            continue;
        }
        if (isSurrogate(static_cast<char16_t>(c))) {
            if (isHighSurrogate(static_cast<char16_t>(c)) && i < length && isLowSurrogate(text[i])) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
                if (capacity - o < 4)
                    return kFail;
                out[o] = static_cast<char>(0xF0 | (c >> 18));
                out[o + 1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                out[o + 2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out[o + 3] = static_cast<char>(0x80 | (c & 0x3F));
                o += 4;
                continue;
            }
            if (strict)
                return kFail;
            c = kReplacementChar;
        }
        if (capacity - o < 3)
            return kFail;
        out[o] = static_cast<char>(0xE0 | (c >> 12));
        out[o + 1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[o + 2] = static_cast<char>(0x80 | (c & 0x3F));
        o += 3;
    }
    return o;
}

// Length of the well-formed UTF-8 sequence at s (1-4), or 0 with `bad` set to the
// length of the maximal invalid subpart to replace by one U+FFFD.
std::size_t utf8Sequence(const unsigned char* s, std::size_t avail, char32_t& cp, std::size_t& bad)
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

template <bool Counting>
std::size_t decodeUtf8Impl(bool strict, const unsigned char* bytes, std::size_t length, char16_t* out,
                           std::size_t capacity)
{
    std::size_t o = 0;
    std::size_t i = 0;
    auto room = [&](std::size_t n) { return Counting || capacity - o >= n; };
    while (i < length) {
        if (i + 8 <= length && allAscii8(bytes + i)) {
            if (!room(8))
                return kFail;
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
                return kFail;
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
                if (cp >= 0x800 && (cp & 0xF800) != 0xD800) {
                    if (!room(1))
                        return kFail;
                    if (!Counting)
                        out[o] = static_cast<char16_t>(cp);
                    ++o;
                    i += 3;
                    continue;
                }
            }
        } else if (b0 >= 0xC2 && b0 <= 0xDF && length - i >= 2 && (bytes[i + 1] & 0xC0) == 0x80) {
            if (!room(1))
                return kFail;
            if (!Counting)
                out[o] = static_cast<char16_t>((b0 & 0x1Fu) << 6 | (bytes[i + 1] & 0x3Fu));
            ++o;
            i += 2;
            continue;
        }
        char32_t cp;
        std::size_t bad;
        std::size_t n = utf8Sequence(bytes + i, length - i, cp, bad);
        if (n == 0) {
            if (strict)
                return kFail;
            cp = kReplacementChar;
            n = bad;
        }
        i += n;
        const std::size_t units = cp >= 0x10000 ? 2 : 1;
        if (!room(units))
            return kFail;
        if (!Counting) {
            if (units == 1) {
                out[o] = static_cast<char16_t>(cp);
            } else {
                out[o] = static_cast<char16_t>(0xD7C0 + (cp >> 10));
                out[o + 1] = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
            }
        }
        o += units;
    }
    return o;
}

std::size_t decodeUtf8(bool strict, const unsigned char* bytes, std::size_t length, char16_t* out,
                       std::size_t capacity)
{
    return out == nullptr ? decodeUtf8Impl<true>(strict, bytes, length, nullptr, 0)
                          : decodeUtf8Impl<false>(strict, bytes, length, out, capacity);
}

// Never reads past the terminator, so it is safe at the very end of an allocation.
std::size_t terminatedLength(const char16_t* text)
{
    std::size_t n = 0;
    for (;;) {
        if (text[n] == 0)
            return n;
        if (text[n + 1] == 0)
            return n + 1;
        if (text[n + 2] == 0)
            return n + 2;
        if (text[n + 3] == 0)
            return n + 3;
        n += 4;
    }
}

// The result as the Windows functions give it: 0 on failure or when it does not fit an int.
int finish(std::size_t size)
{
    if (size == kFail || size == 0 || size > static_cast<std::size_t>(INT_MAX))
        return 0;
    return static_cast<int>(size);
}

} // namespace

int activeCodePage() { return kChineseCodePage; }

int wideCharToMultiByte(int codePage, std::uint32_t flags, const char16_t* text, int textLength, char* buffer,
                        int bufferSize)
{
    if (text == nullptr || textLength == 0 || textLength < -1 || bufferSize < 0
        || (bufferSize > 0 && buffer == nullptr))
        return 0;
    codePage = resolveCodePage(codePage);
    const std::size_t length = textLength == -1 ? terminatedLength(text) + 1 : static_cast<std::size_t>(textLength);
    char* out = bufferSize == 0 ? nullptr : buffer;
    const auto capacity = static_cast<std::size_t>(bufferSize);
    if (codePage == kUtf8CodePage) {
        if ((flags & ~kErrInvalidChars) != 0)
            return 0;
        return finish(encodeUtf8((flags & kErrInvalidChars) != 0, text, length, out, capacity));
    }
    const Table* table = tableFor(codePage);
    if (table == nullptr || (flags & ~kNoBestFitChars) != 0)
        return 0;
    return finish(encodeLegacy(*table, (flags & kNoBestFitChars) != 0, text, length, out, capacity));
}

int multiByteToWideChar(int codePage, std::uint32_t flags, const char* bytes, int byteLength, char16_t* buffer,
                        int bufferSize)
{
    if (bytes == nullptr || byteLength == 0 || byteLength < -1 || bufferSize < 0
        || (bufferSize > 0 && buffer == nullptr))
        return 0;
    codePage = resolveCodePage(codePage);
    const std::size_t length = byteLength == -1 ? std::strlen(bytes) + 1 : static_cast<std::size_t>(byteLength);
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    char16_t* out = bufferSize == 0 ? nullptr : buffer;
    const auto capacity = static_cast<std::size_t>(bufferSize);
    if (codePage == kUtf8CodePage) {
        if ((flags & ~kMbErrInvalidChars) != 0)
            return 0;
        return finish(decodeUtf8((flags & kMbErrInvalidChars) != 0, in, length, out, capacity));
    }
    const Table* table = tableFor(codePage);
    if (table == nullptr || (flags & ~(kMbErrInvalidChars | kPrecomposed)) != 0)
        return 0;
    return finish(decodeLegacy(*table, (flags & kMbErrInvalidChars) != 0, in, length, out, capacity));
}

std::string textToAnsi(std::u16string_view text)
{
    const Table* table = tableFor(activeCodePage());
    if (text.empty() || table == nullptr)
        return {};
    std::string out(encodeLegacy(*table, false, text.data(), text.size(), nullptr, 0), '\0');
    encodeLegacy(*table, false, text.data(), text.size(), out.data(), out.size());
    return out;
}

std::u16string ansiToText(std::string_view bytes)
{
    const Table* table = tableFor(activeCodePage());
    if (bytes.empty() || table == nullptr)
        return {};
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::u16string out(decodeLegacy(*table, false, in, bytes.size(), nullptr, 0), u'\0');
    decodeLegacy(*table, false, in, bytes.size(), out.data(), out.size());
    return out;
}

} // namespace talvo::platform
