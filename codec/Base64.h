#pragma once

#include <array>
#include <string>

#include "platform/Variant.h"

namespace talvo {

// Base64 with the standard alphabet and "=" padding, no line breaks. Texts travel as
// bytes of the system's ANSI code page. Objects keep nothing between calls that a
// caller could see; create one per use. File errors are thrown as RuntimeError with
// the runtime's file error numbers and never caught here.
class Base64 {
public:
    // DecodeBase64Byte, then the bytes read as ANSI text. Bad input gives "".
    std::u16string DecodeBase64String(const std::u16string& str2Decode);

    // Decodes padded Base64. CR LF pairs are removed first; anything else outside the
    // alphabet (a lone CR or LF, a space, a tab, a character above U+00FF) makes the
    // whole result empty, bytes of earlier groups included. The text is read in groups
    // of four: an "=" ends its own group (characters after it in the group are not
    // looked at), so separately encoded texts joined together decode to the joined
    // bytes; a group with fewer than two characters before its "=" adds nothing; the
    // unused low bits of a padded group are ignored. A final group cut short by the end
    // of the text (length not a multiple of four) decodes as if padded: "Zg" gives "f",
    // "Zm9" gives "fo", a single character gives nothing.
    std::string DecodeBase64Byte(const std::u16string& str2Decode);

    // Replaces strFilePath (even a read-only file) with the decoded bytes; text that
    // decodes to nothing leaves an empty file. A pipe or a device there is refused
    // (error 75) and left alone.
    void DecodeBase64StringToFile(const std::u16string& strBase64, const std::u16string& strFilePath);

    // Reads strBase64FilePath as ANSI text (so CR LF line ends drop out, LF-only lines
    // make the text invalid) and decodes it into strFilePath. A missing source file is
    // not an error: nothing happens and strFilePath is left as it was.
    void DecodeBase64FileToFile(const std::u16string& strBase64FilePath, const std::u16string& strFilePath);

    // Four characters per three bytes, "=" or "==" after a last group of two or one
    // byte; never a line break. No bytes give "".
    std::u16string EncodeBase64Byte(const std::string& sValue);

    // EncodeBase64Byte of the text's ANSI bytes; a character the code page cannot hold
    // is encoded as "?". The whole text is converted, U+0000 included.
    std::u16string EncodeBase64String(const std::u16string& str2Encode);

    // The Base64 text of the file's bytes ("" for an empty file), or no value when no
    // file exists at strFileSource.
    Variant EncodFileToBase64String(const std::u16string& strFileSource);

    // Writes the Base64 text of strFileSource to strFileBase64Desti, replacing it, with
    // no line break at the end; a missing source leaves an empty destination file. The
    // source is read before the destination is created, so both may be the same file.
    // A destination that is a pipe or a device is refused (error 75).
    void EncodFileToBase64File(const std::u16string& strFileSource, const std::u16string& strFileBase64Desti);

private:
    void InitBase64Table();

    std::array<char16_t, 64> strBase64Table{};
};

} // namespace talvo
