#include <gtest/gtest.h>

#include <deque>
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

TEST(TitleLimits, ALongTitleIsCutButNeverInsideAPair)
{
    EXPECT_EQ(boundedTitle(std::u16string(kMaxTitleLength, u'a')).size(), kMaxTitleLength) << "at the limit: kept";
    EXPECT_EQ(boundedTitle(std::u16string(kMaxTitleLength + 1, u'a')), std::u16string(kMaxTitleLength, u'a'));
    EXPECT_EQ(boundedTitle(std::u16string(16u << 20, u'x')).size(), kMaxTitleLength);

    // A pair across the cut goes whole.
    std::u16string straddling(kMaxTitleLength - 1, u'a');
    straddling += u"\U0001F600tail";
    EXPECT_EQ(boundedTitle(straddling), std::u16string(kMaxTitleLength - 1, u'a'));
    // A pair that ends at the cut stays whole.
    std::u16string inside(kMaxTitleLength - 2, u'a');
    inside += u"\U0001F600tail";
    const std::u16string cut = boundedTitle(inside);
    EXPECT_EQ(cut.size(), kMaxTitleLength);
    EXPECT_EQ(cut.substr(cut.size() - 2), u"\U0001F600");
}

TEST(TitleLimits, OnlyTheNewestTitlesAreKept)
{
    Texts titles;
    for (int i = 0; i < 300; ++i)
        titles.push_back(u"t" + std::u16string(1, char16_t(u'0' + i % 10)) + std::u16string(i, u'.'));
    titles.back() = std::u16string(kMaxTitleLength + 10, u'z');
    const Texts before = titles;
    boundTitles(titles);
    ASSERT_EQ(titles.size(), kMaxQueuedTitles);
    EXPECT_EQ(titles.front(), before[300 - kMaxQueuedTitles]) << "the oldest go";
    EXPECT_EQ(titles[kMaxQueuedTitles - 2], before[298]);
    EXPECT_EQ(titles.back(), std::u16string(kMaxTitleLength, u'z')) << "each one is bounded too";

    Texts few{u"a", u"b"};
    boundTitles(few);
    EXPECT_EQ(few, (Texts{u"a", u"b"})) << "a short queue stays as it is";
}

TEST(TitleLimits, TheQueueDropsItsOldestEntriesBeyondTheLimit)
{
    // Entries holding several titles each, oldest first, as a watcher queues them.
    std::deque<Texts> queue;
    const auto count = [](const Texts& entry) { return entry.size(); };
    for (int i = 0; i < 100; ++i)
        queue.push_back(Texts(3, std::u16string(1, char16_t(u'A' + i % 26))));
    dropOldestTitles(queue, count);
    std::size_t total = 0;
    for (const Texts& entry : queue)
        total += entry.size();
    EXPECT_EQ(queue.size(), 85u) << "85 entries of 3 titles fit in 256, 86 do not";
    EXPECT_EQ(total, 255u);
    EXPECT_EQ(queue.back(), Texts(3, u"V")) << "the newest stays";
    EXPECT_EQ(queue.front(), Texts(3, std::u16string(1, char16_t(u'A' + 15 % 26))));

    std::deque<Texts> small{Texts(4, u"x"), Texts(5, u"y")};
    dropOldestTitles(small, count, 9);
    EXPECT_EQ(small.size(), 2u) << "at the limit nothing goes";
    dropOldestTitles(small, count, 8);
    EXPECT_EQ(small, (std::deque<Texts>{Texts(5, u"y")}));
    dropOldestTitles(small, count, 1);
    EXPECT_EQ(small.size(), 1u) << "the newest entry always stays";
}

} // namespace
} // namespace talvo::mainlogic
