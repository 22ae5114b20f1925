#include "../Charset.h"

#include <climits>
#include <cstdint>
#include <string_view>

#include "../CodePage.h"
#include "../RuntimeError.h"
#include "../Surrogates.h"
#include "../Utf.h"

#include <windows.h>

// No ICU on Windows: a name picks a Windows code page, and the Unicode sets are our own
// code, written to give what ICU gives on Linux (ICU's default byte order without a
// mark is big-endian; the "utf-16" and "utf-32" writers put a little-endian mark first).
namespace talvo::platform {

namespace {

[[noreturn]] void fail(int number, const std::string& description) { throw RuntimeError(number, description); }

enum class Kind { CodePage, Utf8, Utf16, Utf16Le, Utf16Be, Utf32, Utf32Le, Utf32Be };

struct Name {
    std::u16string_view name;
    Kind kind;
    int codePage;
};

// The names the stream object on Windows knows for the code pages it can use.
constexpr Name kNames[] = {
    {u"utf-8", Kind::Utf8, 0},
    {u"utf8", Kind::Utf8, 0},
    {u"unicode", Kind::Utf16Le, 0},
    {u"utf-16", Kind::Utf16, 0},
    {u"utf-16le", Kind::Utf16Le, 0},
    {u"utf-16be", Kind::Utf16Be, 0},
    {u"unicodefffe", Kind::Utf16Be, 0},
    {u"utf-32", Kind::Utf32, 0},
    {u"utf-32le", Kind::Utf32Le, 0},
    {u"utf-32be", Kind::Utf32Be, 0},
    {u"gb2312", Kind::CodePage, 936},
    {u"gbk", Kind::CodePage, 936},
    {u"cp936", Kind::CodePage, 936},
    {u"windows-936", Kind::CodePage, 936},
    {u"gb18030", Kind::CodePage, 54936},
    {u"big5", Kind::CodePage, 950},
    {u"cp950", Kind::CodePage, 950},
    {u"shift_jis", Kind::CodePage, 932},
    {u"shift-jis", Kind::CodePage, 932},
    {u"sjis", Kind::CodePage, 932},
    {u"windows-31j", Kind::CodePage, 932},
    {u"cp932", Kind::CodePage, 932},
    {u"euc-kr", Kind::CodePage, 949},
    {u"ks_c_5601-1987", Kind::CodePage, 949},
    {u"cp949", Kind::CodePage, 949},
    {u"us-ascii", Kind::CodePage, 20127},
    {u"ascii", Kind::CodePage, 20127},
    {u"iso-8859-1", Kind::CodePage, 28591},
    {u"latin1", Kind::CodePage, 28591},
    {u"iso-8859-2", Kind::CodePage, 28592},
    {u"iso-8859-5", Kind::CodePage, 28595},
    {u"iso-8859-7", Kind::CodePage, 28597},
    {u"iso-8859-15", Kind::CodePage, 28605},
    {u"koi8-r", Kind::CodePage, 20866},
    {u"ibm437", Kind::CodePage, 437},
    {u"cp437", Kind::CodePage, 437},
    {u"ibm850", Kind::CodePage, 850},
    {u"cp850", Kind::CodePage, 850},
    {u"windows-874", Kind::CodePage, 874},
    {u"tis-620", Kind::CodePage, 874},
    {u"windows-1250", Kind::CodePage, 1250},
    {u"windows-1251", Kind::CodePage, 1251},
    {u"windows-1252", Kind::CodePage, 1252},
    {u"windows-1253", Kind::CodePage, 1253},
    {u"windows-1254", Kind::CodePage, 1254},
    {u"windows-1255", Kind::CodePage, 1255},
    {u"windows-1256", Kind::CodePage, 1256},
    {u"windows-1257", Kind::CodePage, 1257},
    {u"windows-1258", Kind::CodePage, 1258},
};

std::u16string lowerAscii(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 0x20);
    return text;
}

// Code points of the text; a lone surrogate is a character the set cannot hold.
template<typename Put>
void forEachCodePoint(const std::u16string& text, Put put)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            put(combineSurrogates(c, text[i + 1]));
            ++i;
        } else if (isSurrogate(c)) {
            put(char32_t(0xFFFFFFFF));
        } else {
            put(static_cast<char32_t>(c));
        }
    }
}

