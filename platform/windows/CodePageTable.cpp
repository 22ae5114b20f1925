#include "../CodePageTable.h"
#include "../CodePage.h"
#include "../Surrogates.h"

#include <windows.h>

// Win32 holds the tables; they are read once per code page, one character at a time,
// into the flat tables that CodePage.cpp walks with our rules.
namespace talvo::platform {

int activeCodePage() { return static_cast<int>(GetACP()); }

namespace detail {

namespace {

// One character's bytes as the table stores them: one byte, or lead << 8 | trail.
std::uint16_t encodeOne(UINT codePage, char16_t unit)
{
    const WCHAR wide = static_cast<WCHAR>(unit);
    char bytes[4] = {};
    const int n = WideCharToMultiByte(codePage, 0, &wide, 1, bytes, sizeof bytes, nullptr, nullptr);
    if (n == 1)
        return static_cast<unsigned char>(bytes[0]);
    if (n == 2)
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) << 8
                                          | static_cast<unsigned char>(bytes[1]));
    return '?';
}

char16_t decodeOne(UINT codePage, const char* bytes, int length)
{
    WCHAR text[4] = {};
    return MultiByteToWideChar(codePage, 0, bytes, length, text, 4) == 1 ? static_cast<char16_t>(text[0]) : kUnassigned;
}

} // namespace

std::unique_ptr<CodePageTable> loadCodePageTable(int codePage)
{
    const UINT cp = static_cast<UINT>(codePage);
    CPINFOEXW info{};
    if (!GetCPInfoExW(cp, 0, &info) || info.MaxCharSize > 2)
        return nullptr;
    auto table = std::make_unique<CodePageTable>();
    table->defaultChar = static_cast<char16_t>(info.UnicodeDefaultChar);
    const std::uint16_t defaultCode = encodeOne(cp, table->defaultChar);
    // Windows gives the default character for what it cannot map; only the default
    // character's own bytes really mean it.
    auto assigned = [&](char16_t unit, std::uint16_t code) {
        return unit == table->defaultChar && code != defaultCode ? kUnassigned : unit;
    };

    for (std::uint32_t u = 0; u < 0x10000; ++u)
        if (!isSurrogate(u))
            table->fromText[u] = encodeOne(cp, static_cast<char16_t>(u));

    int leads = 0;
    for (int b = 0; b < 256; ++b) {
        table->lead[b] = IsDBCSLeadByteEx(cp, static_cast<BYTE>(b)) != 0;
        const char byte = static_cast<char>(b);
        if (table->lead[b]) {
            table->leadIndex[b] = static_cast<std::uint8_t>(leads++);
            table->single[b] = kUnassigned;
        } else {
            table->single[b] = assigned(decodeOne(cp, &byte, 1), static_cast<std::uint16_t>(b));
        }
    }
    table->dbcs.assign(static_cast<std::size_t>(leads) * 256, kUnassigned);
    for (int b = 0; b < 256; ++b) {
        if (!table->lead[b])
            continue;
        for (int t = 1; t < 256; ++t) {
            const char pair[2] = {static_cast<char>(b), static_cast<char>(t)};
            const auto code = static_cast<std::uint16_t>(b << 8 | t);
            table->dbcs[table->leadIndex[b] * 256u + static_cast<unsigned>(t)] = assigned(decodeOne(cp, pair, 2), code);
        }
    }
    finishCodePageTable(*table);
    return table;
}

} // namespace detail

} // namespace talvo::platform
