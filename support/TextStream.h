#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace talvo::platform {
class Charset;
}

namespace talvo {

// An in-memory byte/text stream for whole-file reads and writes, in the shape the
// file-access class drives it: pick the type and mode, open, load or write, set the
// position and character set, read or save, close.
//
// Every failing step throws talvo::RuntimeError whose what() is a readable English
// description (UTF-8); the stream is then unchanged by that step.
//
// Character set names are case-insensitive. "gb2312" and "gbk" use the system's code
// page 936 table, "unicode" means UTF-16LE; every other name goes to ICU ("gb18030",
// "utf-8", "utf-16le", "big5", "us-ascii", "iso-8859-1", ...). An unknown name fails
// when it is set. Writing adds a byte-order mark only where the set itself carries one:
// "utf-16" and "utf-32" write little-endian bytes after their mark (FF FE and
// FF FE 00 00), as the stream object on Windows always did; "unicode", "utf-8",
// "utf-16le" and every other name write none. Reading drops a mark at the start when
// it is the character set's own (U+FEFF after decoding). Characters the set
// cannot hold are written as "?"; undecodable bytes read as U+FFFD (as "?" with the
// 936 table, the way the system conversion reads them).
class TextStream {
public:
    enum Type : int { Binary = 1, Text = 2 };
    enum Mode : int { Read = 1, Write = 2, ReadWrite = 3 };
    enum SaveOption : int { CreateNotExist = 1, CreateOverwrite = 2 };

    // Streams over this size (bytes) are refused: texts are held whole in memory.
    static constexpr std::int64_t kMaxSize = 0x7FFFFFFF;

    TextStream();
    ~TextStream();
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;

    // Only at position 0, where nothing is half-read.
    void setType(int type);
    // Only while closed.
    void setMode(int mode);
    // Opens an empty stream; fails when it is already open.
    void open();
    // Replaces the content with the file's bytes (regular files only); position 0.
    void loadFromFile(const std::u16string& path);
    void setPosition(std::int64_t position);
    // Only at position 0; the name is checked here.
    void setCharset(const std::u16string& name);
    // Text from the position to the end, decoded in the character set; text type only.
    std::u16string readText();
    // Encodes text at the position (overwriting, then extending); text type only.
    void writeText(const std::u16string& text);
    // Writes the whole content; CreateNotExist fails (58) when the file exists. The
    // new bytes are complete before the old file is touched, so a failure leaves the
    // old content. An existing file stays the same file to everyone: its owner,
    // group, mode, extended attributes and other hard links keep seeing it, and a
    // link is written through (to a file that does not exist yet, too). A single-name
    // file of the saving user in a writable folder is replaced by a synced copy
    // renamed over it; any other file (more hard links, another owner, a read-only
    // folder, attributes that cannot be copied) is overwritten in place, cut to size
    // only after all the new bytes went out. See platform::saveWholeFile.
    void saveToFile(const std::u16string& path, int option);
    // Drops the content; closing a closed stream does nothing.
    void close() noexcept;

    bool isOpen() const noexcept { return open_; }
    int type() const noexcept { return type_; }
    int mode() const noexcept { return mode_; }
    std::int64_t position() const noexcept { return position_; }
    std::int64_t size() const noexcept { return static_cast<std::int64_t>(bytes_.size()); }
    const std::u16string& charset() const noexcept { return charsetName_; }

private:
    void requireOpen() const;

    bool open_ = false;
    int type_ = Text;
    int mode_ = ReadWrite;
    std::string bytes_;
    std::int64_t position_ = 0;
    std::u16string charsetName_ = u"gb2312";
    std::unique_ptr<platform::Charset> charset_;
};

} // namespace talvo
