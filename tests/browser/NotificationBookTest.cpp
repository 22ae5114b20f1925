#include <gtest/gtest.h>

#include "browser/logic/NotificationBook.h"

using namespace talvo::browserlogic;
using Kind = NotificationBook::Begin::Kind;

TEST(NotificationGrant, OnlyTheApplicationsSiteWithAService)
{
    const std::u16string app = u"http://127.0.0.1:8080/ui/common/login.jsp?cp=1";
    EXPECT_EQ(decideNotificationGrant(app, u"http://127.0.0.1:8080/", true), NotificationGrant::Granted);
    EXPECT_EQ(decideNotificationGrant(app, u"http://127.0.0.1:8080/", false), NotificationGrant::NoService);
    // Same server under another name, another port, another scheme: other sites.
    EXPECT_EQ(decideNotificationGrant(app, u"http://localhost:8080/", true), NotificationGrant::OtherSite);
    EXPECT_EQ(decideNotificationGrant(app, u"http://127.0.0.1:8081/", true), NotificationGrant::OtherSite);
    EXPECT_EQ(decideNotificationGrant(app, u"https://127.0.0.1:8080/", true), NotificationGrant::OtherSite);
    EXPECT_EQ(decideNotificationGrant(app, u"", true), NotificationGrant::OtherSite);
    // Before the application's address is known nobody is the application.
    EXPECT_EQ(decideNotificationGrant(u"", u"http://127.0.0.1:8080/", true), NotificationGrant::OtherSite);
}

TEST(NotificationText, BoundedAndPlainForMarkupServices)
{
    EXPECT_EQ(notificationTitle(u"新客户消息"), u"新客户消息");
    const std::u16string longTitle(5000, u'a');
    EXPECT_EQ(notificationTitle(longTitle), std::u16string(kMaxNotificationTitle, u'a') + u"…");
    // A surrogate pair cut in half would be invalid text.
    std::u16string pairs(kMaxNotificationTitle - 1, u'b');
    pairs += u"\U0001F600\U0001F600";
    const std::u16string cut = notificationTitle(pairs);
    EXPECT_EQ(cut, std::u16string(kMaxNotificationTitle - 1, u'b') + u"…");

    EXPECT_EQ(notificationBody(u"<b>A&B</b>", true), u"&lt;b&gt;A&amp;B&lt;/b&gt;");
    EXPECT_EQ(notificationBody(u"<b>A&B</b>", false), u"<b>A&B</b>");
    EXPECT_EQ(notificationBody(std::u16string(3000, u'x'), false).size(), kMaxNotificationBody + 1);
}

TEST(NotificationBook, SameTagReplacesTheDesktopOne)
{
    NotificationBook book;
    const auto first = book.begin(u"chat-42", 0);
    ASSERT_EQ(first.kind, Kind::Send);
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_FALSE(first.superseded);
    EXPECT_TRUE(book.delivered(first.serial, 17));

    const auto second = book.begin(u"chat-42", 2000);
    ASSERT_EQ(second.kind, Kind::Send);
    EXPECT_EQ(second.replacesId, 17u);
    EXPECT_EQ(second.superseded, first.serial);
    EXPECT_NE(second.serial, first.serial);
    EXPECT_TRUE(book.delivered(second.serial, 17));
    EXPECT_EQ(book.open(), 1u);
    EXPECT_EQ(book.clicked(17), second.serial);

    // Other tags and no tag replace nothing.
    const auto other = book.begin(u"chat-43", 2001);
    EXPECT_EQ(other.replacesId, 0u);
    EXPECT_FALSE(other.superseded);
    const auto untagged1 = book.begin(u"", 2002);
    const auto untagged2 = book.begin(u"", 2003);
    EXPECT_FALSE(untagged2.superseded);
    EXPECT_NE(untagged1.serial, untagged2.serial);
    EXPECT_EQ(book.open(), 4u);
}

