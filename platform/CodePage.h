#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The Windows code-page services (GetACP, WideCharToMultiByte, MultiByteToWideChar)
// with the same answers on every platform: the system provides the tables (ICU with
// our corrections on Linux, Win32 on Windows), the rules below are ours.
//
// Known code pages: 0 and 3 (the active ANSI code page), 1 (the OEM code page, the
// same as ANSI here), 65001 (UTF-8), 932, 936, 949, 950, 437, 850, 874 and 1250-1258.
// Any other identifier fails (0). For every known code page, every UTF-16 unit, every
// single byte and every byte pair converts as Windows converts it with flags 0, but
// for the one rule marked "ours" below. Control codes are never remapped.
//
// Replacement rules with flags 0:
// - text to bytes: a character the code page cannot hold becomes "?" (0x3F), including
//   the invisible "default ignorable" characters (U+200B, U+FEFF, variation selectors,
//   ...); a surrogate pair counts as one character and gives one "?", a lone surrogate
//   gives "?" too. The legacy code pages use Windows' best-fit mappings (U+00C0 may
//   become "A", U+0101 becomes "a" in 1252); kNoBestFitChars turns those into "?".
//   For 65001 a lone surrogate becomes U+FFFD (EF BF BD).
// - bytes to text: an unassigned byte or byte pair becomes the code page's default
//   character: "?", or U+30FB in 932. In a double-byte code page a lead byte takes the
//   next byte with it (0x7F and 0xFF too, as on Windows). A lead byte at the end, or
//   followed by a byte below 0x40, becomes the default character on its own and the
//   following byte is read afresh, so a bad lead byte never swallows a quote, a
//   delimiter, a digit or the terminator (ours: Windows takes any byte but 0x00 there).
// - bytes to text in 65001: every maximal invalid subsequence becomes U+FFFD.
namespace talvo::platform {

inline constexpr int kAnsiCodePage = 0; // "the system's ANSI code page"
inline constexpr int kUtf8CodePage = 65001;

// Flags understood here (the Windows values). Any other flag fails (0) rather than
// being silently ignored.
inline constexpr std::uint32_t kNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS, not 65001
inline constexpr std::uint32_t kErrInvalidChars = 0x80;  // WC_ERR_INVALID_CHARS, 65001 only
inline constexpr std::uint32_t kPrecomposed = 0x1;       // MB_PRECOMPOSED, not 65001; no effect
inline constexpr std::uint32_t kMbErrInvalidChars = 0x8; // MB_ERR_INVALID_CHARS

// The active ANSI code page: 936 (GBK) on Linux, GetACP() on Windows.
int activeCodePage();

// Converts text to bytes in codePage (0 = the active ANSI code page).
// textLength -1 means the text ends at its first U+0000, and the terminator is then
// converted and counted too; a textLength of 0 fails, as on Windows. With bufferSize 0
// returns the bytes needed; otherwise the bytes written. Returns 0 on failure: unknown
// code page, flags the code page does not allow, or a buffer too small (nothing is ever
// written past bufferSize). With flags 0 a character the code page cannot hold becomes
// "?". With kErrInvalidChars (65001 only) a lone surrogate fails the conversion.
int wideCharToMultiByte(int codePage, std::uint32_t flags, const char16_t* text, int textLength, char* buffer,
                        int bufferSize);

// The mirror image: bytes in codePage to UTF-16 units, same conventions; invalid byte
// sequences are replaced as described above, or fail the conversion with
// kMbErrInvalidChars.
int multiByteToWideChar(int codePage, std::uint32_t flags, const char* bytes, int byteLength, char16_t* buffer,
                        int bufferSize);

// Whole-text conversions through the active ANSI code page (nothing is terminated,
// U+0000 converts like any character): "?" for characters the code page cannot hold.
std::string textToAnsi(std::u16string_view text);
std::u16string ansiToText(std::string_view bytes);

} // namespace talvo::platform
