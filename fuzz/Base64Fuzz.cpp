// DecodeBase64Byte on hostile text, and the codec's round trips on the fuzz bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/Base64.h"
#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"

namespace {

constexpr std::u16string_view kAlphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::u16string withoutCrLf(const std::u16string& text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        else
            out.push_back(text[i]);
    }
    return out;
}

bool inAlphabet(char16_t c) { return kAlphabet.find(c) != std::u16string_view::npos; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using talvo::fuzz::textFromBytes;
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // Encoding: exact length, nothing outside the alphabet, padding only at the end,
    // and decoding gives the bytes back.
    {
        talvo::Base64 codec;
        const std::u16string encoded = codec.EncodeBase64Byte(bytes);
        FUZZ_CHECK(encoded.size() == (size + 2) / 3 * 4);
        const std::size_t pad = size % 3 == 0 ? 0 : 3 - size % 3;
        for (std::size_t i = 0; i < encoded.size(); ++i)
            FUZZ_CHECK(i >= encoded.size() - pad ? encoded[i] == u'=' : inAlphabet(encoded[i]));
        FUZZ_CHECK(codec.DecodeBase64Byte(encoded) == bytes);

        // CR LF pairs anywhere between the characters drop out.
        const std::size_t every = size == 0 ? 1 : 1 + data[0] % 76;
        std::u16string wrapped;
        for (std::size_t i = 0; i < encoded.size(); ++i) {
            if (i > 0 && i % every == 0)
                wrapped += u"\r\n";
            wrapped.push_back(encoded[i]);
        }
        FUZZ_CHECK(talvo::Base64().DecodeBase64Byte(wrapped) == bytes);

        // Separately encoded pieces joined together decode to the joined bytes.
        const std::size_t cut = size == 0 ? 0 : data[size - 1] % (size + 1);
        const std::string head = bytes.substr(0, cut), tail = bytes.substr(cut);
        FUZZ_CHECK(codec.DecodeBase64Byte(codec.EncodeBase64Byte(head) + codec.EncodeBase64Byte(tail)) == bytes);
    }

    // Decoding arbitrary text: bounded output, the exact length the groups call for, or
    // nothing at all when a character that is looked at lies outside the alphabet; full
    // unpadded groups re-encode to themselves.
    {
        const std::u16string text = textFromBytes(data, size);
        const std::string decoded = talvo::Base64().DecodeBase64Byte(text);
        FUZZ_CHECK(decoded.size() <= text.size() * 3 / 4 + 3);
        const std::u16string plain = withoutCrLf(text);
        // Per group of four: the characters before its first "=" are looked at, the
        // rest are not; d characters looked at give d - 1 bytes.
        bool valid = true, onlyAlphabet = true;
        std::size_t expected = 0;
        for (std::size_t group = 0; group < plain.size(); group += 4) {
            std::size_t looked = 0;
            for (std::size_t k = group; k < group + 4 && k < plain.size() && plain[k] != u'='; ++k, ++looked)
                valid = valid && inAlphabet(plain[k]);
            expected += looked > 1 ? looked - 1 : 0;
        }
        for (char16_t c : plain)
            onlyAlphabet = onlyAlphabet && inAlphabet(c);
        FUZZ_CHECK(decoded.size() == (valid ? expected : 0));
        if (onlyAlphabet && plain.size() % 4 == 0)
            FUZZ_CHECK(talvo::Base64().EncodeBase64Byte(decoded) == plain);
    }

    // Texts go through the ANSI code page: text it holds comes back unchanged.
    {
        std::u16string held;
        for (char16_t c : textFromBytes(data, size)) {
            const std::u16string one(1, c);
            if (talvo::platform::ansiToText(talvo::platform::textToAnsi(one)) == one)
                held.push_back(c);
        }
        talvo::Base64 codec;
        FUZZ_CHECK(codec.DecodeBase64String(codec.EncodeBase64String(held)) == held);
    }
    return 0;
}
