#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Compares every accepted code page with what Windows' own conversion functions give
// (flags 0): every UTF-16 unit to bytes, every single byte and every byte pair to text.
// The reference comes from tests/platform/codepages (see its generator).
using namespace talvo::platform;

namespace {

constexpr std::size_t kUnits = 0x10000;
constexpr std::size_t kEncodeRecord = 3;
constexpr std::size_t kDecodeRecord = 5;

struct Reference {
    std::vector<std::uint8_t> data;

    std::string encoded(std::size_t unit) const
    {
        const std::uint8_t* r = &data[unit * kEncodeRecord];
        return std::string(reinterpret_cast<const char*>(r + 1), r[0]);
    }
    std::u16string decodedRecord(std::size_t index) const
    {
        const std::uint8_t* r = &data[kUnits * kEncodeRecord + index * kDecodeRecord];
        std::u16string text;
        for (int k = 0; k < r[0]; ++k)
            text.push_back(static_cast<char16_t>(r[1 + 2 * k] | r[2 + 2 * k] << 8));
        return text;
    }
    std::u16string single(int byte) const { return decodedRecord(static_cast<std::size_t>(byte)); }
    std::u16string pair(int first, int second) const
    {
        return decodedRecord(256 + static_cast<std::size_t>(first) * 256 + static_cast<std::size_t>(second));
    }
};

Reference load(int codePage)
{
    const std::string path = std::string(TALVO_CODEPAGE_REFERENCE) + "/cp" + std::to_string(codePage) + ".bin";
    std::ifstream in(path, std::ios::binary);
    Reference ref;
    ref.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return ref;
}

std::string encodeUnit(int codePage, char16_t unit)
{
    char bytes[8] = {};
    const int n = wideCharToMultiByte(codePage, 0, &unit, 1, bytes, sizeof bytes);
    return std::string(bytes, static_cast<std::size_t>(n));
}

std::u16string decodeBytes(int codePage, const char* bytes, int length)
{
    char16_t text[8] = {};
    const int n = multiByteToWideChar(codePage, 0, bytes, length, text, 8);
    return std::u16string(text, static_cast<std::size_t>(n));
}

std::string hex(std::string_view bytes)
{
    std::string out;
    char buf[8];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        out += buf;
    }
    return out.empty() ? "(none)" : out;
}

std::string hex(std::u16string_view text)
{
    std::string out;
    char buf[12];
    for (char16_t c : text) {
        std::snprintf(buf, sizeof buf, "U+%04X ", static_cast<unsigned>(c));
        out += buf;
    }
    return out.empty() ? "(none)" : out;
}

// Counts differences and keeps the first few for the failure message.
struct Differences {
    int count = 0;
    std::string shown;
    void add(const std::string& what)
    {
        if (++count <= 8)
            shown += "\n  " + what;
    }
};

} // namespace

class CodePageReference : public testing::TestWithParam<int> { };

TEST_P(CodePageReference, EqualsWindowsForEveryUnitByteAndPair)
{
    const int codePage = GetParam();
    const Reference ref = load(codePage);
    ASSERT_EQ(ref.data.size(), kUnits * kEncodeRecord + (256 + kUnits) * kDecodeRecord)
        << "reference missing for " << codePage;

    Differences toBytes;
    for (std::size_t u = 0; u < kUnits; ++u) {
        const std::string ours = encodeUnit(codePage, static_cast<char16_t>(u));
        const std::string theirs = ref.encoded(u);
        if (ours != theirs) {
            char name[16];
            std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(u));
            toBytes.add(std::string(name) + ": ours " + hex(ours) + " Windows " + hex(theirs));
        }
    }

    Differences toText;
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const std::u16string ours = decodeBytes(codePage, &byte, 1);
        if (ours != ref.single(b))
            toText.add("byte " + hex(std::string_view(&byte, 1)) + ": ours " + hex(ours) + " Windows "
                       + hex(ref.single(b)));
    }
    for (int b = 0; b < 256; ++b) {
        for (int t = 0; t < 256; ++t) {
            const char pair[2] = {static_cast<char>(b), static_cast<char>(t)};
            std::u16string expected = ref.pair(b, t);
            // The one place where our rule is stricter than Windows: a lead byte never
            // takes a byte below 0x40 (quotes, delimiters, digits, the terminator) as its
            // trail byte. Windows turns both into one default character; we give the
            // default character for the lead byte and keep the second byte.
            const std::u16string separately = ref.single(b) + ref.single(t);
            if (t < 0x40 && expected.size() == 1 && expected != separately)
                expected = separately;
            const std::u16string ours = decodeBytes(codePage, pair, 2);
            if (ours != expected)
                toText.add("bytes " + hex(std::string_view(pair, 2)) + ": ours " + hex(ours) + " expected "
                           + hex(expected));
        }
    }
    EXPECT_EQ(toBytes.count, 0) << "code page " << codePage << ", text to bytes:" << toBytes.shown;
    EXPECT_EQ(toText.count, 0) << "code page " << codePage << ", bytes to text:" << toText.shown;
}

INSTANTIATE_TEST_SUITE_P(EveryAcceptedCodePage, CodePageReference,
                         testing::Values(932, 936, 949, 950, 437, 850, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256,
                                         1257, 1258),
                         [](const testing::TestParamInfo<int>& info) { return "cp" + std::to_string(info.param); });
