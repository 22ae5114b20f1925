#include <string>

#include <gtest/gtest.h>

#include "BackendDifferences.h"
#include "LoopbackServer.h"
#include "NetTestSupport.h"
#include "net/ServerRequests.h"
#include "net/xmlHttp.h"
#include "platform/RuntimeError.h"

namespace talvo {
namespace {

using namespace std::chrono_literals;
using test::answering;
using test::LoopbackServer;
using test::quickLimits;
using test::timeMs;
using test::u16;
using test::u8;
using test::writing;

const std::string kQv1Contact = "contact:王芳 tel:010-62345678 qq:84512367 mobilephone:13912345678";

std::function<bool(const std::string&)> startsWith(const std::string& prefix)
{
    return [prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; };
}

// ---- what goes on the wire ----

const std::string kCheckCode = "K7Q2M9XA";

TEST(XmlHttpWire, SuffixFollowsTheCallersQueryWithASecondQuestionMark)
{
    LoopbackServer server(answering(200, "mireth_url:10.0.0.7:8080"));
    xmlHttp http(quickLimits());
    const int n = test::upcomingRnm();
    const Variant result = http.SmsXmlHttp(u"Get", visitUrlAddress(server.host(), u"qv1", u"07055475"), u"");

    ASSERT_TRUE(result.isText());
    EXPECT_EQ(u8(result.text()), "mireth_url:10.0.0.7:8080");
    const std::string line = server.waitForRequest(startsWith("GET /softcheck"));
    EXPECT_EQ(line, "GET /softcheck!geturl.action?member=qv1&rnm=07055475?rnm=" + std::to_string(n) + "&");
}

TEST(XmlHttpWire, ParameterStringGoesAfterTheSuffix)
{
    LoopbackServer server(answering(200, kCheckCode));
    xmlHttp http(quickLimits());
    const int n = test::upcomingRnm();
    const Variant result = http.SmsXmlHttp(u"Get", u"http://" + server.host() + u"/soft!code.action", u"a=1");

    ASSERT_TRUE(result.isText());
    EXPECT_EQ(u8(result.text()), kCheckCode);
    EXPECT_EQ(server.waitForRequest(startsWith("GET /soft!")),
              "GET /soft!code.action?rnm=" + std::to_string(n) + "&a=1");
}

TEST(XmlHttpWire, RnmIsADecimalFrom0To9999)
{
    LoopbackServer server(answering(200, kCheckCode));
    xmlHttp http(quickLimits());
    // "0" or 1 to 4 digits without a leading zero, then "&" and nothing else.
    const auto wellFormed = [](const std::string& line) {
        const std::string prefix = "GET /soft!code.action?rnm=";
        if (line.rfind(prefix, 0) != 0 || line.back() != '&')
            return false;
        const std::string n = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        return !n.empty() && n.size() <= 4 && n.find_first_not_of("0123456789") == std::string::npos
            && (n == "0" || n[0] != '0');
    };
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(http.SmsXmlHttp(u"Get", u"http://" + server.host() + u"/soft!code.action", u"").isText());
    const auto lines = server.waitForRequests(20);
    ASSERT_EQ(lines.size(), 20u);
    for (const std::string& line : lines)
        EXPECT_TRUE(wellFormed(line)) << line;
}

TEST(XmlHttpWire, NonAsciiSpacesAndControlsAreEscapedOtherTextIsNot)
{
    LoopbackServer server(answering(200, kCheckCode));
    xmlHttp http(quickLimits());
    const int n = test::upcomingRnm();
    http.SmsXmlHttp(u"Get", u"http://" + server.host() + u"/页 面?x=中%41\t!'()*", u"y=é");
    EXPECT_EQ(server.waitForRequest(startsWith("GET /%")),
              "GET /%E9%A1%B5%20%E9%9D%A2?x=%E4%B8%AD%41%09!'()*?rnm=" + std::to_string(n) + "&y=%C3%A9");
}

TEST(XmlHttpWire, MethodsAreTokensWellKnownOnesUpperCased)
{
    LoopbackServer server(answering(200, kCheckCode));
    xmlHttp http(quickLimits());
    const std::u16string url = u"http://" + server.host() + u"/soft!code.action";
    struct Row {
        std::u16string act;
        std::string sent;
    };
    const Row rows[] = {{u"Get", "GET "}, {u"get", "GET "}, {u"GET", "GET "}, {u"post", "POST "}};
    for (const Row& row : rows) {
        EXPECT_TRUE(http.SmsXmlHttp(row.act, url, u"").isText()) << u8(row.act);
        EXPECT_FALSE(server.waitForRequest(startsWith(row.sent), 2s).empty()) << u8(row.act);
    }

    // Not a token: refused before anything is sent, so nothing reaches the request line.
    for (const std::u16string act : {u"", u"Ge t", u"GET /x HTTP/1.1\r\nX-Injected: 1\r\n", u"GÉT"})
        EXPECT_TRUE(http.SmsXmlHttp(act, url, u"").isEmpty()) << u8(act);
    http.SmsXmlHttp(u"Get", url + u"?last", u"");
    server.waitForRequest(startsWith("GET /soft!code.action?last"));
    for (const std::string& line : server.requests())
        EXPECT_TRUE(line.rfind("GET ", 0) == 0 || line.rfind("POST ", 0) == 0) << line;
    EXPECT_EQ(server.requests().size(), 5u);
}

TEST(XmlHttpWire, OwnUserAgentAndAnEmptyBodyAnnouncedForPost)
{
    LoopbackServer server(answering(200, kCheckCode));
    xmlHttp http(quickLimits());
    const std::u16string url = u"http://" + server.host() + u"/soft!code.action";
    ASSERT_TRUE(http.SmsXmlHttp(u"Get", url, u"").isText());
    ASSERT_TRUE(http.SmsXmlHttp(u"Post", url, u"").isText());
    const std::vector<std::string> heads = server.heads();
    ASSERT_EQ(heads.size(), 2u);
    for (const std::string& head : heads)
        EXPECT_NE(head.find("\r\nUser-Agent: Talvo/1.0\r\n"), std::string::npos) << head;
    EXPECT_EQ(heads[0].find("Content-Length"), std::string::npos) << heads[0];
    EXPECT_NE(heads[1].find("\r\nContent-Length: 0\r\n"), std::string::npos) << heads[1];
}

// ---- results ----

TEST(XmlHttpResult, ErrorStatusBodyComesBackAsText)
{
    const std::string page = "<!DOCTYPE html>\n<html><body><h1>404 找不到页面</h1></body></html>\n";
    LoopbackServer server(answering(404, page, "Content-Type: text/html; charset=utf-8\r\n"));
    xmlHttp http(quickLimits());
    const Variant result = http.SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_EQ(u8(result.text()), page);
}

TEST(XmlHttpResult, BodyNullAndAnIncompleteResponseGiveTheSameText)
{
    LoopbackServer normal(answering(200, "null"));
    xmlHttp http(quickLimits());
    const Variant answeredNull = http.SmsXmlHttp(u"Get", contactAddress(normal.host(), u"nobody", u"01"), u"");
    ASSERT_TRUE(answeredNull.isText());
    EXPECT_EQ(answeredNull.text(), u"null");

    // Content-Length announced, half the body sent, connection closed.
    LoopbackServer closing(writing("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kQv1Contact.size())
                                   + "\r\n\r\n" + kQv1Contact.substr(0, kQv1Contact.size() / 2)));
    const Variant incomplete = http.SmsXmlHttp(u"Get", contactAddress(closing.host(), u"qv1", u"01"), u"");
    EXPECT_EQ(incomplete, answeredNull);
}

TEST(XmlHttpResult, InvalidUtf8BecomesReplacementCharacters)
{
    // A stray 0xFF, a lead byte before "(", and a sequence cut short at the end.
    LoopbackServer server(answering(200, kQv1Contact + " \xFF\xC3(\xE2\x82"));
    xmlHttp http(quickLimits());
    const Variant result = http.SmsXmlHttp(u"Get", contactAddress(server.host(), u"qv1", u"01"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_EQ(result.text(), u16(kQv1Contact) + u" \uFFFD\uFFFD(\uFFFD");
}

TEST(XmlHttpResult, EmptyBodyIsEmptyTextNotNoValue)
{
    // HEAD: the length of the body that a GET would have, and no body.
    LoopbackServer server(answering(200, kCheckCode));
    xmlHttp http(quickLimits());
    const Variant result = http.SmsXmlHttp(u"Head", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_TRUE(result.text().empty());
    EXPECT_FALSE(server.waitForRequest(startsWith("HEAD /soft!code.action")).empty());
}

TEST(XmlHttpResult, BodyCapHoldsForAnnouncedAndStreamedBodies)
{
    LoopbackServer server(answering(200, kQv1Contact));
    const std::u16string url = contactAddress(server.host(), u"qv1", u"01");
    HttpLimits exact = quickLimits();
    exact.maxBodyBytes = kQv1Contact.size();
    EXPECT_EQ(xmlHttp(exact).SmsXmlHttp(u"Get", url, u""), Variant(u16(kQv1Contact)));
    HttpLimits oneShort = exact;
    oneShort.maxBodyBytes = kQv1Contact.size() - 1;
    EXPECT_TRUE(xmlHttp(oneShort).SmsXmlHttp(u"Get", url, u"").isEmpty());

    // Over 16 MiB with no length announced: cut off at the default cap, quickly.
    LoopbackServer huge([](LoopbackServer::Connection& connection) {
        const std::string piece(64 * 1024, 'x');
        if (!connection.send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"))
            return;
        for (int i = 0; i < 17 * 16; ++i)
            if (!connection.send(piece))
                return;
    });
    HttpLimits defaults;
    defaults.receive = 2s;
    Variant result(u"unset");
    const long long ms = timeMs(
        [&] { result = xmlHttp(defaults).SmsXmlHttp(u"Get", contactAddress(huge.host(), u"qv1", u"01"), u""); });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_LT(ms, 5000);
}

std::string withLength(const std::string& head, const std::string& body)
{
    return head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Writes the bytes, then resets the connection instead of closing it.
LoopbackServer::Handler resetting(std::string bytes)
{
    return [bytes = std::move(bytes)](LoopbackServer::Connection& connection) {
        connection.send(bytes);
        connection.pause(50ms); // the bytes reach the client before the reset does
        connection.reset();
    };
}

TEST(XmlHttpResult, HowEachKindOfReplyEnds)
{
    struct Row {
        const char* what;
        LoopbackServer::Handler reply;
        Variant expected;
    };
    const Row rows[] = {
        {"closed inside the body", writing("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel"), Variant(u"null")},
        {"closed before the last chunk", writing("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"),
         test::kClosedBeforeTheLastChunk},
        {"closed inside the headers", writing("HTTP/1.1 200 OK\r\nContent-Le"), test::kClosedInsideTheHeaders},
        {"closed after the status line", writing("HTTP/1.1 200 OK\r\n"), test::kClosedInsideTheHeaders},
        {"body ended by closing", writing("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbody"), Variant(u"body")},
        {"all chunks", writing("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhe\r\n3\r\nllo\r\n0\r\n\r\n"),
         Variant(u"hello")},
        {"error status", writing(withLength("HTTP/1.1 500 Internal Server Error\r\n", "oops")), Variant(u"oops")},
        {"byte-order mark", writing(withLength("HTTP/1.1 200 OK\r\n", "\xEF\xBB\xBFmireth_url:ab")),
         Variant(u"mireth_url:ab")},
        {"declared character set",
         writing(withLength("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=gbk\r\n", "王")), Variant(u"王")},
        {"closed without a word", writing(""), Variant()},
        {"reset without a word", resetting(""), Variant()},
        {"reset inside the body", resetting("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel"), Variant()},
        {"not HTTP at all", writing("hello there\r\n\r\n"), Variant()},
    };
    for (const Row& row : rows) {
        LoopbackServer server(row.reply);
        EXPECT_EQ(xmlHttp(quickLimits()).SmsXmlHttp(u"Get", server.url("/raw"), u""), row.expected) << row.what;
    }
}

// ---- redirects ----

// "/hop/K...": K > 0 redirects to "/hop/K-1" (each form of Location in turn); 0 answers.
LoopbackServer::Handler hops(std::chrono::milliseconds delay = 0ms)
{
    return [delay](LoopbackServer::Connection& connection) {
        if (delay.count() > 0 && !connection.pause(delay))
            return;
        const std::string& target = connection.target();
        const int k = target.rfind("/hop/", 0) == 0 ? std::atoi(target.c_str() + 5) : -1;
        if (k <= 0) {
            connection.send(test::httpResponse(200, k == 0 ? "arrived" : "elsewhere"));
            return;
        }
        const std::string next = std::to_string(k - 1);
        const std::string locations[] = {"/hop/" + next,
                                         "http://127.0.0.1:" + std::to_string(connection.serverPort()) + "/hop/" + next,
                                         next + "?from=" + std::to_string(k)};
        connection.send(test::httpResponse(k % 2 ? 302 : 301, "moved", "Location: " + locations[k % 3] + "\r\n"));
    };
}

TEST(XmlHttpRedirect, FollowsUpToTenWithinTheSameBudget)
{
    LoopbackServer server(hops());
    xmlHttp http(quickLimits());
    EXPECT_EQ(http.SmsXmlHttp(u"Get", server.url("/hop/10"), u""), Variant(u"arrived"));
    EXPECT_EQ(server.waitForRequests(11).size(), 11u);
    EXPECT_TRUE(http.SmsXmlHttp(u"Get", server.url("/hop/11"), u"").isEmpty());

    // Every hop is quick on its own, but ten of them outlast the whole request's limit.
    LoopbackServer slow(hops(150ms));
    HttpLimits limits = quickLimits(); // 2 s in all
    limits.receive = 300ms;
    Variant result(u"unset");
    const long long ms = timeMs([&] { result = xmlHttp(limits).SmsXmlHttp(u"Get", slow.url("/hop/20"), u""); });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_LT(ms, limits.total().count() + 1000);
}

TEST(XmlHttpRedirect, NeverLeavesTheWeb)
{
    for (const char* location : {"file:///etc/hostname", "ftp://127.0.0.1/x", "javascript:alert(1)"}) {
        LoopbackServer server(answering(302, "moved", std::string("Location: ") + location + "\r\n"));
        EXPECT_TRUE(xmlHttp(quickLimits()).SmsXmlHttp(u"Get", server.url("/away"), u"").isEmpty()) << location;
    }
    // A redirect status without a place to go is an answer like any other.
    LoopbackServer nowhere(answering(302, "stay"));
    EXPECT_EQ(xmlHttp(quickLimits()).SmsXmlHttp(u"Get", nowhere.url("/here"), u""), Variant(u"stay"));
}

// ---- failures and limits ----

TEST(XmlHttpFailure, AddressesThatCannotBeRequestedGiveNoValue)
{
    xmlHttp http(quickLimits());
    const std::u16string addresses[] = {
        u"http:///x", // no host
        u"",
        u"no scheme at all",
        u"file:///etc/hostname", // never anything but the web
        u"ftp://127.0.0.1/",
        u"http://127.0.0.1:99999/",
    };
    for (const std::u16string& address : addresses) {
        Variant result(u"unset");
        const long long ms = timeMs([&] { result = http.SmsXmlHttp(u"Get", address, u""); });
        EXPECT_TRUE(result.isEmpty()) << u8(address);
        EXPECT_LT(ms, 500) << u8(address);
    }
}

TEST(XmlHttpFailure, RefusedConnectionAndUnknownHostGiveNoValueWithinTheirLimits)
{
    xmlHttp http(quickLimits());
    Variant result(u"unset");
    long long ms = timeMs([&] {
        result = http.SmsXmlHttp(u"Get", u"http://127.0.0.1:" + u16(std::to_string(test::unusedPort())) + u"/", u"");
    });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_LT(ms, quickLimits().connect.count() + 500);

    result = Variant(u"unset");
    ms = timeMs([&] { result = http.SmsXmlHttp(u"Get", u"http://nonexistent.invalid/soft!code.action", u""); });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_LT(ms, quickLimits().resolve.count() + 500);
}

TEST(XmlHttpFailure, SilentServerIsGivenUpAfterTheReceiveLimit)
{
    LoopbackServer server([](LoopbackServer::Connection& connection) { connection.pause(120s); });
    HttpLimits limits = quickLimits();
    limits.receive = 400ms;
    Variant result(u"unset");
    const long long ms = timeMs(
        [&] { result = xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u""); });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_GE(ms, 400);
    EXPECT_LT(ms, 400 + 1000); // held for two minutes otherwise
    EXPECT_FALSE(server.waitForRequest(startsWith("GET /soft!code.action")).empty());
}

// The body one byte at a time, each after a pause.
LoopbackServer::Handler dripping(std::string body, std::chrono::milliseconds gap)
{
    return [body = std::move(body), gap](LoopbackServer::Connection& connection) {
        if (!connection.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n"))
            return;
        for (char c : body)
            if (!connection.pause(gap) || !connection.send(std::string(1, c)))
                return;
    };
}

TEST(XmlHttpFailure, DrippingServerIsCutAtTheTotalLimit)
{
    // A byte every 60 ms never trips the receive limit, but the whole body would take
    // about four seconds; the request ends at the sum of the phase limits.
    LoopbackServer server(dripping(kQv1Contact, 60ms));
    HttpLimits limits;
    limits.resolve = 100ms;
    limits.connect = 200ms;
    limits.send = 200ms;
    limits.receive = 300ms;
    Variant result(u"unset");
    const long long ms = timeMs(
        [&] { result = xmlHttp(limits).SmsXmlHttp(u"Get", contactAddress(server.host(), u"qv1", u"01"), u""); });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_GE(ms, limits.total().count() - 50);
    EXPECT_LT(ms, limits.total().count() + 1000); // the whole body takes about 4 s
}

TEST(XmlHttpFailure, SlowButSteadyBodyIsReceivedWhole)
{
    // 8 bytes, 120 ms apart: longer in all than the receive limit, never silent that long.
    LoopbackServer server(dripping(kCheckCode, 120ms));
    HttpLimits limits = quickLimits();
    limits.receive = 400ms;
    const Variant result = xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_EQ(u8(result.text()), kCheckCode);
}

TEST(XmlHttpFailure, AnswerLaterThanTheReceiveLimitIsGivenUp)
{
    LoopbackServer server([](LoopbackServer::Connection& connection) {
        if (connection.pause(300ms))
            connection.send(test::httpResponse(200, kCheckCode));
    });
    HttpLimits limits = quickLimits();
    limits.receive = 150ms;
    EXPECT_TRUE(xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"").isEmpty());
    limits.receive = 700ms;
    const Variant result = xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_EQ(u8(result.text()), kCheckCode);
}

// ---- BytesToBstr ----

TEST(BytesToBstr, DecodesByCharacterSetName)
{
    struct Row {
        std::string bytes;
        std::u16string charset;
        std::u16string text;
    };
    const Row rows[] = {
        {"mireth_url:a/b", u"UTF-8", u"mireth_url:a/b"},
        {"\xEF\xBB\xBFqv1", u"UTF-8", u"qv1"}, // the byte-order mark is not text
        {"\xE7\x8E\x8B", u"utf8", u"王"},      // letter case and "-" do not matter
        {"\xC4\xE3\xBA\xC3", u"gb2312", u"你好"},
        {"\xC4\xE3\xBA\xC3", u"GBK", u"你好"},
        {"caf\xE9", u"iso-8859-1", u"café"},
        {std::string("a\0b\0", 4), u"UTF-16LE", u"ab"},
        {"", u"UTF-8", u""},
        {"", u"gb2312", u""},
        {"\xFF", u"UTF-8", u"\uFFFD"},
    };
    xmlHttp http;
    for (const Row& row : rows) {
        const Variant result = http.BytesToBstr(Variant::fromBytes(row.bytes), Variant(row.charset));
        ASSERT_TRUE(result.isText()) << u8(row.charset);
        EXPECT_EQ(result.text(), row.text) << u8(row.charset);
    }
}

TEST(BytesToBstr, ReportsWhatItCannotDo)
{
    struct Row {
        Variant body;
        Variant charset;
        const char* reason;
    };
    const Row rows[] = {
        {Variant(u"text, not bytes"), Variant(u"UTF-8"), "not a byte array"},
        {Variant(), Variant(u"UTF-8"), "not a byte array"},
        {Variant::fromBytes("abc"), Variant(), "not text"},
        {Variant::fromBytes("abc"), Variant::fromBytes("UTF-8"), "not text"},
        {Variant::fromBytes("abc"), Variant(u"no-such-charset"), "unknown character set \"no-such-charset\""},
        {Variant::fromBytes("abc"), Variant(u""), "unknown character set"},
        {Variant::fromBytes("abc"), Variant(u"UTF 8"), "unknown character set"},
        {Variant::fromBytes("abc"), Variant(u"ＵＴＦ-8"), "unknown character set"},
    };
    xmlHttp http;
    for (const Row& row : rows) {
        try {
            http.BytesToBstr(row.body, row.charset);
            ADD_FAILURE() << "no error for: " << row.reason;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), RuntimeError::kInvalidArgument) << row.reason;
            EXPECT_NE(std::string(error.what()).find(row.reason), std::string::npos) << error.what();
        }
    }
}

} // namespace
} // namespace talvo
