#include "Base64.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/CodePage.h"
#include "platform/FileIo.h"
#include "platform/RuntimeError.h"

namespace talvo {

namespace {

namespace fs = std::filesystem;

constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
constexpr std::uint8_t kPad = 64;
constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint32_t kSlow = 0x01000000; // marks "=" and invalid characters in the fast tables

// Two output characters per 12 bits, packed so one 32-bit store writes them in order.
constexpr std::array<std::uint32_t, 4096> makePairTable()
{
    std::array<std::uint32_t, 4096> table{};
    for (std::uint32_t v = 0; v < 4096; ++v) {
        const std::uint32_t first = kAlphabet[v >> 6];
        const std::uint32_t second = kAlphabet[v & 63];
        table[v] = std::endian::native == std::endian::little ? (first | second << 16) : (first << 16 | second);
    }
    return table;
}
constexpr auto kPairTable = makePairTable();

// Value of each byte-sized character: 0-63, kPad for "=", kInvalid for the rest.
constexpr std::array<std::uint8_t, 256> makeValueTable()
{
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table)
        v = kInvalid;
    for (std::uint8_t k = 0; k < 65; ++k)
        table[kAlphabet[k]] = k;
    return table;
}
constexpr auto kValue = makeValueTable();

// The value of a character shifted into its place in a 24-bit group, or kSlow.
constexpr std::array<std::uint32_t, 256> makeShiftedTable(int shift)
{
    std::array<std::uint32_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = kValue[c] < 64 ? static_cast<std::uint32_t>(kValue[c]) << shift : kSlow;
    return table;
}
constexpr auto kD0 = makeShiftedTable(18);
constexpr auto kD1 = makeShiftedTable(12);
constexpr auto kD2 = makeShiftedTable(6);
constexpr auto kD3 = makeShiftedTable(0);

// Four UTF-16 units read as one 64-bit word, put into little-endian unit order.
constexpr std::uint64_t swapUnits(std::uint64_t w)
{
    return (w >> 48) | ((w >> 16) & 0xFFFF0000ull) | ((w << 16) & 0xFFFF00000000ull) | (w << 48);
}

// Eight bytes as a big-endian number; compilers turn the shifts into one load and a
// byte swap.
inline std::uint64_t loadBigEndian64(const unsigned char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little) {
        w = ((w & 0x00000000000000FFull) << 56) | ((w & 0x000000000000FF00ull) << 40)
            | ((w & 0x0000000000FF0000ull) << 24) | ((w & 0x00000000FF000000ull) << 8)
            | ((w & 0x000000FF00000000ull) >> 8) | ((w & 0x0000FF0000000000ull) >> 24)
            | ((w & 0x00FF000000000000ull) >> 40) | ((w & 0xFF00000000000000ull) >> 56);
    }
    return w;
}

// Four characters (two table entries) as one 64-bit store in memory order.
inline std::uint64_t twoPairs(std::uint32_t first, std::uint32_t second)
{
    if constexpr (std::endian::native == std::endian::little)
        return first | std::uint64_t{second} << 32;
    else
        return std::uint64_t{first} << 32 | second;
}

// Outputs up to this many bytes are written in place; larger ones go through a
// chunk so memory far beyond the caches is written only once.
constexpr std::size_t kDirectOutputLimit = 4u << 20;

// Encodes twelve bytes per step (two eight-byte reads, four 64-bit stores) while at
// least fourteen input bytes remain, for at most maxSteps steps.
inline char16_t* encodeWholeSteps(const unsigned char* in, std::size_t n, std::size_t& i, char16_t* o,
                                  std::size_t maxSteps)
{
    for (std::size_t step = 0; step < maxSteps && n - i >= 14; ++step) {
        const std::uint64_t v = loadBigEndian64(in + i);
        const std::uint64_t w = loadBigEndian64(in + i + 6);
        const std::uint64_t a = twoPairs(kPairTable[v >> 52], kPairTable[(v >> 40) & 0xFFF]);
        const std::uint64_t b = twoPairs(kPairTable[(v >> 28) & 0xFFF], kPairTable[(v >> 16) & 0xFFF]);
        const std::uint64_t c = twoPairs(kPairTable[w >> 52], kPairTable[(w >> 40) & 0xFFF]);
        const std::uint64_t d = twoPairs(kPairTable[(w >> 28) & 0xFFF], kPairTable[(w >> 16) & 0xFFF]);
        std::memcpy(o, &a, 8);
        std::memcpy(o + 4, &b, 8);
        std::memcpy(o + 8, &c, 8);
        std::memcpy(o + 12, &d, 8);
        o += 16;
        i += 12;
    }
    return o;
}