void putUnit(std::string& out, std::uint32_t unit, int size, bool bigEndian)
{
    for (int k = 0; k < size; ++k) {
        const int shift = bigEndian ? 8 * (size - 1 - k) : 8 * k;
        out.push_back(static_cast<char>((unit >> shift) & 0xFF));
    }
}

std::uint32_t readUnit(const unsigned char* p, int size, bool bigEndian)
{
    std::uint32_t v = 0;
    for (int k = 0; k < size; ++k)
        v |= static_cast<std::uint32_t>(p[k]) << (bigEndian ? 8 * (size - 1 - k) : 8 * k);
    return v;
}

} // namespace

struct Charset::State {
    Kind kind = Kind::CodePage;
    int codePage = 0;

    explicit State(const std::u16string& name)
    {
        const std::u16string key = lowerAscii(name);
        for (const Name& known : kNames) {
            if (known.name == key) {
                kind = known.kind;
                codePage = known.codePage;
                return;
            }
        }
        fail(RuntimeError::kInvalidArgument, "Unknown character set: " + toUtf8(name));
    }

    std::u16string decodeUtf16(const unsigned char* p, std::size_t length, bool bigEndian, bool markDecides) const
    {
        std::size_t i = 0;
        if (markDecides && length >= 2) {
            if (p[0] == 0xFF && p[1] == 0xFE) {
                bigEndian = false;
                i = 2;
            } else if (p[0] == 0xFE && p[1] == 0xFF) {
                bigEndian = true;
                i = 2;
            }
        }
        std::u16string out;
        out.reserve(length / 2 + 1);
        for (; i + 1 < length; i += 2) {
            const char16_t c = static_cast<char16_t>(readUnit(p + i, 2, bigEndian));
            // A lone surrogate is not text; the pair is.
            if (isHighSurrogate(c) && i + 3 < length
                && isLowSurrogate(static_cast<char16_t>(readUnit(p + i + 2, 2, bigEndian)))) {
                out.push_back(c);
                out.push_back(static_cast<char16_t>(readUnit(p + i + 2, 2, bigEndian)));
                i += 2;
            } else {
                out.push_back(isSurrogate(c) ? u'\uFFFD' : c);
            }
        }
        if (i < length)
            out.push_back(u'\uFFFD'); // a byte left over
        return out;
    }

    std::u16string decodeUtf32(const unsigned char* p, std::size_t length, bool bigEndian, bool markDecides) const
    {
        std::size_t i = 0;
        if (markDecides && length >= 4) {
            if (readUnit(p, 4, false) == 0xFEFF) {
                bigEndian = false;
                i = 4;
            } else if (readUnit(p, 4, true) == 0xFEFF) {
                bigEndian = true;
                i = 4;
            }
        }
        std::u16string out;
        out.reserve(length / 4 + 1);
        for (; i + 3 < length; i += 4) {
            const std::uint32_t c = readUnit(p + i, 4, bigEndian);
            appendCodePoint(out, c > 0x10FFFF || isSurrogate(c) ? 0xFFFD : c);
        }
        if (i < length)
            out.push_back(u'\uFFFD');
        return out;
    }

