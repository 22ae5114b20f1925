#include "../Charset.h"

#include <algorithm>
#include <climits>
#include <memory>

#include <unicode/ucnv.h>

#include "../CodePage.h"
#include "../RuntimeError.h"
#include "../Utf.h"

namespace talvo::platform {

namespace {

constexpr int kWindowsChinese = 936;

[[noreturn]] void fail(int number, const std::string& description) { throw RuntimeError(number, description); }

[[noreturn]] void failInvalid(const std::string& description) { fail(RuntimeError::kInvalidArgument, description); }

std::u16string lowerAscii(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 0x20);
    return text;
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

} // namespace

// One character set: the Windows 936 table for the GB names, an ICU converter otherwise.
struct Charset::State {
    explicit State(const std::u16string& name)
    {
        const std::u16string key = lowerAscii(name);
        if (key == u"gb2312" || key == u"gbk") {
            windowsChinese_ = true;
            return;
        }
        std::string icuName = key == u"unicode" ? std::string("UTF-16LE") : toUtf8(key);
        const bool printable = !icuName.empty()
            && std::all_of(icuName.begin(), icuName.end(), [](char c) { return c > ' ' && c < 0x7F; });
        UErrorCode status = U_ZERO_ERROR;
        if (printable)
            converter_.reset(ucnv_open(icuName.c_str(), &status));
        if (!printable || U_FAILURE(status) || !converter_)
            failInvalid("Unknown character set: " + toUtf8(name));
        // What the target systems write for a character the set cannot hold. The
        // Unicode sets hold everything and keep ICU's own substitute.
        status = U_ZERO_ERROR;
        ucnv_setSubstChars(converter_.get(), "?", 1, &status);
    }

    std::u16string decode(const char* bytes, std::size_t length)
    {
        if (length == 0)
            return {};
        if (windowsChinese_) {
            // The 936 table never gives more than one unit per byte.
            std::u16string out(length, u'\0');
            int n = multiByteToWideChar(kWindowsChinese, 0, bytes, static_cast<int>(length), out.data(),
                                        static_cast<int>(length));
            if (n == 0)
                fail(RuntimeError::kDeviceIo, "The text could not be decoded as gb2312");
            out.resize(static_cast<std::size_t>(n));
            return out;
        }
        UConverter* cnv = converter_.get();
        ucnv_resetToUnicode(cnv);
        std::u16string out(length + 16, u'\0');
        const char* source = bytes;
        const char* sourceLimit = bytes + length;
        std::size_t produced = 0;
        for (;;) {
            UChar* target = reinterpret_cast<UChar*>(out.data()) + produced;
            UChar* targetLimit = reinterpret_cast<UChar*>(out.data()) + out.size();
            UErrorCode status = U_ZERO_ERROR;
            ucnv_toUnicode(cnv, &target, targetLimit, &source, sourceLimit, nullptr, true, &status);
            produced = static_cast<std::size_t>(target - reinterpret_cast<UChar*>(out.data()));
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                out.resize(out.size() * 2);
                continue;
            }
            if (U_FAILURE(status))
                fail(RuntimeError::kDeviceIo, std::string("The text could not be decoded: ") + u_errorName(status));
            break;
        }
        out.resize(produced);
        return out;
    }

    std::string encode(const std::u16string& text)
    {
        if (text.empty())
            return {};
        if (text.size() > static_cast<std::size_t>(INT_MAX / 2))
            fail(RuntimeError::kOverflow, "The text is too long for one stream");
        if (windowsChinese_) {
            // At most two bytes per unit; a surrogate pair becomes one "?".
            std::string out(text.size() * 2, '\0');
            int n = wideCharToMultiByte(kWindowsChinese, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                        static_cast<int>(out.size()));
            if (n == 0)
                fail(RuntimeError::kDeviceIo, "The text could not be encoded as gb2312");
            out.resize(static_cast<std::size_t>(n));
            return out;
        }
        UConverter* cnv = converter_.get();
        ucnv_resetFromUnicode(cnv);
        std::string out(text.size() * 2 + 16, '\0');
        const UChar* source = reinterpret_cast<const UChar*>(text.data());
        const UChar* sourceLimit = source + text.size();
        std::size_t produced = 0;
        for (;;) {
            char* target = out.data() + produced;
            UErrorCode status = U_ZERO_ERROR;
            ucnv_fromUnicode(cnv, &target, out.data() + out.size(), &source, sourceLimit, nullptr, true, &status);
            produced = static_cast<std::size_t>(target - out.data());
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                out.resize(out.size() * 2);
                continue;
            }
            if (U_FAILURE(status))
                fail(RuntimeError::kDeviceIo, std::string("The text could not be encoded: ") + u_errorName(status));
            break;
        }
        out.resize(produced);
        return out;
    }

    bool windowsChinese_ = false;
    std::unique_ptr<UConverter, ConverterCloser> converter_;
};

Charset::Charset(const std::u16string& name) : state_(std::make_unique<State>(name)) { }

Charset::~Charset() = default;

std::u16string Charset::decode(const char* bytes, std::size_t length) { return state_->decode(bytes, length); }

std::string Charset::encode(const std::u16string& text) { return state_->encode(text); }

} // namespace talvo::platform