enum class Outcome { Done, Invalid, CarriageReturn };

// Decodes groups of four into out (sized by the caller for the worst case) and
// returns how many bytes were written. A CR anywhere means the caller must first
// drop the CR LF pairs, which moves the group boundaries.
Outcome decodeGroups(const char16_t* s, std::size_t n, bool pairsRemoved, char* out, std::size_t& written)
{
    char* o = out;
    std::size_t i = 0;
    auto hasCarriageReturn = [&](std::size_t from, std::size_t to) {
        if (pairsRemoved)
            return false;
        for (std::size_t k = from; k < to; ++k)
            if (s[k] == u'\r')
                return true;
        return false;
    };
    while (i < n) {
        // Two clean groups per step: eight characters below U+0100, none of them "=".
        while (n - i >= 8) {
            std::uint64_t w0, w1;
            std::memcpy(&w0, s + i, 8);
            std::memcpy(&w1, s + i + 4, 8);
            if (((w0 | w1) & 0xFF00FF00FF00FF00ull) != 0)
                break;
            if constexpr (std::endian::native != std::endian::little) {
                w0 = swapUnits(w0);
                w1 = swapUnits(w1);
            }
            const std::uint32_t v0 = kD0[w0 & 0xFF] | kD1[(w0 >> 16) & 0xFF] | kD2[(w0 >> 32) & 0xFF] | kD3[w0 >> 48];
            const std::uint32_t v1 = kD0[w1 & 0xFF] | kD1[(w1 >> 16) & 0xFF] | kD2[(w1 >> 32) & 0xFF] | kD3[w1 >> 48];
            if ((v0 | v1) >= kSlow)
                break;
            o[0] = static_cast<char>(v0 >> 16);
            o[1] = static_cast<char>(v0 >> 8);
            o[2] = static_cast<char>(v0);
            o[3] = static_cast<char>(v1 >> 16);
            o[4] = static_cast<char>(v1 >> 8);
            o[5] = static_cast<char>(v1);
            o += 6;
            i += 8;
        }
        if (i >= n)
            break;
        const std::size_t left = n - i;
        if (left >= 4) {
            const char16_t c0 = s[i], c1 = s[i + 1], c2 = s[i + 2], c3 = s[i + 3];
            if ((c0 | c1 | c2 | c3) < 0x100) {
                const std::uint32_t v = kD0[c0] | kD1[c1] | kD2[c2] | kD3[c3];
                if (v < kSlow) {
                    o[0] = static_cast<char>(v >> 16);
                    o[1] = static_cast<char>(v >> 8);
                    o[2] = static_cast<char>(v);
                    o += 3;
                    i += 4;
                    continue;
                }
            }
        }
        // A group with "=", a bad character, or cut short by the end of the text.
        const std::size_t size = left < 4 ? left : 4;
        if (hasCarriageReturn(i, i + size))
            return Outcome::CarriageReturn;
        std::uint32_t values[4] = {0, 0, 0, 0};
        std::size_t d = size;
        for (std::size_t k = 0; k < size; ++k) {
            const char16_t c = s[i + k];
            const std::uint8_t v = c < 0x100 ? kValue[c] : kInvalid;
            if (v == kPad) {
                d = k;
                break;
            }
            if (v == kInvalid)
                return hasCarriageReturn(i + size, n) ? Outcome::CarriageReturn : Outcome::Invalid;
            values[k] = v;
        }
        const std::uint32_t group = values[0] << 18 | values[1] << 12 | values[2] << 6 | values[3];
        const char bytes[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8), static_cast<char>(group)};
        for (std::size_t k = 0; k + 1 < d; ++k)
            *o++ = bytes[k];
        i += size;
    }
    written = static_cast<std::size_t>(o - out);
    return Outcome::Done;
}