    std::u16string decode(const char* bytes, std::size_t length) const
    {
        if (length == 0)
            return {};
        const auto* p = reinterpret_cast<const unsigned char*>(bytes);
        switch (kind) {
        case Kind::Utf8: return fromUtf8(std::string_view(bytes, length));
        case Kind::Utf16: return decodeUtf16(p, length, true, true);
        case Kind::Utf16Le: return decodeUtf16(p, length, false, false);
        case Kind::Utf16Be: return decodeUtf16(p, length, true, false);
        case Kind::Utf32: return decodeUtf32(p, length, true, true);
        case Kind::Utf32Le: return decodeUtf32(p, length, false, false);
        case Kind::Utf32Be: return decodeUtf32(p, length, true, false);
        case Kind::CodePage: break;
        }
        if (length > static_cast<std::size_t>(INT_MAX))
            fail(RuntimeError::kOverflow, "The bytes are too many for one stream");
        const int n = static_cast<int>(length);
        if (codePage == 936) {
            // Our own code-page layer, so the GB names read as on Linux.
            std::u16string out(length, u'\0');
            const int got = multiByteToWideChar(936, 0, bytes, n, out.data(), n);
            if (got == 0)
                fail(RuntimeError::kDeviceIo, "The text could not be decoded as gb2312");
            out.resize(static_cast<std::size_t>(got));
            return out;
        }
        const int need = MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes, n, nullptr, 0);
        std::u16string out(static_cast<std::size_t>(need > 0 ? need : 0), u'\0');
        if (need <= 0
            || MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes, n, reinterpret_cast<LPWSTR>(out.data()), need)
                != need)
            fail(RuntimeError::kDeviceIo, "The text could not be decoded (code page " + std::to_string(codePage) + ")");
        // Windows reads a byte over 0x7F as ASCII by dropping its top bit ("\xE9" as
        // "i"); it is no ASCII character, so it reads as U+FFFD, as on Linux.
        if (codePage == 20127)
            for (std::size_t i = 0; i < length && i < out.size(); ++i)
                if (p[i] > 0x7F)
                    out[i] = u'\uFFFD';
        return out;
    }

    std::string encode(const std::u16string& text) const
    {
        if (text.empty())
            return {};
        if (text.size() > static_cast<std::size_t>(INT_MAX / 2))
            fail(RuntimeError::kOverflow, "The text is too long for one stream");
        std::string out;
        const auto unicode = [&](int size, bool bigEndian, bool mark) {
            out.reserve(text.size() * static_cast<std::size_t>(size) + 4);
            if (mark)
                putUnit(out, 0xFEFF, size, bigEndian);
            forEachCodePoint(text, [&](char32_t c) {
                if (c == char32_t(0xFFFFFFFF))
                    c = '?';
                if (size == 4 || c < 0x10000) {
                    putUnit(out, c, size, bigEndian);
                } else {
                    putUnit(out, highSurrogateOf(c), 2, bigEndian);
                    putUnit(out, lowSurrogateOf(c), 2, bigEndian);
                }
            });
        };
        switch (kind) {
        case Kind::Utf8:
            // ICU writes "?" for a lone surrogate here, not U+FFFD.
            forEachCodePoint(text, [&](char32_t c) {
                if (c == char32_t(0xFFFFFFFF)) {
                    out.push_back('?');
                } else {
                    std::u16string units;
                    appendCodePoint(units, c);
                    out += toUtf8(units);
                }
            });
            return out;
        case Kind::Utf16: unicode(2, false, true); return out;
        case Kind::Utf16Le: unicode(2, false, false); return out;
        case Kind::Utf16Be: unicode(2, true, false); return out;
        case Kind::Utf32: unicode(4, false, true); return out;
        case Kind::Utf32Le: unicode(4, false, false); return out;
        case Kind::Utf32Be: unicode(4, true, false); return out;
        case Kind::CodePage: break;
        }
        const int n = static_cast<int>(text.size());
        if (codePage == 936) {
            out.assign(text.size() * 2, '\0');
            const int got = wideCharToMultiByte(936, 0, text.data(), n, out.data(), static_cast<int>(out.size()));
            if (got == 0)
                fail(RuntimeError::kDeviceIo, "The text could not be encoded as gb2312");
            out.resize(static_cast<std::size_t>(got));
            return out;
        }
        const auto* wide = reinterpret_cast<LPCWCH>(text.data());
        const UINT cp = static_cast<UINT>(codePage);
        // "?" for what the set cannot hold, as everywhere else.
        const char* question = codePage == 54936 ? nullptr : "?"; // GB18030 holds everything
        // Never a look-alike ("é" as "e"): a character the set lacks is "?".
        const DWORD flags = codePage == 54936 ? 0 : WC_NO_BEST_FIT_CHARS;
        const int need = WideCharToMultiByte(cp, flags, wide, n, nullptr, 0, question, nullptr);
        out.assign(static_cast<std::size_t>(need > 0 ? need : 0), '\0');
        if (need <= 0 || WideCharToMultiByte(cp, flags, wide, n, out.data(), need, question, nullptr) != need)
            fail(RuntimeError::kDeviceIo, "The text could not be encoded (code page " + std::to_string(codePage) + ")");
        return out;
    }
};

Charset::Charset(const std::u16string& name) : state_(std::make_unique<State>(name)) { }

Charset::~Charset() = default;

std::u16string Charset::decode(const char* bytes, std::size_t length) { return state_->decode(bytes, length); }

std::string Charset::encode(const std::u16string& text) { return state_->encode(text); }

} // namespace talvo::platform
