#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "main/logic/ContactAhead.h"
#include "main/logic/ContactInfo.h"
#include "net/RandomSequence.h"
#include "platform/Utf.h"

using namespace talvo;
using namespace talvo::mainlogic;

TEST(ContactSummary, Answers)
{
    struct {
        const char16_t* answer;
        const char16_t* summary;
    } cases[] = {
        {u"contact:Li tel:123 qq:456", u" 联系人:LI  联系电话:123 QQ:456"},
        {u"CONTACT:Li TEL:123 QQ:456", u" 联系人:LI  联系电话:123 QQ:456"},
        {u"qq:1", u"QQ:1"},
        {u"contact:Wang mobilephone:139 QQ:7", u" 联系人:WANG  手机号码:139 QQ:7"},
        // TEL goes first, so it is also taken out of words that merely contain it.
        {u"hotel:x qq:1", u"HO 联系电话:X QQ:1"},
        {u"contactor:x QQ:1", u" 联系人OR:X QQ:1"},
        {u"email:a@b.cn QQ:9", u"EMAIL:A@B.CN QQ:9"},
        {u"联系 Qq:1 qQ:2 QQ:3", u"联系 QQ:1 QQ:2 QQ:3"},
        // No QQ marker in either exact form: nothing, whatever else is there.
        {u"contact:Li tel:123", u""},
        {u"contact:Li Qq:1", u""},
        {u"<html><body>500 Internal Server Error contact tel</body></html>", u""},
        {u"null", u""},
        {u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(contactSummary(c.answer), c.summary) << platform::toUtf8(c.answer);
}

namespace {

struct Call {
    std::u16string act, url, para;
};

// A request function that records its calls and answers with a fixed result.
ContactRequest recording(std::vector<Call>& calls, Variant answer)
{
    return [&calls, answer](const std::u16string& act, const std::u16string& url, const std::u16string& para) {
        calls.push_back({act, url, para});
        return answer;
    };
}

} // namespace

TEST(GetContactInfo, SendsOneRequestToTheLookupHost)
{
    std::vector<Call> calls;
    // Another sequence with the same seed tells us which digits are next, wherever the
    // process sequence stands.
    RandomSequence probe = processRandomSequence();
    const std::u16string expected = randomDigits(probe.next());

    const std::u16string summary = getContactInfo(u"qv1", u"127.0.0.1:8080",
                                                  recording(calls, Variant(u"contact:Li tel:123 qq:456")));

    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].act, u"Get");
    EXPECT_EQ(calls[0].url, u"http://127.0.0.1:8080/softcheck!contact.action?memberid=qv1&rnm=" + expected);
    EXPECT_EQ(calls[0].para, u"");
    EXPECT_EQ(summary, u" 联系人:LI  联系电话:123 QQ:456");
}

TEST(GetContactInfo, EmptyMemberStillAsks)
{
    std::vector<Call> calls;
    getContactInfo(u"", u"host", recording(calls, Variant(u"")));
    ASSERT_EQ(calls.size(), 1u);
    const std::u16string& url = calls[0].url;
    EXPECT_EQ(url.rfind(u"http://host/softcheck!contact.action?memberid=&rnm=", 0), 0u);
    // The digits are there, and fresh ones each call.
    EXPECT_GT(url.size(), std::u16string(u"http://host/softcheck!contact.action?memberid=&rnm=").size());
    getContactInfo(u"", u"host", recording(calls, Variant(u"")));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0].url, calls[1].url);
}

TEST(GetContactInfo, FailedRequestsGiveAnEmptySummary)
{
    std::vector<Call> calls;
    EXPECT_EQ(getContactInfo(u"test", u"h", recording(calls, Variant())), u"");
    EXPECT_EQ(getContactInfo(u"test", u"h", recording(calls, Variant(u"null"))), u"");
    // A body that could not be decoded arrives as bytes and is read as UTF-16 text.
    EXPECT_EQ(getContactInfo(u"test", u"h", recording(calls, Variant::fromBytes(std::string("q\0q\0:\0001\0", 8)))),
              u"QQ:1");
}

TEST(GetContactInfo, RealRequestWithoutAHostFailsQuietly)
{
    // No lookup host: the address has none, the helper fails at once, the summary is empty.
    EXPECT_EQ(getContactInfo(u"qv1", u""), u"");
}

TEST(GetContactInfo, RealRequestOverLoopback)
{
    talvo::test::LoopbackServer server(
        talvo::test::answering(200, "contact:\xe6\x9d\x8e tel:88 QQ:12345", "Content-Type: text/plain\r\n"));
    const std::u16string host = server.host();

    const std::u16string summary = getContactInfo(u"test", host);

    EXPECT_EQ(summary, u" 联系人:李  联系电话:88 QQ:12345");
    const auto heads = server.heads();
    std::vector<std::string> lines;
    for (const std::string& head : heads)
        lines.push_back(head.substr(0, head.find("\r\n")));
    ASSERT_EQ(lines.size(), 1u);
    // Our query, then the helper's own suffix.
    const std::string prefix = "GET /softcheck!contact.action?memberid=test&rnm=";
    EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("?rnm=", prefix.size()), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("& HTTP/1.1"), std::string::npos) << lines[0];
}

TEST(ContactAhead, AJobOnAnotherThreadKeepsTheSummaryForItsMemberOnce)
{
    ContactAhead ahead;
    std::vector<std::u16string> urls;
    const ContactRequest fake = [&urls](const std::u16string&, const std::u16string& url, const std::u16string&) {
        urls.push_back(url);
        return Variant(std::u16string(u"contact:Li qq:1"));
    };
    EXPECT_FALSE(ahead.take(u"qv1")) << "nothing before a job ran";

    std::function<void()> job = ahead.job(u"qv1", u"srv.test", fake);
    std::thread(job).join();
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0].rfind(u"http://srv.test/softcheck!contact.action?memberid=qv1&rnm=", 0), 0u);

    EXPECT_FALSE(ahead.take(u"test")) << "kept for another member";
    EXPECT_EQ(ahead.take(u"qv1"), std::optional<std::u16string>(u" 联系人:LI QQ:1"));
    EXPECT_FALSE(ahead.take(u"qv1")) << "handed out once";
}
