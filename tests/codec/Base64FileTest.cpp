#include "codec/Base64.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Base64FileFixture.h"

using talvo::RuntimeError;
using talvo::testfiles::Base64Files;
namespace fs = std::filesystem;

namespace {

std::string allByteValues()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes + std::string("\r\n\0\x1A", 4);
}

} // namespace

TEST_F(Base64Files, StringToFileReplacesALongerFile)
{
    write("out.bin", std::string(1000, 'x'));
    codec_.DecodeBase64StringToFile(u"Zm9v", path("out.bin"));
    EXPECT_EQ(read("out.bin"), "foo");
}

TEST_F(Base64Files, StringToFileReplacesAReadOnlyFile)
{
    write("readonly.bin", "old content");
    fs::permissions(folder / "readonly.bin", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    codec_.DecodeBase64StringToFile(u"Zm9vYmFy", path("readonly.bin"));
    EXPECT_EQ(read("readonly.bin"), "foobar");
}

TEST_F(Base64Files, StringToFileWithBadTextLeavesAnEmptyFile)
{
    write("out.bin", "old");
    codec_.DecodeBase64StringToFile(u"Zm9v YmFy", path("out.bin"));
    ASSERT_TRUE(exists("out.bin"));
    EXPECT_EQ(read("out.bin"), "");
}

TEST_F(Base64Files, FileErrorsReachTheCaller)
{
    write("plain", "a regular file");
    EXPECT_EQ(errorNumberOf([&] { codec_.DecodeBase64StringToFile(u"Zm9v", path("plain/child.bin")); }),
              RuntimeError::kPathNotFound)
        << "parent is a regular file";
    EXPECT_EQ(errorNumberOf([&] { codec_.DecodeBase64StringToFile(u"Zm9v", path("missing/child.bin")); }),
              RuntimeError::kFileNotFound);
    EXPECT_EQ(errorNumberOf([&] { codec_.DecodeBase64StringToFile(u"Zm9v", path(std::string(300, 'n'))); }),
              RuntimeError::kBadFileName)
        << "name too long";
    fs::create_directory(folder / "folder");
    EXPECT_NE(errorNumberOf([&] { codec_.DecodeBase64StringToFile(u"Zm9v", path("folder")); }), 0)
        << "a folder where a file is expected";
    EXPECT_TRUE(fs::is_directory(folder / "folder"));
    EXPECT_NE(errorNumberOf([&] { codec_.EncodFileToBase64File(path("plain"), path("plain/x.b64")); }), 0);
    EXPECT_EQ(read("plain"), "a regular file");
}

TEST_F(Base64Files, FileToFileNeedsCrLfLineEnds)
{
    const std::string bytes = allByteValues();
    const std::u16string encoded = codec_.EncodeBase64Byte(bytes);
    std::string crlf, lf;
    for (std::size_t i = 0; i < encoded.size(); i += 76) {
        const std::u16string line = encoded.substr(i, 76);
        crlf += std::string(line.begin(), line.end()) + "\r\n";
        lf += std::string(line.begin(), line.end()) + "\n";
    }
    write("crlf.b64", crlf);
    write("lf.b64", lf);
    codec_.DecodeBase64FileToFile(path("crlf.b64"), path("crlf.bin"));
    EXPECT_EQ(read("crlf.bin"), bytes);
    codec_.DecodeBase64FileToFile(path("lf.b64"), path("lf.bin"));
    ASSERT_TRUE(exists("lf.bin"));
    EXPECT_EQ(read("lf.bin"), "");
}

TEST_F(Base64Files, MissingSources)
{
    write("keep.bin", "untouched");
    codec_.DecodeBase64FileToFile(path("nothing.b64"), path("keep.bin"));
    EXPECT_EQ(read("keep.bin"), "untouched");
    codec_.DecodeBase64FileToFile(path("nothing.b64"), path("never.bin"));
    EXPECT_FALSE(exists("never.bin"));

    EXPECT_TRUE(codec_.EncodFileToBase64String(path("nothing.bin")).isEmpty());
    fs::create_directory(folder / "folder");
    EXPECT_TRUE(codec_.EncodFileToBase64String(path("folder")).isEmpty()) << "a folder is not a file";

    write("dest.b64", "old content");
    codec_.EncodFileToBase64File(path("nothing.bin"), path("dest.b64"));
    ASSERT_TRUE(exists("dest.b64"));
    EXPECT_EQ(read("dest.b64"), "");
}

TEST_F(Base64Files, EncodeFiles)
{
    write("empty.bin", "");
    const auto empty = codec_.EncodFileToBase64String(path("empty.bin"));
    ASSERT_TRUE(empty.isText());
    EXPECT_EQ(empty.text(), u"");

    const std::string bytes = allByteValues();
    write("data.bin", bytes);
    const auto encoded = codec_.EncodFileToBase64String(path("data.bin"));
    ASSERT_TRUE(encoded.isText());
    EXPECT_EQ(codec_.DecodeBase64Byte(encoded.text()), bytes);

    write("dest.b64", std::string(5000, 'z'));
    codec_.EncodFileToBase64File(path("data.bin"), path("dest.b64"));
    const std::string written = read("dest.b64");
    EXPECT_EQ(std::u16string(written.begin(), written.end()), encoded.text()) << "no line break at the end";

    // Full circle through files only.
    codec_.DecodeBase64FileToFile(path("dest.b64"), path("back.bin"));
    EXPECT_EQ(read("back.bin"), bytes);
}

TEST_F(Base64Files, EncodingAFileOntoItselfKeepsItsContent)
{
    write("self", "foobar");
    codec_.EncodFileToBase64File(path("self"), path("self"));
    EXPECT_EQ(read("self"), "Zm9vYmFy");
    codec_.DecodeBase64FileToFile(path("self"), path("self"));
    EXPECT_EQ(read("self"), "foobar");
}

TEST_F(Base64Files, ChineseFileNames)
{
    codec_.DecodeBase64StringToFile(u"Zm9v", path("数据.bin"));
    EXPECT_EQ(read("数据.bin"), "foo");
    const auto encoded = codec_.EncodFileToBase64String(path("数据.bin"));
    ASSERT_TRUE(encoded.isText());
    EXPECT_EQ(encoded.text(), u"Zm9v");
}