TEST(NotificationBook, ReplacedBeforeItsIdCameIsWithdrawnWhenItComes)
{
    NotificationBook book;
    const auto first = book.begin(u"t", 0);
    const auto second = book.begin(u"t", 10);
    EXPECT_EQ(second.replacesId, 0u); // nothing to name yet
    EXPECT_EQ(second.superseded, first.serial);
    EXPECT_FALSE(book.delivered(first.serial, 5)); // the caller withdraws 5
    EXPECT_TRUE(book.delivered(second.serial, 6));
    EXPECT_EQ(book.clicked(5), std::nullopt);
    EXPECT_EQ(book.clicked(6), second.serial);
}

TEST(NotificationBook, ClosedByThePageBeforeAndAfterItsId)
{
    NotificationBook book;
    const auto shown = book.begin(u"a", 0);
    ASSERT_TRUE(book.delivered(shown.serial, 3));
    EXPECT_EQ(book.closedByPage(shown.serial), 3u);
    EXPECT_EQ(book.closedByPage(shown.serial), std::nullopt); // once
    EXPECT_EQ(book.closedByDesktop(3), std::nullopt);         // the service's echo is not ours any more

    const auto early = book.begin(u"b", 10);
    EXPECT_EQ(book.closedByPage(early.serial), std::nullopt);
    EXPECT_FALSE(book.delivered(early.serial, 4)); // withdrawn as it arrives
    EXPECT_EQ(book.open(), 0u);
}

TEST(NotificationBook, DesktopCloseEndsOursAndFailuresLeaveNothing)
{
    NotificationBook book;
    const auto one = book.begin(u"", 0);
    ASSERT_TRUE(book.delivered(one.serial, 9));
    EXPECT_EQ(book.closedByDesktop(8), std::nullopt); // someone else's
    EXPECT_EQ(book.closedByDesktop(9), one.serial);
    EXPECT_EQ(book.closedByDesktop(9), std::nullopt);

    const auto lost = book.begin(u"x", 10);
    book.failed(lost.serial);
    EXPECT_EQ(book.open(), 0u);
    EXPECT_FALSE(book.delivered(lost.serial, 11)); // a late answer changes nothing
    // Its tag is free again.
    const auto again = book.begin(u"x", 20);
    EXPECT_FALSE(again.superseded);
}

TEST(NotificationBook, AFloodIsHeldBack)
{
    NotificationBook book;
    std::int64_t now = 0;
    for (std::size_t i = 0; i < NotificationBook::kMaxOpen; ++i) {
        const auto b = book.begin(u"", now += 300);
        ASSERT_EQ(b.kind, Kind::Send) << i;
        book.delivered(b.serial, static_cast<std::uint32_t>(100 + i));
    }
    EXPECT_EQ(book.begin(u"", now += 300).kind, Kind::TooManyOpen);
    // One closing makes room for one.
    ASSERT_TRUE(book.closedByDesktop(100));
    EXPECT_EQ(book.begin(u"", now += 300).kind, Kind::Send);
    EXPECT_EQ(book.begin(u"", now += 300).kind, Kind::TooManyOpen);

    // Replacing by tag needs no room, but counts against the rate.
    NotificationBook chat;
    const auto first = chat.begin(u"chat", 10000);
    chat.delivered(first.serial, 1);
    for (std::size_t i = 1; i < NotificationBook::kMaxPerSecond; ++i)
        EXPECT_EQ(chat.begin(u"chat", 10000 + static_cast<std::int64_t>(i)).kind, Kind::Send) << i;
    EXPECT_EQ(chat.begin(u"chat", 10500).kind, Kind::TooFast);
    EXPECT_EQ(chat.begin(u"chat", 10999).kind, Kind::TooFast);
    EXPECT_EQ(chat.begin(u"chat", 11000).kind, Kind::Send); // the first has aged out
    EXPECT_EQ(chat.open(), 1u);
}
