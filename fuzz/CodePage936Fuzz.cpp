// CodePageToUnicode with GBK (936) on hostile bytes, and the round trip of text the
// code page holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/basInCodePage.h"
#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace talvo;
    constexpr std::int32_t kFlags = 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string read = fuzz::untilNul(bytes);

    // Bytes to text: at most one unit per byte, nothing after the first zero byte; the
    // active code page (-1 and 0) is this one here.
    const std::u16string text = basInCodePage::CodePageToUnicode(bytes, 936, kFlags);
    FUZZ_CHECK(text.size() <= read.size());
    FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
    FUZZ_CHECK(basInCodePage::CodePageToUnicode(bytes, -1, kFlags) == text);
    FUZZ_CHECK(basInCodePage::CodePageToUnicode(bytes, 0, kFlags) == text);
    FUZZ_CHECK(platform::ansiToText(read) == text);
    // Decoded text is text the code page holds: encoding it and decoding again is stable.
    const std::string encoded = basInCodePage::UnicodeToCodePage(text, 936, kFlags);
    FUZZ_CHECK(encoded.size() <= read.size());
    FUZZ_CHECK(basInCodePage::CodePageToUnicode(encoded, 936, kFlags) == text);

    // Text to bytes, then back: every character the code page holds on its own must
    // also survive inside a longer text.
    const std::u16string input = fuzz::textFromBytes(data, size);
    const std::u16string counted = fuzz::untilNul(input);
    const std::string ansi = basInCodePage::UnicodeToCodePage(input, 936, kFlags);
    FUZZ_CHECK(ansi.size() <= counted.size() * 2);
    FUZZ_CHECK(ansi.find('\0') == std::string::npos);
    FUZZ_CHECK(ansi == platform::textToAnsi(counted));
    std::u16string held;
    for (char16_t c : counted) {
        const std::u16string one(1, c);
        if (basInCodePage::CodePageToUnicode(basInCodePage::UnicodeToCodePage(one, 936, kFlags), 936, kFlags) == one)
            held.push_back(c);
    }
    FUZZ_CHECK(basInCodePage::CodePageToUnicode(basInCodePage::UnicodeToCodePage(held, 936, kFlags), 936, kFlags)
               == held);
    return 0;
}
