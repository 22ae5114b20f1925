#include "AnsiTable.h"

#include <string>

#include "platform/CodePage.h"

namespace talvo::codec_detail {

namespace {

AnsiTable build()
{
    AnsiTable table;
    table.code.resize(0x10000);
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
        const std::string bytes = platform::textToAnsi(std::u16string(1, static_cast<char16_t>(u)));
        const auto b0 = bytes.empty() ? 0x3Fu : static_cast<unsigned char>(bytes[0]);
        table.code[u] = static_cast<std::uint16_t>(bytes.size() == 2 ? b0 << 8 | static_cast<unsigned char>(bytes[1])
                                                                     : b0);
    }
    for (std::uint32_t b = 0; b < 256; ++b) {
        const std::u16string text = platform::ansiToText(std::string(1, static_cast<char>(b)));
        table.single[b] = text.size() == 1 ? text[0] : u'?';
    }
    table.pair.assign(0x10000, kNoCharacter);
    for (std::uint32_t lead = 0x80; lead < 256; ++lead) {
        for (std::uint32_t trail = 0; trail < 256; ++trail) {
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string text = platform::ansiToText(std::string_view(bytes, 2));
            if (text.size() == 1)
                table.pair[lead << 8 | trail] = text[0];
        }
    }
    return table;
}

} // namespace

const AnsiTable& ansiTable()
{
    static const AnsiTable table = build();
    return table;
}

} // namespace talvo::codec_detail
