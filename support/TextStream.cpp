#include "support/TextStream.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>

#include "platform/Charset.h"
#include "platform/FileIo.h"
#include "platform/FileSave.h"
#include "platform/RuntimeError.h"
#include "platform/Utf.h"

namespace talvo {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(int number, const std::string& description) { throw RuntimeError(number, description); }

[[noreturn]] void failInvalid(const std::string& description) { fail(RuntimeError::kInvalidArgument, description); }

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

} // namespace

TextStream::TextStream() : charset_(std::make_unique<platform::Charset>(charsetName_)) { }

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
    const auto expected = fs::file_size(file, ec);
    if (!ec && expected > static_cast<std::uintmax_t>(kMaxSize))
        fail(RuntimeError::kOverflow, "File too large (over 2 GiB)");
    // The platform's reader gives the same numbered errors on every system.
    std::string content = platform::readWholeFile(file);
    if (content.size() > static_cast<std::size_t>(kMaxSize))
        fail(RuntimeError::kOverflow, "File too large (over 2 GiB)");
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
    auto charset = std::make_unique<platform::Charset>(name);
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
