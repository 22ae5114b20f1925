// CodePageToUnicode with UTF-8 (65001) on hostile bytes, and the UTF-8 round trips.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/basInCodePage.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace talvo;
    constexpr std::int32_t kFlags = 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string read = fuzz::untilNul(bytes);

    // Bytes to text: at most one unit per byte, nothing after the first zero byte.
    const std::u16string text = basInCodePage::CodePageToUnicode(bytes, 65001, kFlags);
    FUZZ_CHECK(text.size() <= read.size());
    FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
    if (fuzz::isValidUtf8(read)) {
        FUZZ_CHECK(text == platform::fromUtf8(read));
        FUZZ_CHECK(basInCodePage::UnicodeToCodePage(text, 65001, kFlags) == read);
    } else {
        FUZZ_CHECK(text.find(u'\uFFFD') != std::u16string::npos);
    }
    // Whatever came out is valid text and survives a second trip.
    const std::string again = basInCodePage::UnicodeToCodePage(text, 65001, kFlags);
    FUZZ_CHECK(fuzz::isValidUtf8(again));
    FUZZ_CHECK(basInCodePage::CodePageToUnicode(again, 65001, kFlags) == text);

    // Text to bytes: the fuzz bytes as UTF-16LE units.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    const std::u16string counted = fuzz::untilNul(units);
    const std::string utf8 = basInCodePage::UnicodeToCodePage(units, 65001, kFlags);
    FUZZ_CHECK(utf8 == platform::toUtf8(counted));
    FUZZ_CHECK(fuzz::isValidUtf8(utf8));
    FUZZ_CHECK(utf8.size() <= counted.size() * 3);
    if (!fuzz::hasLoneSurrogate(counted))
        FUZZ_CHECK(basInCodePage::CodePageToUnicode(utf8, 65001, kFlags) == counted);
    return 0;
}
