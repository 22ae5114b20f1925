#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Per-character view of the active ANSI code page for the URL escapes, which work one
// character at a time: asking the platform for every character would dominate.
namespace talvo::codec_detail {

inline constexpr char16_t kNoCharacter = 0xFFFF;

struct AnsiTable {
    // Per UTF-16 unit: below 0x100 its single byte, otherwise lead << 8 | trail.
    std::vector<std::uint16_t> code;
    // lead << 8 | trail (lead 0x80 and up) -> the one character those bytes are, or
    // kNoCharacter when they are not one double-byte character.
    std::vector<char16_t> pair;
    // A byte on its own ("?" when it is a lead byte or not assigned).
    std::array<char16_t, 256> single{};
};

// Built from the platform conversion on first use, then shared read-only.
const AnsiTable& ansiTable();

} // namespace talvo::codec_detail
