#include "support/fso.h"

#include <exception>

#include "platform/Utf.h"

namespace talvo {

namespace {

const std::u16string kDefaultCoding = u"gb2312";

std::u16string describe(const std::exception& error) { return platform::fromUtf8(error.what()); }

} // namespace

fso::fso() : fso([] { return std::make_unique<TextStream>(); }) { }

fso::fso(const StreamFactory& createStream)
{
    try {
        objStream = createStream();
    } catch (...) {
        objStream.reset();
    }
    if (!objStream)
        strError = u"ADODB.Stream对象创建失败！";
}

const std::u16string& fso::coding() const { return strCoding.empty() ? kDefaultCoding : strCoding; }

bool fso::OpenFile(const std::u16string& FileName)
{
    if (!objStream)
        return false;
    TextStream& stream = *objStream;
    try {
        stream.setType(TextStream::Binary);
        stream.setMode(TextStream::ReadWrite);
        stream.open();
        stream.loadFromFile(FileName);
        stream.setPosition(0);
        stream.setType(TextStream::Text);
        stream.setCharset(coding());
        strText = stream.readText();
        stream.close();
        return true;
    } catch (const std::exception& error) {
        strError = FileName + u"打开失败！错误信息:" + describe(error);
    } catch (...) {
        strError = FileName + u"打开失败！错误信息:" + u"unknown error";
    }
    stream.close();
    return false;
}

bool fso::SaveFile(const std::u16string& FileName, const std::u16string& strFileBody)
{
    if (!objStream)
        return false;
    TextStream& stream = *objStream;
    try {
        stream.setType(TextStream::Text);
        stream.setMode(TextStream::ReadWrite);
        stream.setCharset(coding());
        stream.open();
        stream.writeText(strFileBody);
        stream.saveToFile(FileName, TextStream::CreateOverwrite);
        stream.close();
        return true;
    } catch (const std::exception& error) {
        strError = FileName + u"保存失败！错误信息:" + describe(error);
    } catch (...) {
        strError = FileName + u"保存失败！错误信息:" + u"unknown error";
    }
    stream.close();
    return false;
}

} // namespace talvo
