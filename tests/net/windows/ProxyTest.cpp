#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../NetTestSupport.h"
#include "LoopbackServer.h"
#include "net/xmlHttp.h"

#include <windows.h>

namespace talvo {
namespace {

// The user's Internet Options proxy (the connection settings WinHTTP reads), set to a
// fixed proxy for one test and put back as it was.
class UserProxySetting {
public:
    UserProxySetting(const std::string& proxy, const std::string& bypass)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
        DWORD size = 0, type = 0;
        if (RegQueryValueExW(key_, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
            saved_.emplace(size);
            RegQueryValueExW(key_, kValue, nullptr, &type, saved_->data(), &size);
        }
        // Version, change counter, flags (direct | fixed proxy), then proxy, bypass list
        // and configuration script address, each as a length and its bytes.
        std::vector<BYTE> settings;
        const auto put = [&settings](std::uint32_t value) {
            for (int i = 0; i < 4; ++i)
                settings.push_back(static_cast<BYTE>(value >> (8 * i)));
        };
        put(0x46);
        put(1);
        put(0x1 | 0x2);
        put(static_cast<std::uint32_t>(proxy.size()));
        settings.insert(settings.end(), proxy.begin(), proxy.end());
        put(static_cast<std::uint32_t>(bypass.size()));
        settings.insert(settings.end(), bypass.begin(), bypass.end());
        put(0);
        settings.resize(settings.size() + 32, 0);
        RegSetValueExW(key_, kValue, 0, REG_BINARY, settings.data(), static_cast<DWORD>(settings.size()));
    }
    ~UserProxySetting()
    {
        if (saved_)
            RegSetValueExW(key_, kValue, 0, REG_BINARY, saved_->data(), static_cast<DWORD>(saved_->size()));
        else
            RegDeleteValueW(key_, kValue);
        RegCloseKey(key_);
    }
    UserProxySetting(const UserProxySetting&) = delete;
    UserProxySetting& operator=(const UserProxySetting&) = delete;

private:
    static constexpr const wchar_t* kKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
    static constexpr const wchar_t* kValue = L"DefaultConnectionSettings";

    HKEY key_ = nullptr;
    std::optional<std::vector<BYTE>> saved_;
};

TEST(XmlHttpProxy, ProxyFromTheSystemSettingsIsUsed)
{
    // A loopback server stands in for the proxy: the request for a host that does not
    // exist reaches it in absolute form.
    test::LoopbackServer proxy(test::answering(200, "via proxy"));
    test::LoopbackServer server(test::answering(200, "direct"));
    Variant result, bypassed;
    {
        // Loopback addresses bypass it, so tests running beside this one are not sent there.
        UserProxySetting setting("127.0.0.1:" + std::to_string(proxy.port()), "127.0.0.1;localhost");
        result = xmlHttp(test::quickLimits()).SmsXmlHttp(u"Get", u"http://nonexistent.invalid/page", u"");
        bypassed = xmlHttp(test::quickLimits()).SmsXmlHttp(u"Get", server.url("/x"), u"");
    }
    EXPECT_EQ(result, Variant(u"via proxy"));
    EXPECT_EQ(bypassed, Variant(u"direct"));
    // WinHTTP names the port in the absolute form, default or not.
    EXPECT_FALSE(proxy
                     .waitForRequest([](const std::string& line) {
                         return line.rfind("GET http://nonexistent.invalid:80/page?rnm=", 0) == 0;
                     })
                     .empty());
    EXPECT_EQ(proxy.requests().size(), 1u);
}

} // namespace
} // namespace talvo
