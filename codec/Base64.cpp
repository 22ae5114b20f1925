#include "Base64.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/CodePage.h"
#include "platform/RuntimeError.h"

namespace talvo {

namespace {

namespace fs = std::filesystem;

constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
constexpr std::uint8_t kPad = 64;
constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint32_t kSlow = 0x01000000;  // marks "=" and invalid characters in the fast tables

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

enum class Outcome { Done, Invalid, CarriageReturn };

// Decodes groups of four into out (sized by the caller for the worst case) and
// returns how many bytes were written. A CR anywhere means the caller must first
// drop the CR LF pairs, which moves the group boundaries.
Outcome decodeGroups(const char16_t* s, std::size_t n, bool crSeen, char* out, std::size_t& written)
{
    char* o = out;
    std::size_t i = 0;
    auto hasCarriageReturn = [&](std::size_t from, std::size_t to) {
        if (crSeen)
            return false;
        for (std::size_t k = from; k < to; ++k)
            if (s[k] == u'\r')
                return true;
        return false;
    };
    while (i < n) {
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
        const char bytes[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                               static_cast<char>(group)};
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

[[noreturn]] void throwLastError()
{
    const int code = errno != 0 ? errno : EIO;
    throw RuntimeError::fromSystemError(std::error_code(code, std::generic_category()));
}

std::string readWholeFile(const fs::path& path)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throwLastError();
    std::string bytes;
    std::error_code sizeError;
    const auto size = fs::file_size(path, sizeError);
    if (!sizeError)
        bytes.reserve(static_cast<std::size_t>(size));
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        throwLastError();
    return bytes;
}

// Creates or truncates the file and writes exactly the bytes.
void writeWholeFile(const fs::path& path, const std::string& bytes)
{
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throwLastError();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throwLastError();
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
    std::u16string out(4 * ((n + 2) / 3), u'\0');
    const auto* in = reinterpret_cast<const unsigned char*>(sValue.data());
    char16_t* o = out.data();
    std::size_t i = 0;
    // Six bytes per step from one eight-byte read: four table stores of two characters.
    while (i + 8 <= n) {
        const std::uint64_t v = std::uint64_t{in[i]} << 56 | std::uint64_t{in[i + 1]} << 48
                                | std::uint64_t{in[i + 2]} << 40 | std::uint64_t{in[i + 3]} << 32
                                | std::uint64_t{in[i + 4]} << 24 | std::uint64_t{in[i + 5]} << 16;
        const std::uint32_t p[4] = {kPairTable[v >> 52], kPairTable[(v >> 40) & 0xFFF],
                                    kPairTable[(v >> 28) & 0xFFF], kPairTable[(v >> 16) & 0xFFF]};
        std::memcpy(o, p, sizeof p);
        o += 8;
        i += 6;
    }
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
    }
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
        std::error_code error;
        if (!fs::remove(path, error) && error)
            throw RuntimeError::fromSystemError(error);
    }
    writeWholeFile(path, bytes);
}

void Base64::DecodeBase64FileToFile(const std::u16string& strBase64FilePath, const std::u16string& strFilePath)
{
    const fs::path source = toPath(strBase64FilePath);
    if (!fileExists(source))
        return;
    DecodeBase64StringToFile(platform::ansiToText(readWholeFile(source)), strFilePath);
}

Variant Base64::EncodFileToBase64String(const std::u16string& strFileSource)
{
    const fs::path source = toPath(strFileSource);
    if (!fileExists(source))
        return {};
    return Variant(EncodeBase64Byte(readWholeFile(source)));
}

void Base64::EncodFileToBase64File(const std::u16string& strFileSource, const std::u16string& strFileBase64Desti)
{
    const fs::path destination = toPath(strFileBase64Desti);
    // Read before the destination is created: writing a file's Base64 over itself
    // must not encode the emptied file.
    const Variant encoded = EncodFileToBase64String(strFileSource);
    writeWholeFile(destination, encoded.isText() ? platform::textToAnsi(encoded.text()) : std::string());
}

} // namespace talvo
