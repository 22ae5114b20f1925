#pragma once

#include <memory>
#include <string>

// A named character set for whole texts, as the text stream uses it. Names are
// case-insensitive. "gb2312" and "gbk" use the code-page layer's 936 table and
// "unicode" means UTF-16LE on every platform; other names go to ICU on Linux and to
// the Windows code page of the same name on Windows (UTF-8, UTF-16 and UTF-32 by our
// own code there). Characters the set cannot hold are encoded as "?"; undecodable
// bytes read as U+FFFD ("?" with the 936 table).
namespace talvo::platform {

class Charset {
public:
    // Throws RuntimeError 5 "Unknown character set: NAME" for a name it does not know.
    explicit Charset(const std::u16string& name);
    ~Charset();
    Charset(const Charset&) = delete;
    Charset& operator=(const Charset&) = delete;

    // Throws RuntimeError 57 when the system cannot convert at all.
    std::u16string decode(const char* bytes, std::size_t length);
    // Throws RuntimeError 6 for a text over 1 Gi units, 57 when the system fails.
    std::string encode(const std::u16string& text);

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace talvo::platform
