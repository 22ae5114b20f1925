#include <cstdlib>

#include <gtest/gtest.h>

#include "../NetTestSupport.h"
#include "LoopbackServer.h"
#include "net/xmlHttp.h"

namespace talvo {
namespace {

TEST(XmlHttpProxy, ProxyFromTheEnvironmentIsUsed)
{
    // A loopback server stands in for the proxy: the request for a host that does not
    // exist reaches it in absolute form.
    test::LoopbackServer proxy(test::answering(200, "via proxy"));
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port())).c_str(), 1);
    const Variant result = xmlHttp(test::quickLimits()).SmsXmlHttp(u"Get", u"http://nonexistent.invalid/page", u"");
    ::unsetenv("http_proxy");
    EXPECT_EQ(result, Variant(u"via proxy"));
    EXPECT_FALSE(proxy
                     .waitForRequest([](const std::string& line) {
                         return line.rfind("GET http://nonexistent.invalid/page?rnm=", 0) == 0;
                     })
                     .empty());
}

} // namespace
} // namespace talvo
