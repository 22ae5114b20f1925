#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "main/logic/ExactTitles.h"

namespace talvo::mainlogic {
namespace {

using Texts = std::vector<std::u16string>;

TEST(ExactTitles, CollapsedLikeTheEngineReportsIt)
{
    EXPECT_EQ(collapsedTitle(u"  VB:IMP  \t PHONE \r\n"), u"VB:IMP PHONE");
    EXPECT_EQ(collapsedTitle(u"\f a\nb "), u"a b");
    EXPECT_EQ(collapsedTitle(u" \t\r\n"), u"");
    EXPECT_EQ(collapsedTitle(u""), u"");
    // Only ASCII white space counts.
    EXPECT_EQ(collapsedTitle(u"\u3000a\u00a0\u00a0b\v"), u"\u3000a\u00a0\u00a0b\v");
}

TEST(ExactTitles, RecordedTextsGoOutAsTheyWereSet)
{
    ExactTitles titles;
    EXPECT_EQ(titles.onReport(u"VB:EXITOK", Texts{u" VB:EXITOK"}, false), Texts{u" VB:EXITOK"});
    EXPECT_EQ(titles.onReport(u"Zentarro", Texts{u"Zentarro"}, false), Texts{u"Zentarro"});
    EXPECT_EQ(titles.onReport(u"VB:IMP PHONE", Texts{u"VB:IMP  PHONE"}, false), Texts{u"VB:IMP  PHONE"});
    // A title that looks like part of the address but was recorded is a real title.
    EXPECT_EQ(titles.onReport(u"page.html", Texts{u"page.html "}, true), Texts{u"page.html "});
}

TEST(ExactTitles, TitlesSetInQuickSuccessionKeepTheirOrderOnce)
{
    ExactTitles titles;
    // Three sets before the first report was looked at: all come with it, in order, and
    // the later reports are their echoes.
    EXPECT_EQ(titles.onReport(u"A", Texts{u"A ", u" B", u"C  c"}, false), (Texts{u"A ", u" B", u"C  c"}));
    EXPECT_EQ(titles.onReport(u"B", Texts{}, false), Texts{});
    EXPECT_EQ(titles.onReport(u"C c", Texts{}, false), Texts{});
    // The engine may drop a report in between; the next one still counts as an echo.
    EXPECT_EQ(titles.onReport(u"D", Texts{u"D", u"E", u"F"}, false), (Texts{u"D", u"E", u"F"}));
    EXPECT_EQ(titles.onReport(u"F", Texts{u"G"}, false), Texts{u"G"});
    EXPECT_EQ(titles.onReport(u"G", Texts{}, false), Texts{});
    // A change of blanks alone brings no report; it comes with the next one.
    EXPECT_EQ(titles.onReport(u"H", Texts{u"G ", u"H"}, false), (Texts{u"G ", u"H"}));
    // The same text set again is no change.
    EXPECT_EQ(titles.onReport(u"I", Texts{u"H", u"I"}, false), Texts{u"I"});
}

TEST(ExactTitles, ReportsTheRecordCannotAccountFor)
{
    ExactTitles titles;
    // The page set a command and went on to a new document before it was asked: the
    // report stands for itself, before what the new document recorded.
    EXPECT_EQ(titles.onReport(u"VB:LOGINOK", Texts{u"Home"}, false), (Texts{u"VB:LOGINOK", u"Home"}));
    EXPECT_EQ(titles.onReport(u"Home", Texts{}, false), Texts{});
    // No record at all (the page could not be asked in time).
    EXPECT_EQ(titles.onReport(u"VB:CHAT|1", std::nullopt, false), Texts{u"VB:CHAT|1"});
    // An untitled document reported under its address: no change of title.
    EXPECT_EQ(titles.onReport(u"127.0.0.1:9/plain.html", Texts{}, true), Texts{});
    EXPECT_EQ(titles.onReport(u"127.0.0.1:9/plain.html", std::nullopt, true), Texts{});
    // A new document with the same title as the last one is no change either.
    EXPECT_EQ(titles.onReport(u"Home", Texts{u"Home"}, false), Texts{u"Home"});
    EXPECT_EQ(titles.onReport(u"Home", Texts{u"Home"}, false), Texts{});
}

TEST(ExactTitles, LongTitlesTheEngineCutsStillMatch)
{
    ExactTitles titles;
    const std::u16string longTitle = u"VB:" + std::u16string(5000, u'x') + u"  ";
    const std::u16string cut = collapsedTitle(longTitle).substr(0, 4096);
    EXPECT_EQ(titles.onReport(cut, Texts{longTitle}, false), Texts{longTitle});
    // A short report that merely begins the recorded text is another title.
    ExactTitles other;
    EXPECT_EQ(other.onReport(u"VB:EXIT", Texts{u"VB:EXITOK"}, false), (Texts{u"VB:EXIT", u"VB:EXITOK"}));
}

} // namespace
} // namespace talvo::mainlogic
