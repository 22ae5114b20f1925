#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Stand-ins for the Windows code-page services (GetACP, WideCharToMultiByte,
// MultiByteToWideChar). Code pages are Windows identifiers; on Linux they map to
// ICU converters with the Windows tables.
namespace talvo::platform {

inline constexpr int kAnsiCodePage = 0;   // "the system's ANSI code page"
inline constexpr int kUtf8CodePage = 65001;

// The active ANSI code page: 936 (GBK) on Linux, GetACP() on Windows.
int activeCodePage();

// Converts text to bytes in codePage (0 = the active ANSI code page).
// textLength -1 means the text ends at its first U+0000, and the terminator is then
// converted and counted too. With bufferSize 0 returns the bytes needed; otherwise the
// bytes written. Returns 0 on failure: unknown code page, flags the code page does not
// allow, or a buffer too small. With flags 0 a character the code page cannot hold
// becomes "?".
int wideCharToMultiByte(int codePage, std::uint32_t flags, const char16_t* text, int textLength,
                        char* buffer, int bufferSize);

// The mirror image: bytes in codePage to UTF-16 units, same conventions; invalid byte
// sequences become replacement characters as documented in the implementation.
int multiByteToWideChar(int codePage, std::uint32_t flags, const char* bytes, int byteLength,
                        char16_t* buffer, int bufferSize);

// Whole-text conversions through the active ANSI code page (nothing is terminated,
// U+0000 converts like any character): "?" for characters the code page cannot hold.
std::string textToAnsi(std::u16string_view text);
std::u16string ansiToText(std::string_view bytes);

} // namespace talvo::platform
