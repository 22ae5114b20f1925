#include "../CodePageTable.h"
#include "../CodePage.h"
#include "../Surrogates.h"
#include "IcuCodePageTable.h"

#include <span>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

// ICU holds the Windows tables of the code pages we accept; they are read once per code
// page into the flat tables that CodePage.cpp walks.
namespace talvo::platform {

namespace {

using detail::CodePageTable;
using detail::kUnassigned;

constexpr int kChineseCodePage = 936;

struct KnownCodePage {
    int id;
    const char* icuName;
};

// Windows identifiers and the ICU converters holding the Windows tables.
constexpr std::array<KnownCodePage, 16> kKnown{{
    {936, "windows-936-2000"},
    {932, "ibm-943_P15A-2003"},
    {949, "windows-949-2000"},
    {950, "windows-950-2000"},
    {437, "ibm-437_P100-1995"},
    {850, "ibm-850_P100-1995"},
    {874, "windows-874-2000"},
    {1250, "ibm-5346_P100-1998"},
    {1251, "ibm-5347_P100-1998"},
    {1252, "ibm-5348_P100-1997"},
    {1253, "ibm-5349_P100-1998"},
    {1254, "ibm-5350_P100-1998"},
    {1255, "ibm-9447_P100-2002"},
    {1256, "ibm-9448_X100-2005"},
    {1257, "ibm-9449_P100-2002"},
    {1258, "ibm-5354_P100-1998"},
}};

struct UnmappedContext {
    std::vector<bool>* unmapped;
};

// Writes "?" for every character the converter cannot map. ICU's own substitute
// callback would drop the default-ignorable characters without a trace, which loses
// data and differs from what Windows does.
void questionMarkCallback(const void* context, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                          UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* error)
{
    if (reason > UCNV_IRREGULAR)
        return;
    const auto* ctx = static_cast<const UnmappedContext*>(context);
    if (codePoint >= 0 && codePoint < 0x10000)
        (*ctx->unmapped)[static_cast<std::size_t>(codePoint)] = true;
    *error = U_ZERO_ERROR;
    ucnv_cbFromUWriteBytes(args, "?", 1, 0, error);
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter(const char* name)
{
    UErrorCode error = U_ZERO_ERROR;
    Converter cnv(ucnv_open(name, &error));
    if (U_FAILURE(error))
        return nullptr;
    return cnv;
}

// Maps every BMP unit through the converter in one call; the offsets tell which
// output bytes belong to which unit.
bool readFromTextTable(const char* name, bool fallback, std::vector<std::uint16_t>& mapping,
                       std::vector<bool>& unmapped)
{
    Converter cnv = openConverter(name);
    if (!cnv)
        return false;
    ucnv_setFallback(cnv.get(), fallback);
    UnmappedContext context{&unmapped};
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setFromUCallBack(cnv.get(), questionMarkCallback, &context, nullptr, nullptr, &error);
    if (U_FAILURE(error))
        return false;

    std::vector<UChar> units;
    units.reserve(0x10000);
    for (std::uint32_t u = 0; u < 0x10000; ++u)
        if (!isSurrogate(u))
            units.push_back(static_cast<UChar>(u));
    std::vector<char> out(units.size() * 4);
    std::vector<int32_t> offsets(out.size());
    char* target = out.data();
    const UChar* source = units.data();
    int32_t* offsetCursor = offsets.data();
    ucnv_fromUnicode(cnv.get(), &target, out.data() + out.size(), &source, units.data() + units.size(), offsetCursor,
                     true, &error);
    if (U_FAILURE(error))
        return false;
    const std::size_t produced = static_cast<std::size_t>(target - out.data());
    for (std::size_t i = 0; i < produced;) {
        const int32_t at = offsets[i];
        std::size_t n = 1;
        while (i + n < produced && offsets[i + n] == at)
            ++n;
        if (at < 0 || n > 2)
            return false; // not a plain single/double-byte table
        const std::uint16_t unit = units[static_cast<std::size_t>(at)];
        const auto b0 = static_cast<std::uint8_t>(out[i]);
        mapping[unit] = n == 1 ? b0 : static_cast<std::uint16_t>(b0 << 8 | static_cast<std::uint8_t>(out[i + 1]));
        i += n;
    }
    return true;
}

std::unique_ptr<CodePageTable> buildTable(const char* name)
{
    auto table = std::make_unique<CodePageTable>();
    std::vector<bool> unmapped(0x10000, false);
    if (!readFromTextTable(name, true, table->fromText, unmapped))
        return nullptr;
    for (std::size_t u = 0; u < 0x10000; ++u)
        if (unmapped[u])
            table->fromText[u] = '?';

    Converter cnv = openConverter(name);
    if (!cnv)
        return nullptr;
    ucnv_setFallback(cnv.get(), true);
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    UBool starters[256] = {};
    ucnv_getStarters(cnv.get(), starters, &error);
    if (U_FAILURE(error))
        return nullptr;

    auto decodeOne = [&cnv](const char* bytes, int32_t length) -> char16_t {
        UChar out[4];
        UErrorCode e = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(cnv.get(), out, 4, bytes, length, &e);
        return U_SUCCESS(e) && n == 1 ? static_cast<char16_t>(out[0]) : kUnassigned;
    };

    int leads = 0;
    for (int b = 0; b < 256; ++b) {
        table->lead[b] = starters[b] != 0;
        if (table->lead[b]) {
            table->leadIndex[b] = static_cast<std::uint8_t>(leads++);
            table->single[b] = kUnassigned;
        } else {
            const char byte = static_cast<char>(b);
            table->single[b] = decodeOne(&byte, 1);
        }
    }
    table->dbcs.assign(static_cast<std::size_t>(leads) * 256, kUnassigned);
    for (int b = 0; b < 256; ++b) {
        if (!table->lead[b])
            continue;
        for (int t = 0; t < 256; ++t) {
            const char pair[2] = {static_cast<char>(b), static_cast<char>(t)};
            const char16_t unit = decodeOne(pair, 2);
            table->dbcs[table->leadIndex[b] * 256u + static_cast<unsigned>(t)] = unit;
        }
    }
    return table;
}

#include "CodePageCorrections.inc"

// ICU's tables are IBM's and lack Windows' best fits, user-defined areas and default
// characters; the corrections (made from Windows' own results) bring them in line.
bool applyCorrections(int codePage, CodePageTable& table)
{
    for (const auto& fix : kCorrections) {
        if (fix.codePage != codePage)
            continue;
        table.defaultChar = fix.defaultChar;
        for (std::size_t i = 0; i + 1 < fix.toBytes.size(); i += 2)
            table.fromText[fix.toBytes[i]] = fix.toBytes[i + 1];
        for (std::size_t i = 0; i + 1 < fix.singles.size(); i += 2)
            table.single[fix.singles[i] & 0xFF] = static_cast<char16_t>(fix.singles[i + 1]);
        for (std::size_t i = 0; i + 1 < fix.pairs.size(); i += 2) {
            const unsigned lead = fix.pairs[i] >> 8, trail = fix.pairs[i] & 0xFF;
            if (!table.lead[lead])
                return false;
            table.dbcs[table.leadIndex[lead] * 256u + trail] = static_cast<char16_t>(fix.pairs[i + 1]);
        }
    }
    return true;
}

} // namespace

int activeCodePage() { return kChineseCodePage; }

namespace detail {

std::unique_ptr<CodePageTable> loadIcuCodePageTable(int codePage)
{
    for (const auto& known : kKnown)
        if (known.id == codePage)
            return buildTable(known.icuName);
    return nullptr;
}

std::unique_ptr<CodePageTable> loadCodePageTable(int codePage)
{
    auto table = loadIcuCodePageTable(codePage);
    if (!table || !applyCorrections(codePage, *table))
        return nullptr;
    finishCodePageTable(*table);
    return table;
}

} // namespace detail

} // namespace talvo::platform
