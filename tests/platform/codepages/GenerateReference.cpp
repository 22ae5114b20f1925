// Writes what the system's own conversion functions give, flags 0, for every code page
// the code-page layer accepts. Run under Windows (or Wine) by
// scripts/generate-codepage-reference; the output is the reference the code-page tests
// compare with.
//
// One file per code page, cpNNNN.bin:
//   65536 records for text to bytes, one per UTF-16 unit: count, byte, byte
//   256 records for every single byte to text:            count, unit, unit (LE)
//   65536 records for every byte pair b1 b2 to text:      count, unit, unit (LE)
// (counts are 0 when the call failed, which it never should with flags 0).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

namespace {

const int kCodePages[] = {932, 936, 949, 950, 437, 850, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

void putDecoded(std::vector<std::uint8_t>& out, UINT codePage, const char* bytes, int length)
{
    WCHAR text[8] = {};
    int n = MultiByteToWideChar(codePage, 0, bytes, length, text, 8);
    if (n < 0 || n > 2)
        n = 0;
    out.push_back(static_cast<std::uint8_t>(n));
    for (int k = 0; k < 2; ++k) {
        out.push_back(static_cast<std::uint8_t>(text[k] & 0xFF));
        out.push_back(static_cast<std::uint8_t>(text[k] >> 8));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    for (const int cp : kCodePages) {
        const UINT codePage = static_cast<UINT>(cp);
        if (!IsValidCodePage(codePage)) {
            std::fprintf(stderr, "code page %d is not installed\n", cp);
            return 1;
        }
        std::vector<std::uint8_t> out;
        out.reserve(65536 * 3 + (256 + 65536) * 5);
        for (std::uint32_t u = 0; u < 0x10000; ++u) {
            const WCHAR unit = static_cast<WCHAR>(u);
            char bytes[8] = {};
            int n = WideCharToMultiByte(codePage, 0, &unit, 1, bytes, 8, nullptr, nullptr);
            if (n < 0 || n > 2)
                n = 0;
            out.push_back(static_cast<std::uint8_t>(n));
            out.push_back(static_cast<std::uint8_t>(bytes[0]));
            out.push_back(static_cast<std::uint8_t>(bytes[1]));
        }
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            putDecoded(out, codePage, &byte, 1);
        }
        for (int b = 0; b < 256; ++b)
            for (int t = 0; t < 256; ++t) {
                const char pair[2] = {static_cast<char>(b), static_cast<char>(t)};
                putDecoded(out, codePage, pair, 2);
            }
        const std::string path = folder + "/cp" + std::to_string(cp) + ".bin";
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
