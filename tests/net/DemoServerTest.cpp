#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "DemoProcess.h"
#include "NetTestSupport.h"
#include "demo/DemoOptions.h"
#include "demo/DemoServer.h"
#include "net/ServerRequests.h"
#include "net/xmlHttp.h"

namespace talvo {
namespace {

using namespace std::chrono_literals;
using test::DemoProcess;
using test::fetch;
using test::quickLimits;
using test::u8;

std::string ask(xmlHttp& http, const std::u16string& url) { return u8(http.SmsXmlHttp(u"Get", url, u"").toText()); }

TEST(DemoOptions, ParsesEveryOption)
{
    const auto parsed = demo::parseOptions({"--port", "8080", "--auto-sign-in", "--short-check-codes=3", "--no-address",
                                            "--delay-ms", "250", "--silent", "--drip-ms=5", "--close-mid-body",
                                            "--not-found", "--invalid-utf8", "--huge-body", "--long-contact",
                                            "--line-ends"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const demo::DemoOptions& o = *parsed.options;
    EXPECT_EQ(o.port, 8080);
    EXPECT_TRUE(o.autoSignIn && o.noAddress && o.silent && o.closeMidBody && o.notFound && o.invalidUtf8 && o.hugeBody
                && o.longContact && o.lineEnds);
    EXPECT_EQ(o.shortCheckCodes, 3);
    EXPECT_EQ(o.delay, 250ms);
    EXPECT_EQ(o.drip, 5ms);
    EXPECT_FALSE(o.help);
    EXPECT_TRUE(demo::parseOptions({"--help"}).options->help);

    const auto failing = demo::parseOptions({"--app-switch", "--tls-cert", "c.pem", "--tls-key", "k.pem",
                                             "--login-over-tls", "--public-host", "app.corp.test",
                                             "--permission-probe"});
    ASSERT_TRUE(failing.options) << failing.error;
    EXPECT_TRUE(failing.options->appSwitch && failing.options->loginOverTls && failing.options->permissionProbe);
    EXPECT_EQ(failing.options->tlsCert, "c.pem");
    EXPECT_EQ(failing.options->tlsKey, "k.pem");
    EXPECT_EQ(failing.options->publicHost, "app.corp.test");
}

TEST(DemoOptions, RefusesBadCommandLines)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--port"},         {"--port", "65536"},      {"--port", "-1"},  {"--port", "80x"}, {"--delay-ms", "soon"},
        {"--drip-ms", "0"}, {"--short-check-codes="}, {"--silently"},    {"extra"},         {"--tls-cert", "c.pem"},
        {"--tls-key"},      {"--login-over-tls"},     {"--public-host"},
    };
    for (const auto& args : bad) {
        const auto parsed = demo::parseOptions(args);
        EXPECT_FALSE(parsed.options) << args[0];
        EXPECT_FALSE(parsed.error.empty()) << args[0];
    }
}

TEST(DemoQuery, ReadsValuesUpToTheFirstAmpersand)
{
    struct Row {
        const char* target;
        const char* key;
        const char* value;
    };
    const Row rows[] = {
        {"/softcheck!geturl.action?member=qv1&rnm=07055475?rnm=1234&", "member", "qv1"},
        {"/softcheck!geturl.action?member=qv1&rnm=07055475?rnm=1234&", "rnm", "07055475?rnm=1234"},
        {"/softcheck!contact.action?memberid=test&rnm=1", "memberid", "test"},
        {"/softcheck!contact.action?memberid=test&rnm=1", "member", ""},
        {"/softcheck!contact.action?memberid=&rnm=1", "memberid", ""},
        {"/demo/push-title?text=VB%3ACHAT%7C42", "text", "VB:CHAT|42"},
        {"/demo/push-title?text=%E7%8E%8B+%E8%8A%B3%", "text", "王 芳%"},
        {"/no-query", "cp", ""},
        {"/ui/common/login.jsp?cp=9", "cp", "9"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(demo::queryValue(row.target, row.key), row.value) << row.target << " " << row.key;
}

TEST(DemoServer, AnswersTheThreeServices)
{
    DemoProcess server;
    xmlHttp http(quickLimits());
    const std::string self = "127.0.0.1:" + std::to_string(server.port());

    const std::string code = ask(http, checkCodeAddress(server.host(), u"05"));
    EXPECT_EQ(code.size(), 8u);
    EXPECT_NE(ask(http, checkCodeAddress(server.host(), u"05")), code);

    EXPECT_EQ(ask(http, visitUrlAddress(server.host(), u"qv1", u"05")), "mireth_url:" + self);
    EXPECT_EQ(ask(http, visitUrlAddress(server.host(), u"test", u"05")), "mireth_url:" + self);
    EXPECT_EQ(ask(http, visitUrlAddress(server.host(), u"QV1", u"05")), "mireth_url:null");
    EXPECT_EQ(ask(http, visitUrlAddress(server.host(), u"", u"05")), "mireth_url:null");

    EXPECT_EQ(ask(http, contactAddress(server.host(), u"qv1", u"05")),
              "contact:王芳 tel:010-62345678 qq:84512367 mobilephone:13912345678");
    EXPECT_EQ(ask(http, contactAddress(server.host(), u"test", u"05")),
              "contact:李明 tel:021-55501234 qq:10293847 mobilephone:13800138000");
    EXPECT_EQ(ask(http, contactAddress(server.host(), u"other", u"05")), "null");
}

TEST(DemoServer, MisbehavesOnlyWhereAsked)
{
    DemoProcess server({"--short-check-codes", "2", "--no-address"});
    xmlHttp http(quickLimits());
    EXPECT_EQ(ask(http, checkCodeAddress(server.host(), u"05")), "err");
    EXPECT_EQ(ask(http, checkCodeAddress(server.host(), u"05")), "err");
    EXPECT_EQ(ask(http, checkCodeAddress(server.host(), u"05")).size(), 8u);
    EXPECT_EQ(ask(http, visitUrlAddress(server.host(), u"qv1", u"05")), "mireth_url:null");

    // Pages keep working whatever the services do.
    DemoProcess broken({"--silent", "--not-found"});
    const test::Reply page = fetch(broken.url("/ui/common/login.jsp?cp=1"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
}

TEST(DemoServer, LoginPageNamesTheEdition)
{
    DemoProcess server;
    struct Row {
        const char* cp;
        const char* shown;
    };
    const Row rows[] = {{"1", "Alderan"},  {"9", "Birsel"},  {"0", "Cedrow"},
                        {"7", "未知版本"}, {"", "未知版本"}, {"%3Cb%3E", "未知版本"}};
    for (const Row& row : rows) {
        const test::Reply page = fetch(server.url(std::string("/ui/common/login.jsp?cp=") + row.cp));
        EXPECT_EQ(page.status, 200) << row.cp;
        EXPECT_NE(page.body.find(std::string("<strong>") + row.shown + "</strong>"), std::string::npos) << row.cp;
        EXPECT_NE(page.body.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(page.body.find("data-auto-sign-in=\"0\""), std::string::npos);
    }
    // What the address carries reaches the page only escaped.
    EXPECT_NE(fetch(server.url("/ui/common/login.jsp?cp=%3Cb%3E")).body.find("data-cp=\"&lt;b&gt;\""),
              std::string::npos);

    DemoProcess automatic({"--auto-sign-in"});
    EXPECT_NE(fetch(automatic.url("/ui/common/login.jsp?cp=1")).body.find("data-auto-sign-in=\"1\""),
              std::string::npos);
}

TEST(DemoServer, PagesAndTheirFilesAreServed)
{
    DemoProcess server;
    for (const char* target :
         {"/", "/ui/common/home.jsp?cp=1&user=demo", "/leave.html", "/ui/static/style.css", "/ui/static/titles.js"}) {
        const test::Reply reply = fetch(server.url(target));
        EXPECT_EQ(reply.status, 200) << target;
        EXPECT_FALSE(reply.body.empty()) << target;
    }
    for (const char* target : {"/missing", "/ui/static/%2E%2E/common/login.jsp", "/ui/static/home.html"})
        EXPECT_EQ(fetch(server.url(target)).status, 404) << target;
    EXPECT_EQ(fetch(server.url("/demo/leave"), "name=a&phone=1&message=hi", true).status, 200);
}

TEST(DemoServer, QueuedTitlesComeOutInOrderAndPollsAreNotLogged)
{
    DemoProcess server;
    for (const char* text : {"VB%3ALOGINOK", "VB%3ACHAT%7C42", "%E4%BD%A0%E5%A5%BD"})
        EXPECT_EQ(fetch(server.url(std::string("/demo/push-title?text=") + text)).status, 200);
    EXPECT_EQ(fetch(server.url("/demo/next-title")).body, "VB:LOGINOK");
    EXPECT_EQ(fetch(server.url("/demo/next-title")).body, "VB:CHAT|42");
    EXPECT_EQ(fetch(server.url("/demo/next-title")).body, "你好");
    EXPECT_EQ(fetch(server.url("/demo/next-title")).status, 204);

    fetch(server.url("/leave.html"));
    server.waitForRequest([](const std::string& line) { return line == "GET /leave.html"; });
    const std::vector<std::string> expected = {
        "GET /demo/push-title?text=VB%3ALOGINOK",
        "GET /demo/push-title?text=VB%3ACHAT%7C42",
        "GET /demo/push-title?text=%E4%BD%A0%E5%A5%BD",
        "GET /leave.html",
    };
    EXPECT_EQ(server.requests(), expected);
}

TEST(DemoServer, StopsPromptlyOnTerminateEvenWhileHoldingARequest)
{
    DemoProcess server({"--silent"});
    HttpLimits limits = quickLimits();
    limits.receive = 200ms;
    xmlHttp(limits).SmsXmlHttp(u"Get", checkCodeAddress(server.host(), u"05"), u"");
    const auto start = std::chrono::steady_clock::now();
    const int status = server.terminate(3s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace talvo
