#include <cstdlib>

#include <gtest/gtest.h>

namespace {

// Loopback tests must not be sent to a proxy configured on the machine running them.
class NoProxyEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                                 "no_proxy", "NO_PROXY"})
            ::unsetenv(name);
    }
};
[[maybe_unused]] auto* const noProxy = ::testing::AddGlobalTestEnvironment(new NoProxyEnvironment);

} // namespace
