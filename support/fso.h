#pragma once

#include <functional>
#include <memory>
#include <string>

#include "support/TextStream.h"

namespace talvo {

// Reads a whole text file into a string and writes a whole string to a file, in the
// character set chosen with SetCoding (empty means "gb2312"). Nothing is thrown: each
// file operation answers true or false, and a failure leaves its message in
// GetErrorInfo() (file name + "打开失败！错误信息:" / "保存失败！错误信息:" + the
// description). A later success does not clear that message.
//
// A failed call closes the stream again, so the next call starts from a clean stream.
// Saves never leave a half-written file in place of the old one (see TextStream).
class fso {
public:
    using StreamFactory = std::function<std::unique_ptr<TextStream>()>;

    fso();
    // For callers that supply the stream; a factory that fails or gives none leaves
    // the object without a stream, as when creating it fails.
    explicit fso(const StreamFactory& createStream);

    const std::u16string& GetFileText() const noexcept { return strText; }
    const std::u16string& GetErrorInfo() const noexcept { return strError; }
    bool OpenFile(const std::u16string& FileName);
    bool SaveFile(const std::u16string& FileName, const std::u16string& strFileBody);
    // Stored unchanged; an unknown name fails at the next file operation.
    void SetCoding(const std::u16string& vNewValue) { strCoding = vNewValue; }

private:
    const std::u16string& coding() const;

    std::u16string strText;
    std::u16string strError;
    std::u16string strCoding;
    std::unique_ptr<TextStream> objStream;
};

} // namespace talvo
