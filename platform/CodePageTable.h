#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The flat tables behind one legacy (single- or double-byte) code page. Each platform
// fills them from its own services (platform/linux: ICU, platform/windows: Win32);
// CodePage.cpp walks them and applies our replacement rules, so both platforms give
// the same answers for the same calls. Internal to platform/.
namespace talvo::platform::detail {

inline constexpr char16_t kUnassigned = 0xFFFF;

struct CodePageTable {
    // Text to bytes, per UTF-16 unit: below 0x100 one byte, otherwise lead << 8 | trail.
    // Units the code page cannot hold are "?".
    std::vector<std::uint16_t> fromText = std::vector<std::uint16_t>(0x10000, '?');
    // Units whose mapping is a best fit rather than a round trip.
    std::vector<bool> bestFit = std::vector<bool>(0x10000, false);
    // Bytes to text: single bytes (kUnassigned for lead bytes and unassigned bytes),
    // and per lead byte the 256 units of lead + second byte (kUnassigned when not a
    // character).
    std::array<char16_t, 256> single{};
    std::array<bool, 256> lead{};
    std::array<std::uint8_t, 256> leadIndex{};
    std::vector<char16_t> dbcs;
    // What an unassigned byte sequence becomes: "?", or the code page's own default
    // character (U+30FB in 932).
    char16_t defaultChar = u'?';
    bool asciiTransparent = true;
};

// Reads the tables of a known code page; null when the system cannot provide them.
// Implemented once per platform.
std::unique_ptr<CodePageTable> loadCodePageTable(int codePage);

// Derives what the loaders do not fill: which mappings are best fits (their bytes read
// back as another character) and whether ASCII passes through unchanged.
void finishCodePageTable(CodePageTable& table);

} // namespace talvo::platform::detail
