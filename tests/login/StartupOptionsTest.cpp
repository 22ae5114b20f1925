#include <gtest/gtest.h>

#include "login/logic/StartupOptions.h"

namespace talvo::loginlogic {
namespace {

using Action = StartupOptions::Action;

TEST(StartupOptions, AcceptedForms)
{
    EXPECT_EQ(parseStartupOptions({}).action, Action::Run);

    StartupOptions o = parseStartupOptions({u"--server", u"127.0.0.1:8080", u"--leave-url", u"http://l.test/x"});
    EXPECT_EQ(o.action, Action::Run);
    EXPECT_EQ(o.serverHost, u"127.0.0.1:8080");
    EXPECT_EQ(o.leaveUrl, u"http://l.test/x");

    o = parseStartupOptions({u"--server=srv.test", u"--leave-url=http://l.test/a=b"});
    EXPECT_EQ(o.serverHost, u"srv.test");
    EXPECT_EQ(o.leaveUrl, u"http://l.test/a=b");

    EXPECT_EQ(parseStartupOptions({u"--server", u"[::1]:9000"}).serverHost, u"[::1]:9000");
    EXPECT_EQ(parseStartupOptions({u"--server", u"a", u"--server", u"b"}).serverHost, u"b");

    // Developer tools only when asked for, anywhere on the line; they take no value.
    EXPECT_FALSE(parseStartupOptions({u"--server", u"h"}).devTools);
    o = parseStartupOptions({u"--server", u"h", u"--devtools"});
    EXPECT_EQ(o.action, Action::Run);
    EXPECT_TRUE(o.devTools);
    EXPECT_EQ(o.serverHost, u"h");
    EXPECT_TRUE(parseStartupOptions({u"--devtools", u"--server=h"}).devTools);

    EXPECT_EQ(parseStartupOptions({u"--help"}).action, Action::Help);
    EXPECT_EQ(parseStartupOptions({u"--version"}).action, Action::Version);
    EXPECT_EQ(parseStartupOptions({u"--server", u"h", u"--help", u"--bogus"}).action, Action::Help);
}

TEST(StartupOptions, RejectedForms)
{
    const std::vector<std::vector<std::u16string>> rejected = {
        {u"--bogus"},
        {u"positional"},
        {u"-server", u"h"},
        {u"--server"},
        {u"--leave-url"},
        {u"--server", u""},
        {u"--server", u"http://h.test"},
        {u"--server", u"h.test/path"},
        {u"--server", u"h.test:"},
        {u"--server", u"h.test:0"},
        {u"--server", u"h.test:65536"},
        {u"--server", u"h.test:80x"},
        {u"--server", u"user@h.test"},
        {u"--server", u"h test"},
        {u"--server", u"[::1"},
        {u"--server", u"[zz]:80"},
        {u"--leave-url", u""},
        {u"--leave-url="},
        {u"--timeouts"},
        {u"--timeouts", u"1,2,3"},
        {u"--timeouts", u"1,2,3,4,5"},
        {u"--timeouts", u"1,2,,4"},
        {u"--timeouts", u"0,10,10,10"},
        {u"--timeouts", u"1,2,3,600001"},
        {u"--timeouts", u"1,2,3,-4"},
        {u"--timeouts", u"1, 2,3,4"},
        {u"--devtools=1"},
        {u"--devtool"},
    };
    for (const auto& args : rejected) {
        const StartupOptions o = parseStartupOptions(args);
        std::string shown;
        for (const auto& a : args)
            shown += std::string(a.begin(), a.end()) + ' ';
        EXPECT_EQ(o.action, Action::Error) << shown;
        EXPECT_FALSE(o.error.empty()) << shown;
    }
}

TEST(StartupOptions, ServerHostAcceptsPortsInRange)
{
    EXPECT_TRUE(isValidServerHost(u"h:1"));
    EXPECT_TRUE(isValidServerHost(u"h:65535"));
    EXPECT_TRUE(isValidServerHost(u"app.zentarro.example"));
    EXPECT_FALSE(isValidServerHost(u"h:00000065535"));
}

TEST(StartupOptions, TimeoutsShortenEveryPhase)
{
    const StartupOptions o = parseStartupOptions({u"--timeouts", u"200,300,400,600000"});
    ASSERT_EQ(o.action, Action::Run);
    ASSERT_TRUE(o.httpLimits.has_value());
    EXPECT_EQ(o.httpLimits->resolve.count(), 200);
    EXPECT_EQ(o.httpLimits->connect.count(), 300);
    EXPECT_EQ(o.httpLimits->send.count(), 400);
    EXPECT_EQ(o.httpLimits->receive.count(), 600000);
    EXPECT_EQ(o.httpLimits->maxBodyBytes, talvo::HttpLimits{}.maxBodyBytes);
    EXPECT_FALSE(parseStartupOptions({u"--server", u"h"}).httpLimits.has_value());
}

} // namespace
} // namespace talvo::loginlogic
