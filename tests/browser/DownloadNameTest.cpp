#include <gtest/gtest.h>

#include <string>

#include "browser/logic/DownloadName.h"

using namespace talvo::browserlogic;

TEST(DownloadName, ExtendedValues)
{
    EXPECT_EQ(decodeExtendedValue(u"UTF-8''%E5%AE%A2%E6%88%B7%E5%90%8D%E5%8D%95.csv"), u"客户名单.csv");
    EXPECT_EQ(decodeExtendedValue(u"utf-8'zh-CN'%E6%8A%A5%E8%A1%A8%202024.xlsx"), u"报表 2024.xlsx");
    EXPECT_EQ(decodeExtendedValue(u"iso-8859-1'en'%A3%20rates.txt"), u"£ rates.txt");
    EXPECT_EQ(decodeExtendedValue(u"UTF-8''plain.txt"), u"plain.txt");
    EXPECT_EQ(decodeExtendedValue(u"UTF-8''%EF%BF%BD.txt"), u"\uFFFD.txt"); // a real U+FFFD
    EXPECT_FALSE(decodeExtendedValue(u"UTF-8''%E5%AE.csv"));                // cut sequence
    EXPECT_FALSE(decodeExtendedValue(u"UTF-8''%FF.csv"));                   // not UTF-8
    EXPECT_FALSE(decodeExtendedValue(u"UTF-8''%4.csv"));                    // bad escape
    EXPECT_FALSE(decodeExtendedValue(u"UTF-8''%4"));                        // escape cut at the end
    EXPECT_FALSE(decodeExtendedValue(u"GBK''%BF%CD.csv"));                  // charset we do not read
    EXPECT_FALSE(decodeExtendedValue(u"UTF-8'%E5.csv"));                    // one quote only
    EXPECT_FALSE(decodeExtendedValue(u"客户.csv"));                         // no extended form at all
    EXPECT_FALSE(decodeExtendedValue(u"UTF-8''客户.csv"));                  // raw non-ASCII is not allowed
}

TEST(DownloadName, DecodesWhatTheEngineLeftEscaped)
{
    EXPECT_EQ(downloadFileName(u"客户名单.csv"), u"客户名单.csv");
    EXPECT_EQ(downloadFileName(u"UTF-8''%E5%AE%A2%E6%88%B7.csv"), u"客户.csv");
    EXPECT_EQ(downloadFileName(u"%E5%AE%A2%E6%88%B7.csv"), u"客户.csv");
    // ASCII escapes alone are left as the server wrote them; so is invalid UTF-8.
    EXPECT_EQ(downloadFileName(u"100%25.txt"), u"100%25.txt");
    EXPECT_EQ(downloadFileName(u"a%FFb.txt"), u"a%FFb.txt");
}

TEST(DownloadName, MakesNamesSafe)
{
    struct Row {
        std::u16string_view in;
        std::u16string_view out;
    };
    const Row rows[] = {
        {u"../../etc/passwd", u"_.._etc_passwd"},
        {u"..\\..\\Windows\\evil.dll", u"_.._Windows_evil.dll"},
        {u"C:\\temp\\x.txt", u"C__temp_x.txt"},
        {u"a\tb\nc\x7F.txt", u"a_b_c_.txt"},
        {u"report\u202Etxt.exe", u"report_txt.exe"}, // right-to-left override
        {u"what?<name>|*\".txt", u"what__name____.txt"},
        {u".hidden", u"hidden"},
        {u"trailing. . ", u"trailing"},
        {u"  spaced name.pdf  ", u"spaced name.pdf"},
        {u"CON", u"_CON"},
        {u"nul.txt", u"_nul.txt"},
        {u"com7.log", u"_com7.log"},
        {u"console.txt", u"console.txt"},
        {u"com10.txt", u"com10.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.in.begin(), row.in.end()));
        EXPECT_EQ(downloadFileName(row.in), row.out);
    }
}

TEST(DownloadName, FallsBackToTheAddressThenToAFixedName)
{
    EXPECT_EQ(downloadFileName(u"", u"/demo/export/%E5%90%8D%E5%8D%95.csv?x=1"), u"名单.csv");
    EXPECT_EQ(downloadFileName(u"...", u"/files/report.pdf/"), u"report.pdf");
    EXPECT_EQ(downloadFileName(u"/\\:", u"/"), u"download");
    EXPECT_EQ(downloadFileName(u"", u""), u"download");
}

TEST(DownloadName, LongNamesKeepTheirExtension)
{
    const std::u16string longName = std::u16string(300, u'名') + u".xlsx";
    const std::u16string name = downloadFileName(longName);
    EXPECT_EQ(name.size(), 180u);
    EXPECT_EQ(name.substr(name.size() - 5), u".xlsx");
    // A cut never splits a surrogate pair.
    std::u16string emoji = u"a";
    for (int i = 0; i < 200; ++i)
        emoji += u"\U0001F600";
    const std::u16string cut = downloadFileName(emoji);
    ASSERT_FALSE(cut.empty());
    EXPECT_FALSE(cut.back() >= 0xD800 && cut.back() <= 0xDBFF);
    EXPECT_LE(cut.size(), 180u);
}
