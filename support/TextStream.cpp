#include "support/TextStream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <unicode/ucnv.h>

#include "platform/CodePage.h"
#include "platform/FileSave.h"
#include "platform/RuntimeError.h"
#include "platform/Utf.h"

namespace talvo {

namespace fs = std::filesystem;

namespace {

constexpr int kWindowsChinese = 936;

[[noreturn]] void fail(int number, const std::string& description) { throw RuntimeError(number, description); }

[[noreturn]] void failInvalid(const std::string& description) { fail(RuntimeError::kInvalidArgument, description); }

[[noreturn]] void failSystem(std::error_code error) { throw RuntimeError::fromSystemError(error); }

std::error_code lastError()
{
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

std::u16string lowerAscii(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 0x20);
    return text;
}

fs::path toPath(const std::u16string& name)
{
    if (name.empty())
        fail(RuntimeError::kBadFileName, "Bad file name (the name is empty)");
    try {
        return fs::path(name);
    } catch (const std::exception&) {
        fail(RuntimeError::kBadFileName, "Bad file name (" + platform::toUtf8(name) + ")");
    }
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

} // namespace

// One character set: the Windows 936 table for the GB names, an ICU converter otherwise.
class TextCharset {
public:
    explicit TextCharset(const std::u16string& name)
    {
        const std::u16string key = lowerAscii(name);
        if (key == u"gb2312" || key == u"gbk") {
            windowsChinese_ = true;
            return;
        }
        std::string icuName = key == u"unicode" ? std::string("UTF-16LE") : platform::toUtf8(key);
        const bool printable = !icuName.empty() && std::all_of(icuName.begin(), icuName.end(), [](char c) {
            return c > ' ' && c < 0x7F;
        });
        UErrorCode status = U_ZERO_ERROR;
        if (printable)
            converter_.reset(ucnv_open(icuName.c_str(), &status));
        if (!printable || U_FAILURE(status) || !converter_)
            failInvalid("Unknown character set: " + platform::toUtf8(name));
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
            int n = platform::multiByteToWideChar(kWindowsChinese, 0, bytes, static_cast<int>(length), out.data(),
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
            int n = platform::wideCharToMultiByte(kWindowsChinese, 0, text.data(), static_cast<int>(text.size()),
                                                  out.data(), static_cast<int>(out.size()));
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

private:
    bool windowsChinese_ = false;
    std::unique_ptr<UConverter, ConverterCloser> converter_;
};

TextStream::TextStream() : charset_(std::make_unique<TextCharset>(charsetName_)) {}

TextStream::~TextStream() = default;

void TextStream::requireOpen() const
{
    if (!open_)
        fail(RuntimeError::kPathFileAccess, "The stream is not open");
}

void TextStream::setType(int type)
{
    if (type != Binary && type != Text)
        failInvalid("Unknown stream type " + std::to_string(type));
    if (position_ != 0)
        fail(RuntimeError::kPathFileAccess, "The stream type can only change at position 0");
    type_ = type;
}

void TextStream::setMode(int mode)
{
    if (mode != Read && mode != Write && mode != ReadWrite)
        failInvalid("Unknown stream mode " + std::to_string(mode));
    if (open_)
        fail(RuntimeError::kPathFileAccess, "The mode cannot change while the stream is open");
    mode_ = mode;
}

void TextStream::open()
{
    if (open_)
        fail(RuntimeError::kPathFileAccess, "The stream is already open");
    bytes_.clear();
    position_ = 0;
    open_ = true;
}

void TextStream::loadFromFile(const std::u16string& path)
{
    requireOpen();
    const fs::path file = toPath(path);
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (fs::is_directory(status))
        fail(RuntimeError::kPathFileAccess, "Path/File access error (is a directory)");
    // A pipe or a device could block for ever or never end.
    if (fs::exists(status) && !fs::is_regular_file(status))
        fail(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        failSystem(lastError());
    const auto expected = fs::file_size(file, ec);
    if (!ec && expected > static_cast<std::uintmax_t>(kMaxSize))
        fail(RuntimeError::kOverflow, "File too large (over 2 GiB)");

    std::string content;
    content.resize(ec ? 0 : static_cast<std::size_t>(expected));
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    // Files whose size is not known up front (or that grew) are read on to the end.
    char chunk[65536];
    while (in && !in.eof()) {
        in.read(chunk, sizeof chunk);
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (content.size() > static_cast<std::size_t>(kMaxSize))
            fail(RuntimeError::kOverflow, "File too large (over 2 GiB)");
    }
    if (in.bad())
        fail(RuntimeError::kDeviceIo, "Device I/O error while reading");
    bytes_ = std::move(content);
    position_ = 0;
}

void TextStream::setPosition(std::int64_t position)
{
    requireOpen();
    if (position < 0 || position > size())
        failInvalid("Position " + std::to_string(position) + " lies outside the stream");
    position_ = position;
}

void TextStream::setCharset(const std::u16string& name)
{
    if (position_ != 0)
        fail(RuntimeError::kPathFileAccess, "The character set can only change at position 0");
    auto charset = std::make_unique<TextCharset>(name);
    charset_ = std::move(charset);
    charsetName_ = name;
}

std::u16string TextStream::readText()
{
    requireOpen();
    if (type_ != Text)
        fail(RuntimeError::kPathFileAccess, "Text cannot be read from a binary stream");
    if ((mode_ & Read) == 0)
        fail(RuntimeError::kPermissionDenied, "The stream was not opened for reading");
    const auto from = static_cast<std::size_t>(position_);
    std::u16string text = charset_->decode(bytes_.data() + from, bytes_.size() - from);
    if (from == 0 && !text.empty() && text.front() == u'\uFEFF')
        text.erase(0, 1);
    position_ = size();
    return text;
}

void TextStream::writeText(const std::u16string& text)
{
    requireOpen();
    if (type_ != Text)
        fail(RuntimeError::kPathFileAccess, "Text cannot be written to a binary stream");
    if ((mode_ & Write) == 0)
        fail(RuntimeError::kPermissionDenied, "The stream was not opened for writing");
    const std::string encoded = charset_->encode(text);
    const auto at = static_cast<std::size_t>(position_);
    if (at + encoded.size() > static_cast<std::size_t>(kMaxSize))
        fail(RuntimeError::kOverflow, "The stream would grow over 2 GiB");
    bytes_.replace(at, std::min(encoded.size(), bytes_.size() - at), encoded);
    position_ += static_cast<std::int64_t>(encoded.size());
}

void TextStream::saveToFile(const std::u16string& path, int option)
{
    requireOpen();
    if (option != CreateNotExist && option != CreateOverwrite)
        failInvalid("Unknown save option " + std::to_string(option));
    platform::saveWholeFile(toPath(path), bytes_, option == CreateOverwrite);
}

void TextStream::close() noexcept
{
    std::string().swap(bytes_);
    position_ = 0;
    open_ = false;
}

} // namespace talvo
