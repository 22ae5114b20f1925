#include <cstdlib>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "DemoProcess.h"
#include "NetTestSupport.h"
#include "demo/WebAssets.h"
#include "net/ServerRequests.h"
#include "net/xmlHttp.h"
#include "platform/RuntimeError.h"

namespace talvo {
namespace {

using namespace std::chrono_literals;
using test::DemoProcess;
using test::quickLimits;
using test::timeMs;
using test::u16;
using test::u8;

const std::string kQv1Contact = "contact:王芳 tel:010-62345678 qq:84512367 mobilephone:13912345678";

std::function<bool(const std::string&)> startsWith(const std::string& prefix)
{
    return [prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; };
}

// ---- what goes on the wire ----

TEST(XmlHttpWire, SuffixFollowsTheCallersQueryWithASecondQuestionMark)
{
    DemoProcess server;
    xmlHttp http(quickLimits());
    const int n = test::upcomingRnm();
    const Variant result = http.SmsXmlHttp(u"Get", visitUrlAddress(server.host(), u"qv1", u"07055475"), u"");

    ASSERT_TRUE(result.isText());
    EXPECT_EQ(u8(result.text()), "mireth_url:127.0.0.1:" + std::to_string(server.port()));
    const std::string line = server.waitForRequest(startsWith("GET /softcheck"));
    EXPECT_EQ(line, "GET /softcheck!geturl.action?member=qv1&rnm=07055475?rnm=" + std::to_string(n) + "&");
}

TEST(XmlHttpWire, ParameterStringGoesAfterTheSuffix)
{
    DemoProcess server;
    xmlHttp http(quickLimits());
    const int n = test::upcomingRnm();
    const Variant result = http.SmsXmlHttp(u"Get", u"http://" + server.host() + u"/soft!code.action", u"a=1");

    ASSERT_TRUE(result.isText());
    EXPECT_EQ(result.text().size(), 8u);
    EXPECT_EQ(server.waitForRequest(startsWith("GET /soft!")),
              "GET /soft!code.action?rnm=" + std::to_string(n) + "&a=1");
}

TEST(XmlHttpWire, RnmIsADecimalFrom0To9999)
{
    DemoProcess server;
    xmlHttp http(quickLimits());
    const std::regex form(R"(GET /soft!code\.action\?rnm=(0|[1-9][0-9]{0,3})&)");
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(http.SmsXmlHttp(u"Get", u"http://" + server.host() + u"/soft!code.action", u"").isText());
    const auto lines = server.waitForRequests(20);
    ASSERT_EQ(lines.size(), 20u);
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line, form)) << line;
}

TEST(XmlHttpWire, NonAsciiSpacesAndControlsAreEscapedOtherTextIsNot)
{
    DemoProcess server;
    xmlHttp http(quickLimits());
    const int n = test::upcomingRnm();
    http.SmsXmlHttp(u"Get", u"http://" + server.host() + u"/页 面?x=中%41\t!'()*", u"y=é");
    EXPECT_EQ(server.waitForRequest(startsWith("GET /%")),
              "GET /%E9%A1%B5%20%E9%9D%A2?x=%E4%B8%AD%41%09!'()*?rnm=" + std::to_string(n) + "&y=%C3%A9");
}