std::u16string withoutCrLfPairs(const std::u16string& text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

fs::path toPath(const std::u16string& path)
{
    try {
        return fs::path(path);
    } catch (const std::exception&) {
        throw RuntimeError(RuntimeError::kBadFileName);
    }
}

bool fileExists(const fs::path& path)
{
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

} // namespace

void Base64::InitBase64Table()
{
    for (std::size_t k = 0; k < strBase64Table.size(); ++k)
        strBase64Table[k] = kAlphabet[k];
}

std::u16string Base64::EncodeBase64Byte(const std::string& sValue)
{
    InitBase64Table();
    const std::size_t n = sValue.size();
    const std::size_t size = 4 * ((n + 2) / 3);
    const auto* in = reinterpret_cast<const unsigned char*>(sValue.data());
    std::size_t i = 0;
    std::u16string out;
    char16_t chunk[4096];
    char16_t* o;
    if (size * sizeof(char16_t) <= kDirectOutputLimit) {
        // Small enough to stay in cache: zero-fill, then write in place.
        out.resize(size);
        o = out.data();
        o = encodeWholeSteps(in, n, i, o, SIZE_MAX);
    } else {
        // Encoded in chunks and appended, so the output memory is written once instead
        // of being zero-filled first and then written again.
        out.reserve(size);
        while (n - i >= 14) {
            o = encodeWholeSteps(in, n, i, chunk, std::size(chunk) / 16);
            out.append(chunk, static_cast<std::size_t>(o - chunk));
        }
        o = chunk;
    }
    char16_t* const tailStart = o;
    while (i + 3 <= n) {
        const std::uint32_t v = std::uint32_t{in[i]} << 16 | std::uint32_t{in[i + 1]} << 8 | in[i + 2];
        const std::uint32_t p[2] = {kPairTable[v >> 12], kPairTable[v & 0xFFF]};
        std::memcpy(o, p, sizeof p);
        o += 4;
        i += 3;
    }
    if (i < n) {
        const std::uint32_t b1 = in[i];
        const std::uint32_t b2 = i + 1 < n ? in[i + 1] : 0;
        o[0] = strBase64Table[b1 >> 2];
        o[1] = strBase64Table[(b1 & 3) << 4 | b2 >> 4];
        o[2] = i + 1 < n ? strBase64Table[(b2 & 15) << 2] : u'=';
        o[3] = u'=';
        o += 4;
    }
    if (size * sizeof(char16_t) > kDirectOutputLimit)
        out.append(tailStart, static_cast<std::size_t>(o - tailStart));
    return out;
}

std::string Base64::DecodeBase64Byte(const std::u16string& str2Decode)
{
    std::string out((str2Decode.size() / 4 + 1) * 3, '\0');
    std::size_t written = 0;
    Outcome outcome = decodeGroups(str2Decode.data(), str2Decode.size(), false, out.data(), written);
    if (outcome == Outcome::CarriageReturn) {
        const std::u16string stripped = withoutCrLfPairs(str2Decode);
        outcome = decodeGroups(stripped.data(), stripped.size(), true, out.data(), written);
    }
    if (outcome != Outcome::Done)
        return {};
    out.resize(written);
    return out;
}

std::u16string Base64::DecodeBase64String(const std::u16string& str2Decode)
{
    return platform::ansiToText(DecodeBase64Byte(str2Decode));
}

std::u16string Base64::EncodeBase64String(const std::u16string& str2Encode)
{
    return EncodeBase64Byte(platform::textToAnsi(str2Encode));
}

void Base64::DecodeBase64StringToFile(const std::u16string& strBase64, const std::u16string& strFilePath)
{
    const fs::path path = toPath(strFilePath);
    // Decoding cannot fail, so it comes first: the old file is only removed once the
    // new content is in hand.
    const std::string bytes = DecodeBase64Byte(strBase64);
    if (fileExists(path)) {
        platform::removeFile(path);
    }
    platform::writeWholeFile(path, bytes);
}

void Base64::DecodeBase64FileToFile(const std::u16string& strBase64FilePath, const std::u16string& strFilePath)
{
    const fs::path source = toPath(strBase64FilePath);
    if (!fileExists(source))
        return;
    DecodeBase64StringToFile(platform::ansiToText(platform::readWholeFile(source)), strFilePath);
}

Variant Base64::EncodFileToBase64String(const std::u16string& strFileSource)
{
    const fs::path source = toPath(strFileSource);
    if (!fileExists(source))
        return {};
    return Variant(EncodeBase64Byte(platform::readWholeFile(source)));
}

void Base64::EncodFileToBase64File(const std::u16string& strFileSource, const std::u16string& strFileBase64Desti)
{
    const fs::path destination = toPath(strFileBase64Desti);
    // Read before the destination is created: writing a file's Base64 over itself
    // must not encode the emptied file.
    const Variant encoded = EncodFileToBase64String(strFileSource);
    platform::writeWholeFile(destination, encoded.isText() ? platform::textToAnsi(encoded.text()) : std::string());
}

} // namespace talvo
