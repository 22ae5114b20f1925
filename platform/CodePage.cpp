#include "CodePage.h"
#include "CodePageTable.h"
#include "Surrogates.h"
#include "Utf8Codec.h"

#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

// The rules of the code-page services, the same on every platform. The system is only
// asked once per code page, for its tables (CodePageTable.h); every conversion after
// that is a table walk here. The tables are immutable once built, so all threads share
// them without locking.
namespace talvo::platform {

namespace {

// A byte below this after a lead byte is never taken as its trail byte: the lead byte
// alone becomes the default character, so it cannot swallow a quote, a delimiter, a
// digit or the terminator. (Windows itself takes any byte but U+0000 as the trail.)
constexpr unsigned char kLowestTrailByte = 0x40;

using detail::allAscii8;
using detail::CodePageTable;
using detail::kUnassigned;

// The legacy code pages we accept besides 65001.
constexpr std::array<int, 16> kKnown{932,  936,  949,  950,  437,  850,  874,  1250,
                                     1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

int resolveCodePage(int codePage)
{
    if (codePage == 0 || codePage == 1 || codePage == 3)
        return activeCodePage();
    return codePage;
}

// The table of a legacy code page, built on first use; null when unknown.
const CodePageTable* tableFor(int codePage)
{
    static std::array<std::once_flag, kKnown.size()> once;
    static std::array<std::unique_ptr<CodePageTable>, kKnown.size()> tables;
    for (std::size_t i = 0; i < kKnown.size(); ++i) {
        if (kKnown[i] != codePage)
            continue;
        std::call_once(once[i], [i] { tables[i] = detail::loadCodePageTable(kKnown[i]); });
        return tables[i].get();
    }
    return nullptr;
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
constexpr std::size_t kFail = detail::kUtf8Fail;

std::size_t encodeLegacy(const CodePageTable& table, bool noBestFit, const char16_t* text, std::size_t length,
                         char* out, std::size_t capacity)
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
                ++i; // one character, one "?"
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

std::size_t decodeLegacy(const CodePageTable& table, bool strict, const unsigned char* bytes, std::size_t length,
                         char16_t* out, std::size_t capacity)
{
    if (out == nullptr && !strict) {
        // Counting needs no table but the lead bytes: every step gives one unit.
        if (table.dbcs.empty())
            return length;
        std::size_t steps = 0;
        std::size_t i = 0;
        while (i < length) {
            if (i + 8 <= length && allAscii8(bytes + i)) {
                steps += 8;
                i += 8;
                continue;
            }
            i += table.lead[bytes[i]] && i + 1 < length && bytes[i + 1] >= kLowestTrailByte ? 2 : 1;
            ++steps;
        }
        return steps;
    }
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
        } else if (i + 1 < length && bytes[i + 1] >= kLowestTrailByte) {
            unit = table.dbcs[table.leadIndex[b] * 256u + bytes[i + 1]];
            i += 2;
        } else {
            unit = kUnassigned; // the next byte is read afresh
            ++i;
        }
        if (unit == kUnassigned) {
            if (strict)
                return kFail;
            unit = table.defaultChar;
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

void detail::finishCodePageTable(CodePageTable& table)
{
    auto decodeCode = [&table](std::uint16_t code) -> char16_t {
        if (code < 0x100)
            return table.lead[code] ? kUnassigned : table.single[code];
        const unsigned lead = code >> 8, trail = code & 0xFF;
        if (!table.lead[lead] || trail < kLowestTrailByte)
            return kUnassigned;
        return table.dbcs[table.leadIndex[lead] * 256u + trail];
    };
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
        const std::uint16_t code = table.fromText[u];
        table.bestFit[u] = !isSurrogate(u) && decodeCode(code) != u && !(u == '?' && code == '?');
    }
    table.asciiTransparent = true;
    for (int c = 0; c < 0x80; ++c)
        if (table.single[c] != c || table.fromText[c] != c || table.lead[c])
            table.asciiTransparent = false;
}

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
        return finish(detail::encodeUtf8((flags & kErrInvalidChars) != 0, text, length, out, capacity));
    }
    const CodePageTable* table = tableFor(codePage);
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
        return finish(detail::decodeUtf8((flags & kMbErrInvalidChars) != 0, in, length, out, capacity));
    }
    const CodePageTable* table = tableFor(codePage);
    if (table == nullptr || (flags & ~(kMbErrInvalidChars | kPrecomposed)) != 0)
        return 0;
    return finish(decodeLegacy(*table, (flags & kMbErrInvalidChars) != 0, in, length, out, capacity));
}

std::string textToAnsi(std::u16string_view text)
{
    const CodePageTable* table = tableFor(activeCodePage());
    if (text.empty() || table == nullptr)
        return {};
    std::string out(encodeLegacy(*table, false, text.data(), text.size(), nullptr, 0), '\0');
    encodeLegacy(*table, false, text.data(), text.size(), out.data(), out.size());
    return out;
}

std::u16string ansiToText(std::string_view bytes)
{
    const CodePageTable* table = tableFor(activeCodePage());
    if (bytes.empty() || table == nullptr)
        return {};
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::u16string out(decodeLegacy(*table, false, in, bytes.size(), nullptr, 0), u'\0');
    decodeLegacy(*table, false, in, bytes.size(), out.data(), out.size());
    return out;
}

} // namespace talvo::platform