TEST(XmlHttpWire, MethodsAreTokensWellKnownOnesUpperCased)
{
    DemoProcess server;
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

// ---- results ----

TEST(XmlHttpResult, ErrorStatusBodyComesBackAsText)
{
    DemoProcess server({"--not-found"});
    xmlHttp http(quickLimits());
    const Variant result = http.SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_EQ(u8(result.text()), std::string(*demo::webAsset("404.html")));
}

TEST(XmlHttpResult, BodyNullAndAnIncompleteResponseGiveTheSameText)
{
    DemoProcess normal;
    xmlHttp http(quickLimits());
    const Variant answeredNull = http.SmsXmlHttp(u"Get", contactAddress(normal.host(), u"nobody", u"01"), u"");
    ASSERT_TRUE(answeredNull.isText());
    EXPECT_EQ(answeredNull.text(), u"null");

    // Content-Length announced, half the body sent, connection closed.
    DemoProcess closing({"--close-mid-body"});
    const Variant incomplete = http.SmsXmlHttp(u"Get", contactAddress(closing.host(), u"qv1", u"01"), u"");
    EXPECT_EQ(incomplete, answeredNull);
}

TEST(XmlHttpResult, InvalidUtf8BecomesReplacementCharacters)
{
    DemoProcess server({"--invalid-utf8"});
    xmlHttp http(quickLimits());
    const Variant result = http.SmsXmlHttp(u"Get", contactAddress(server.host(), u"qv1", u"01"), u"");
    ASSERT_TRUE(result.isText());
    // A stray 0xFF, a lead byte before "(", and a sequence cut short at the end.
    EXPECT_EQ(result.text(), u16(kQv1Contact) + u" \uFFFD\uFFFD(\uFFFD");
}

TEST(XmlHttpResult, EmptyBodyIsEmptyTextNotNoValue)
{
    DemoProcess server;
    xmlHttp http(quickLimits());
    const Variant result = http.SmsXmlHttp(u"Head", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_TRUE(result.text().empty());
}

TEST(XmlHttpResult, BodyCapHoldsForAnnouncedAndStreamedBodies)
{
    DemoProcess server;
    const std::u16string url = contactAddress(server.host(), u"qv1", u"01");
    HttpLimits exact = quickLimits();
    exact.maxBodyBytes = kQv1Contact.size();
    EXPECT_EQ(xmlHttp(exact).SmsXmlHttp(u"Get", url, u""), Variant(u16(kQv1Contact)));
    HttpLimits oneShort = exact;
    oneShort.maxBodyBytes = kQv1Contact.size() - 1;
    EXPECT_TRUE(xmlHttp(oneShort).SmsXmlHttp(u"Get", url, u"").isEmpty());

    // Over 16 MiB with no length announced: cut off at the default cap, quickly.
    DemoProcess huge({"--huge-body"});
    HttpLimits defaults;
    defaults.receive = 2s;
    Variant result(u"unset");
    const long long ms = timeMs([&] {
        result = xmlHttp(defaults).SmsXmlHttp(u"Get", contactAddress(huge.host(), u"qv1", u"01"), u"");
    });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_LT(ms, 5000);
}

// Answers one loopback connection with fixed bytes, then closes it: replies no
// well-behaved server would send.
class RawResponder {
public:
    explicit RawResponder(std::string reply)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 1);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, reply = std::move(reply)] { answer(reply); });
    }
    ~RawResponder()
    {
        thread_.join();
        ::close(fd_);
    }
    std::u16string url() const { return u16("http://127.0.0.1:" + std::to_string(port_) + "/raw"); }

private:
    void answer(const std::string& reply)
    {
        pollfd listening{fd_, POLLIN, 0};
        if (::poll(&listening, 1, 5000) <= 0)
            return;
        const int connection = ::accept(fd_, nullptr, nullptr);
        if (connection < 0)
            return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd readable{connection, POLLIN, 0};
            if (::poll(&readable, 1, 2000) <= 0)
                break;
            const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(connection);
    }

    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

