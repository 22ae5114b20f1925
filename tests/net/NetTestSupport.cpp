#include "NetTestSupport.h"

#include <cstdlib>

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/RandomSequence.h"
#include "platform/Utf.h"

namespace talvo::test {

namespace {
// Loopback tests must not be sent to a proxy configured on the machine running them.
class NoProxyEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"})
            ::unsetenv(name);
    }
};
[[maybe_unused]] auto* const noProxy = ::testing::AddGlobalTestEnvironment(new NoProxyEnvironment);

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}
} // namespace

HttpLimits quickLimits()
{
    HttpLimits limits;
    limits.resolve = 500ms;
    limits.connect = 500ms;
    limits.send = 500ms;
    limits.receive = 500ms;
    return limits;
}

int unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::u16string u16(const std::string& utf8) { return platform::fromUtf8(utf8); }
std::string u8(const std::u16string& text) { return platform::toUtf8(text); }

int upcomingRnm()
{
    RandomSequence copy = processRandomSequence();
    return static_cast<int>(static_cast<double>(copy.next()) * 10000.0);
}

Reply fetch(const std::string& url, const std::string& postBody, bool post)
{
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    if (post)
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody.c_str());
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
        const char* type = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
        if (type)
            reply.contentType = type;
    }
    curl_easy_cleanup(curl);
    return reply;
}

} // namespace talvo::test
