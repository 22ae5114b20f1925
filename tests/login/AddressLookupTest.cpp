#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "login/logic/AddressLookup.h"

namespace talvo::loginlogic {
namespace {

// A server that records what it was asked, and through which request object.
struct FakeServer {
    struct Call {
        std::u16string url;
        int object;
    };
    std::vector<Call> calls;
    int objectsMade = 0;
    std::function<std::u16string(const std::u16string& url, int callNumber)> answer;

    RequestFactory factory()
    {
        return [this] {
            const int object = ++objectsMade;
            return GetRequest([this, object](const std::u16string& url) {
                calls.push_back({url, object});
                return answer(url, static_cast<int>(calls.size()));
            });
        };
    }

    int countStartingWith(std::u16string_view prefix) const
    {
        int n = 0;
        for (const Call& call : calls)
            n += call.url.starts_with(prefix) ? 1 : 0;
        return n;
    }
};

constexpr std::u16string_view kCheckPrefix = u"http://srv.test:8080/soft!code.action?rnm=";
constexpr std::u16string_view kAddressPrefix = u"http://srv.test:8080/softcheck!geturl.action?member=";

bool isCheckCode(const std::u16string& url) { return url.starts_with(kCheckPrefix); }

bool allDigits(std::u16string_view s)
{
    if (s.empty())
        return false;
    for (char16_t c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

TEST(AddressLookup, AsksForTheCheckCodeThenTheAddress)
{
    FakeServer server;
    server.answer = [](const std::u16string& url, int) -> std::u16string {
        return isCheckCode(url) ? u"K93J2" : u"mireth_url:10.1.2.3:8081/crm";
    };
    const AddressLookup lookup(server.factory());

    EXPECT_EQ(lookup.getVisitUrl(u"srv.test:8080", u"qv1"), u"10.1.2.3:8081/crm");

    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_TRUE(allDigits(std::u16string_view(server.calls[0].url).substr(kCheckPrefix.size())))
        << "check-code address: " << std::string(server.calls[0].url.begin(), server.calls[0].url.end());
    const std::u16string& address = server.calls[1].url;
    const std::u16string expectedStart = std::u16string(kAddressPrefix) + u"qv1&rnm=";
    ASSERT_TRUE(address.starts_with(expectedStart));
    EXPECT_TRUE(allDigits(std::u16string_view(address).substr(expectedStart.size())));
    // The check code's request object is gone before the address request gets its own.
    EXPECT_NE(server.calls[0].object, server.calls[1].object);
}

TEST(AddressLookup, ElevenShortAnswersMeanNoAddressRequest)
{
    FakeServer server;
    server.answer = [](const std::u16string&, int) -> std::u16string { return u"null"; };
    std::vector<int> attempts;
    const AddressLookup lookup(server.factory());

    EXPECT_EQ(lookup.getVisitUrl(u"srv.test:8080", u"test", [&](int n) { attempts.push_back(n); }), u"");

    EXPECT_EQ(server.calls.size(), 11u);
    EXPECT_EQ(server.countStartingWith(kCheckPrefix), 11);
    EXPECT_EQ(server.countStartingWith(kAddressPrefix), 0);
    EXPECT_EQ(server.objectsMade, 1) << "all attempts share one request object";
    EXPECT_EQ(attempts, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST(AddressLookup, CodeOnTheThirdAttempt)
{
    FakeServer server;
    server.answer = [](const std::u16string& url, int n) -> std::u16string {
        if (!isCheckCode(url))
            return u"mireth_url:app.test";
        return n == 3 ? u"12345" : (n == 1 ? u"" : u"abcd");
    };
    const AddressLookup lookup(server.factory());

    EXPECT_EQ(lookup.getVisitUrl(u"srv.test:8080", u"test"), u"app.test");
    ASSERT_EQ(server.calls.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(isCheckCode(server.calls[static_cast<std::size_t>(i)].url)) << i;
    EXPECT_TRUE(server.calls[3].url.starts_with(kAddressPrefix));
}

TEST(AddressLookup, EveryRequestDrawsFreshDigits)
{
    FakeServer server;
    server.answer = [](const std::u16string&, int) -> std::u16string { return u"1234"; };
    const AddressLookup lookup(server.factory());
    lookup.getCheckCode(u"srv.test:8080");
    ASSERT_EQ(server.calls.size(), 11u);
    for (std::size_t i = 1; i < server.calls.size(); ++i)
        EXPECT_NE(server.calls[i].url, server.calls[i - 1].url) << i;
}

TEST(AddressLookup, MemberCodeGoesOutUnencoded)
{
    for (const std::u16string member : {u"test", u"qv1", u"a b&c=d%20"}) {
        FakeServer server;
        server.answer = [](const std::u16string& url, int) -> std::u16string {
            return isCheckCode(url) ? u"ABCDE" : u"";
        };
        AddressLookup(server.factory()).getVisitUrl(u"srv.test:8080", member);
        ASSERT_EQ(server.calls.size(), 2u);
        EXPECT_TRUE(server.calls[1].url.starts_with(std::u16string(kAddressPrefix) + member + u"&rnm="));
    }
}

struct MarkerCase {
    const char16_t* response;
    const char16_t* address;
    const char* why;
};

class AddressMarker : public testing::TestWithParam<MarkerCase> { };

TEST_P(AddressMarker, Rules)
{
    const MarkerCase& c = GetParam();
    EXPECT_EQ(addressFromResponse(c.response), std::u16string(c.address)) << c.why;

    // The same through a whole lookup.
    FakeServer server;
    server.answer = [&c](const std::u16string& url, int) -> std::u16string {
        return isCheckCode(url) ? u"ABCDE" : c.response;
    };
    EXPECT_EQ(AddressLookup(server.factory()).getVisitUrl(u"srv.test:8080", u"qv1"), c.address) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Responses, AddressMarker,
    testing::Values(MarkerCase{u"mireth_url:crm.example.test/app/v2", u"crm.example.test/app/v2", "host and path"},
                    MarkerCase{u"mireth_url:null", u"", "the server has no address"},
                    MarkerCase{u"mireth_url:a", u"a", "one letter, 12 characters in all"},
                    MarkerCase{u"mireth_url:", u"", "the marker alone"},
                    MarkerCase{u"<html>500 Internal Error</html>", u"", "an error page without the marker"},
                    MarkerCase{u"abcdef", u"", "six characters, no marker"}, MarkerCase{u"", u"", "nothing"},
                    MarkerCase{u"mireth_url:mireth_url:h.test", u"h.test", "every marker is cut"},
                    MarkerCase{u"h.testmireth_url:/p", u"h.test/p", "wherever it stands"},
                    MarkerCase{u"MIRETH_URL:h.test", u"", "the marker is case-sensitive"},
                    MarkerCase{u"mireth_url:NULL", u"NULL", "only lower-case null means none"},
                    MarkerCase{u"mireth_url:nulls", u"nulls", "null must be exact"},
                    // Line ends and blanks around the address are never part of it.
                    MarkerCase{u"mireth_url:h.test/app\n", u"h.test/app", "a line end"},
                    MarkerCase{u"mireth_url:h.test/app\r\n", u"h.test/app", "a Windows line end"},
                    MarkerCase{u" \t\f mireth_url:\r\n h.test:8081/app \t\r\n\n", u"h.test:8081/app",
                               "blanks at both ends"},
                    MarkerCase{u"mireth_url:h.test/a b\tc", u"", "blanks inside make it no address"},
                    MarkerCase{u"mireth_url:\u3000h.test\v", u"", "other blanks are not trimmed, and no address"},
                    MarkerCase{u"mireth_url: \r\n", u"", "the marker and blanks alone"},
                    MarkerCase{u"mireth_url:null\r\n", u"", "null with a line end is still none"}));

struct AddressCase {
    std::u16string address;
    bool good;
    const char* why;
};

class AddressShape : public testing::TestWithParam<AddressCase> { };

TEST_P(AddressShape, OnlyHostPortAndPathCount)
{
    const AddressCase& c = GetParam();
    EXPECT_EQ(isWellFormedAddress(c.address), c.good) << c.why;
    // Through the answer as the server sends it: a bad address is no address, as "null" is.
    EXPECT_EQ(addressFromResponse(u"mireth_url:" + c.address + u"\r\n"), c.good ? c.address : u"") << c.why;
}

std::u16string repeated(char16_t c, std::size_t n) { return std::u16string(n, c); }

// "h.test/" and a path of a's, length characters in all.
std::u16string addressOfLength(std::size_t length) { return u"h.test/" + repeated(u'a', length - 7); }

INSTANTIATE_TEST_SUITE_P(
    Shapes, AddressShape,
    testing::Values(
        AddressCase{u"crm.example.test", true, "a host"},
        AddressCase{u"crm-1.example.test:8081/app/v2", true, "host, port and path"},
        AddressCase{u"10.0.0.7:65535/", true, "an IPv4 host, the highest port"},
        AddressCase{u"[::1]:8080/app", true, "a bracketed IPv6 literal"},
        AddressCase{u"[2001:db8::7]", true, "IPv6 without port"},
        AddressCase{u"h.test/\u5ba2\u6237/\U0001F600?a=1#x", true, "Unicode, query and fragment in the path"},
        AddressCase{u"NULL", true, "only lower-case null means none"},
        AddressCase{addressOfLength(2048), true, "2,048 characters"},
        AddressCase{addressOfLength(2049), false, "2,049 characters"},
        AddressCase{repeated(u'x', 16u << 20), false, "16 MiB of junk"},
        AddressCase{u"h.test/a\x01b", false, "a C0 control character"}, AddressCase{u"h.test/a\x7f", false, "DEL"},
        AddressCase{u"h.test/a\x85", false, "a C1 control character"},
        AddressCase{std::u16string(u"h.test/a\0b", 10), false, "a NUL"}, AddressCase{u"h.test/a b", false, "a blank"},
        AddressCase{u"h.test/a\u00a0b", false, "a no-break space"},
        AddressCase{u"h.test/\u202eexe.txt", false, "a direction override"},
        AddressCase{u"h.test/\xd800x", false, "a lone surrogate"}, AddressCase{u"http://h.test/app", false, "a scheme"},
        AddressCase{u"javascript:alert(1)", false, "another scheme, no slashes"},
        AddressCase{u"user@h.test/app", false, "a user part"},
        AddressCase{u"h.test/app@evil.test", false, "an @ anywhere"},
        AddressCase{u"h.test\\evil.test/app", false, "a backslash"},
        AddressCase{u"h.test?x=/app", false, "a query in the host part"},
        AddressCase{u"h.test#/app", false, "a fragment in the host part"},
        AddressCase{u"h_test/app", false, "an underscore in the host"}, AddressCase{u":8080/app", false, "no host"},
        AddressCase{u"/app", false, "a path alone"}, AddressCase{u"h.test:/app", false, "an empty port"},
        AddressCase{u"h.test:0/app", false, "port 0"}, AddressCase{u"h.test:65536/app", false, "a port over 65535"},
        AddressCase{u"h.test:123456", false, "six digits"},
        AddressCase{u"h.test:80a/app", false, "a port with a letter"}, AddressCase{u"h.test:80:81", false, "two ports"},
        AddressCase{u"[::1", false, "an unclosed IPv6 literal"}, AddressCase{u"[h.test]", false, "a bracketed name"},
        AddressCase{u"[::1]x", false, "junk after the IPv6 literal"}));

} // namespace
} // namespace talvo::loginlogic