std::string withLength(const std::string& head, const std::string& body)
{
    return head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(XmlHttpResult, HowEachKindOfReplyEnds)
{
    struct Row {
        const char* what;
        std::string reply;
        Variant expected;
    };
    const Row rows[] = {
        {"closed inside the body", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", Variant(u"null")},
        {"closed before the last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         Variant(u"null")},
        {"closed inside the headers", "HTTP/1.1 200 OK\r\nContent-Le", Variant(u"null")},
        {"closed after the status line", "HTTP/1.1 200 OK\r\n", Variant(u"null")},
        {"body ended by closing", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbody", Variant(u"body")},
        {"error status", withLength("HTTP/1.1 500 Internal Server Error\r\n", "oops"), Variant(u"oops")},
        {"byte-order mark", withLength("HTTP/1.1 200 OK\r\n", "\xEF\xBB\xBFmireth_url:ab"), Variant(u"mireth_url:ab")},
        {"declared character set", withLength("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=gbk\r\n", "王"),
         Variant(u"王")},
        {"closed without a word", "", Variant()},
        {"not HTTP at all", "hello there\r\n\r\n", Variant()},
    };
    for (const Row& row : rows) {
        RawResponder server(row.reply);
        EXPECT_EQ(xmlHttp(quickLimits()).SmsXmlHttp(u"Get", server.url(), u""), row.expected) << row.what;
    }
}

// ---- failures and limits ----

TEST(XmlHttpFailure, AddressesThatCannotBeRequestedGiveNoValue)
{
    xmlHttp http(quickLimits());
    const std::u16string addresses[] = {
        u"http:///x",  // no host
        u"",
        u"no scheme at all",
        u"file:///etc/hostname",  // never anything but the web
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
    DemoProcess server({"--silent"});
    HttpLimits limits = quickLimits();
    limits.receive = 400ms;
    Variant result(u"unset");
    const long long ms = timeMs([&] {
        result = xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_GE(ms, 400);
    EXPECT_LT(ms, 400 + 1000);  // held for two minutes otherwise
    EXPECT_FALSE(server.waitForRequest(startsWith("GET /soft!code.action")).empty());
}

TEST(XmlHttpFailure, DrippingServerIsCutAtTheTotalLimit)
{
    // A byte every 60 ms never trips the receive limit, but the whole body would take
    // about four seconds; the request ends at the sum of the phase limits.
    DemoProcess server({"--drip-ms", "60"});
    HttpLimits limits;
    limits.resolve = 100ms;
    limits.connect = 200ms;
    limits.send = 200ms;
    limits.receive = 300ms;
    Variant result(u"unset");
    const long long ms = timeMs([&] {
        result = xmlHttp(limits).SmsXmlHttp(u"Get", contactAddress(server.host(), u"qv1", u"01"), u"");
    });
    EXPECT_TRUE(result.isEmpty());
    EXPECT_GE(ms, limits.total().count() - 50);
    EXPECT_LT(ms, limits.total().count() + 1000);  // the whole body takes about 4 s
}

TEST(XmlHttpFailure, SlowButSteadyBodyIsReceivedWhole)
{
    // 8 bytes, 120 ms apart: longer in all than the receive limit, never silent that long.
    DemoProcess server({"--drip-ms", "120"});
    HttpLimits limits = quickLimits();
    limits.receive = 400ms;
    const Variant result = xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_EQ(result.text().size(), 8u);
}

TEST(XmlHttpFailure, AnswerLaterThanTheReceiveLimitIsGivenUp)
{
    DemoProcess server({"--delay-ms", "300"});
    HttpLimits limits = quickLimits();
    limits.receive = 150ms;
    EXPECT_TRUE(xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"").isEmpty());
    limits.receive = 700ms;
    const Variant result = xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    ASSERT_TRUE(result.isText());
    EXPECT_EQ(result.text().size(), 8u);
}

TEST(XmlHttpFailure, ProxyFromTheEnvironmentIsUsed)
{
    // The demo server stands in for a proxy: the request for a host that does not exist
    // reaches it in absolute form.
    DemoProcess proxy;
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port())).c_str(), 1);
    const Variant result = xmlHttp(quickLimits()).SmsXmlHttp(u"Get", u"http://nonexistent.invalid/page", u"");
    ::unsetenv("http_proxy");
    EXPECT_TRUE(result.isText());
    EXPECT_FALSE(proxy.waitForRequest(startsWith("GET http://nonexistent.invalid/page?rnm=")).empty());
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
        {"\xEF\xBB\xBFqv1", u"UTF-8", u"qv1"},           // the byte-order mark is not text
        {"\xE7\x8E\x8B", u"utf8", u"王"},                 // letter case and "-" do not matter
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
