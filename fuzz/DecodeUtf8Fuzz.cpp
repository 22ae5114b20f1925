// cBaseCode::DecodeUTF8 on hostile text, and EncodeUTF8 undone by it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/basInCodePage.h"
#include "codec/cBaseCode.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace talvo;
    const std::u16string text = fuzz::textFromBytes(data, size);
    const std::u16string counted = fuzz::untilNul(text);

    cBaseCode codec;
    const Variant decoded = codec.DecodeUTF8(text);
    FUZZ_CHECK(codec.sCodePage == 65001);
    if (text.empty()) {
        FUZZ_CHECK(decoded.isEmpty());
    } else {
        FUZZ_CHECK(decoded.isText());
        FUZZ_CHECK(codec.cnvUni2 == basInCodePage::UnicodeToCodePage(text, 0, 0));
        FUZZ_CHECK(decoded.text().size() <= codec.cnvUni2.size());
        if (fuzz::isValidUtf8(codec.cnvUni2))
            FUZZ_CHECK(decoded.text() == platform::fromUtf8(codec.cnvUni2));
        else
            FUZZ_CHECK(decoded.text().find(u'\uFFFD') != std::u16string::npos);
    }

    // With sCodePage at 65001 the pair undo each other whenever the ANSI code page carries
    // the UTF-8 bytes through unchanged.
    cBaseCode pair;
    pair.sCodePage = 65001;
    const Variant carried = pair.EncodeUTF8(text);
    if (text.empty()) {
        FUZZ_CHECK(carried.isEmpty());
        return 0;
    }
    FUZZ_CHECK(carried.isText());
    const std::string utf8 = platform::toUtf8(counted);
    const bool lossless = basInCodePage::UnicodeToCodePage(basInCodePage::CodePageToUnicode(utf8, 0, 0), 0, 0) == utf8;
    if (lossless && !fuzz::hasLoneSurrogate(counted)) {
        const Variant back = pair.DecodeUTF8(carried.text());
        if (counted.empty())
            FUZZ_CHECK(back.isEmpty());
        else
            FUZZ_CHECK(back.isText() && back.text() == counted);
    }
    return 0;
}
