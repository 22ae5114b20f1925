#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The one UTF-8 encoder and decoder, behind both toUtf8/fromUtf8 (Utf.h) and code page
// 65001 of the code-page services (CodePage.h). Internal to platform/.
namespace talvo::platform::detail {

// Returned for an invalid character under a strict flag, or when out has no room.
inline constexpr std::size_t kUtf8Fail = SIZE_MAX;

// UTF-16 text to UTF-8. With out == nullptr only counts; otherwise writes at most
// capacity bytes. Returns the bytes produced, or kUtf8Fail. A lone surrogate becomes
// U+FFFD (EF BF BD), or fails when strict.
std::size_t encodeUtf8(bool strict, const char16_t* text, std::size_t length, char* out, std::size_t capacity);

// UTF-8 bytes to UTF-16 units, same conventions: each maximal invalid subpart (the
// Unicode / WHATWG rule) becomes one U+FFFD, or fails when strict.
std::size_t decodeUtf8(bool strict, const unsigned char* bytes, std::size_t length, char16_t* out,
                       std::size_t capacity);

// Eight bytes, all below 0x80.
inline bool allAscii8(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return (v & 0x8080808080808080ull) == 0;
}

} // namespace talvo::platform::detail
