#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ChildEnvironment.h"

namespace talvo::platform {
namespace {

TEST(ChildEnvironment, TheEngineVariablesStayOursEverythingElsePasses)
{
    const char* const environment[] = {
        "HOME=/home/u",
        "QTWEBENGINE_DISABLE_SANDBOX=1",
        "PATH=/usr/bin",
        "QTWEBENGINE_CHROMIUM_FLAGS=--proxy-server=http=p:1 --lang=zh-CN",
        "qtwebengine_remote_debugging=9222",
        "QTWEBENGINE_=x",
        "DISPLAY=:0",
        "QTWEBENGIN=short of the prefix",
        "QT_QPA_PLATFORM=xcb",
        "MY_QTWEBENGINE_X=1",
        "http_proxy=http://proxy:3128",
        "=C:=C:\\",
        "",
        nullptr,
    };
    EXPECT_EQ(childEnvironment(environment),
              (std::vector<std::string>{"HOME=/home/u", "PATH=/usr/bin", "DISPLAY=:0", "QTWEBENGIN=short of the prefix",
                                        "QT_QPA_PLATFORM=xcb", "MY_QTWEBENGINE_X=1", "http_proxy=http://proxy:3128",
                                        "=C:=C:\\", ""}));
    EXPECT_TRUE(childEnvironment(nullptr).empty());

    // The same rule for the wide entries Windows hands over.
    EXPECT_FALSE(passedToChild(u"QtWebEngine_Chromium_Flags=--no-sandbox"));
    EXPECT_FALSE(passedToChild(u"QTWEBENGINE_DISABLE_SANDBOX=1"));
    EXPECT_TRUE(passedToChild(u"\u4e2d=QTWEBENGINE_"));
    EXPECT_TRUE(passedToChild(u"USERPROFILE=C:\\Users\\u"));
}

} // namespace
} // namespace talvo::platform
