// Compares ICU's tables with Windows' own results (the reference unpacked from
// windows-codepages.tar.xz) and writes the corrections that platform/linux applies over
// ICU: platform/linux/CodePageCorrections.inc. Run by scripts/generate-codepage-reference.
#include "platform/linux/IcuCodePageTable.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using talvo::platform::detail::CodePageTable;
using talvo::platform::detail::kUnassigned;

namespace {

const int kCodePages[] = {932, 936, 949, 950, 437, 850, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
constexpr unsigned kLowestTrailByte = 0x40;

struct Reference {
    std::vector<std::uint8_t> data;
    std::vector<char16_t> decoded(std::size_t index) const
    {
        const std::uint8_t* r = &data[0x10000 * 3 + index * 5];
        std::vector<char16_t> text;
        for (int k = 0; k < r[0]; ++k)
            text.push_back(static_cast<char16_t>(r[1 + 2 * k] | r[2 + 2 * k] << 8));
        return text;
    }
    std::uint16_t code(std::size_t unit) const
    {
        const std::uint8_t* r = &data[unit * 3];
        return r[0] == 1 ? r[1] : static_cast<std::uint16_t>(r[1] << 8 | r[2]);
    }
};

void list(FILE* out, const char* name, const std::vector<std::uint16_t>& values)
{
    std::fprintf(out, "constexpr std::uint16_t %s[] = {", name);
    for (std::size_t i = 0; i < values.size(); ++i)
        std::fprintf(out, "%s0x%04X,", i % 12 == 0 ? "\n    " : " ", values[i]);
    std::fprintf(out, "%s};\n", values.empty() ? "0" : "\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s REFERENCE_FOLDER OUTPUT.inc\n", argv[0]);
        return 2;
    }
    FILE* out = std::fopen(argv[2], "w");
    if (out == nullptr)
        return 1;
    std::fprintf(out,
                 "// Made by tests/platform/codepages/MakeCorrections.cpp from Windows' own conversion results;\n"
                 "// do not edit. Per code page: the default character and the entries where ICU's\n"
                 "// Windows tables differ (best fits, user-defined areas, unassigned codes).\n"
                 "struct CodePageCorrection {\n"
                 "    int codePage;\n"
                 "    char16_t defaultChar;\n"
                 "    std::span<const std::uint16_t> toBytes;  // unit, code\n"
                 "    std::span<const std::uint16_t> singles;  // byte, unit\n"
                 "    std::span<const std::uint16_t> pairs;    // lead << 8 | trail, unit\n"
                 "};\n");
    std::string entries;
    for (const int cp : kCodePages) {
        std::ifstream in(std::string(argv[1]) + "/cp" + std::to_string(cp) + ".bin", std::ios::binary);
        Reference ref;
        ref.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        auto icu = talvo::platform::detail::loadIcuCodePageTable(cp);
        if (!icu || ref.data.size() != 0x10000 * 3 + (256 + 0x10000) * 5) {
            std::fprintf(stderr, "code page %d: no ICU table or no reference\n", cp);
            return 1;
        }
        // Windows' lead bytes: the ones that take the next byte with them.
        char16_t defaultChar = u'?';
        for (int b = 0; b < 256; ++b) {
            const bool lead = ref.decoded(256 + b * 256 + 0x41).size() == 1;
            if (lead != icu->lead[b]) {
                std::fprintf(stderr, "code page %d: ICU and Windows disagree on lead byte %02X\n", cp, b);
                return 1;
            }
            if (lead)
                defaultChar = ref.decoded(256 + b * 256 + 0x01)[0];
        }
        auto assigned = [&](char16_t unit, std::uint16_t code) -> char16_t {
            return unit == defaultChar && ref.code(unit) != code ? kUnassigned : unit;
        };
        std::vector<std::uint16_t> toBytes, singles, pairs;
        for (std::uint32_t u = 0; u < 0x10000; ++u) {
            if (u >= 0xD800 && u <= 0xDFFF)
                continue;
            if (icu->fromText[u] != ref.code(u)) {
                toBytes.push_back(static_cast<std::uint16_t>(u));
                toBytes.push_back(ref.code(u));
            }
        }
        for (int b = 0; b < 256; ++b) {
            if (icu->lead[b])
                continue;
            const char16_t unit = assigned(ref.decoded(static_cast<std::size_t>(b))[0], static_cast<std::uint16_t>(b));
            if (icu->single[b] != unit) {
                singles.push_back(static_cast<std::uint16_t>(b));
                singles.push_back(unit);
            }
        }
        for (int b = 0; b < 256; ++b) {
            if (!icu->lead[b])
                continue;
            for (unsigned t = kLowestTrailByte; t < 256; ++t) {
                const auto code = static_cast<std::uint16_t>(b << 8 | t);
                const char16_t unit = assigned(ref.decoded(256 + b * 256 + t)[0], code);
                if (icu->dbcs[icu->leadIndex[b] * 256u + t] != unit) {
                    pairs.push_back(code);
                    pairs.push_back(unit);
                }
            }
        }
        const std::string id = std::to_string(cp);
        list(out, ("kToBytes" + id).c_str(), toBytes);
        list(out, ("kSingles" + id).c_str(), singles);
        list(out, ("kPairs" + id).c_str(), pairs);
        char line[200];
        std::snprintf(line, sizeof line, "    {%d, 0x%04X, {kToBytes%d, %zu}, {kSingles%d, %zu}, {kPairs%d, %zu}},\n",
                      cp, static_cast<unsigned>(defaultChar), cp, toBytes.size(), cp, singles.size(), cp, pairs.size());
        entries += line;
        std::fprintf(stderr, "%d: %zu to bytes, %zu singles, %zu pairs\n", cp, toBytes.size() / 2, singles.size() / 2,
                     pairs.size() / 2);
    }
    std::fprintf(out, "constexpr CodePageCorrection kCorrections[] = {\n%s};\n", entries.c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}
