#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "login/logic/LookupAhead.h"

namespace talvo::loginlogic {
namespace {

using namespace std::chrono_literals;

// A server whose answers are held until the test lets each request through.
class GatedServer {
public:
    // checkCodeFailures: how many check-code requests get no code before one does.
    GatedServer(int checkCodeFailures, std::u16string addressAnswer)
        : checkCodeFailures_(checkCodeFailures), addressAnswer_(std::move(addressAnswer))
    {
    }

    RequestFactory factory()
    {
        return [this] {
            return GetRequest([this](const std::u16string& url) {
                std::unique_lock lock(mutex_);
                asked_.push_back(url);
                changed_.notify_all();
                changed_.wait(lock, [&] { return released_ >= static_cast<int>(asked_.size()); });
                if (url.find(u"soft!code.action") != std::u16string::npos)
                    return std::u16string(checkCodeFailures_-- > 0 ? u"" : u"CODE12345");
                if (throwOnAddress_)
                    throw std::runtime_error("connection table full");
                return addressAnswer_;
            });
        };
    }

    void release(int requests = 1)
    {
        const std::lock_guard lock(mutex_);
        released_ += requests;
        changed_.notify_all();
    }

    void waitForRequests(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, 5s, [&] { return asked_.size() >= count; }));
    }

    std::vector<std::u16string> asked()
    {
        const std::lock_guard lock(mutex_);
        return asked_;
    }

    void throwOnAddress() { throwOnAddress_ = true; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::u16string> asked_;
    int released_ = 0;
    int checkCodeFailures_;
    std::u16string addressAnswer_;
    bool throwOnAddress_ = false;
};

struct Followed {
    std::vector<std::string> events;
    std::u16string address;
};

Followed followToTheEnd(LookupAhead& ahead)
{
    Followed followed;
    followed.address = ahead.follow(
        [&](int attempt) { followed.events.push_back("attempt " + std::to_string(attempt)); },
        [&] { followed.events.push_back("address in"); });
    return followed;
}

TEST(LookupAhead, RequestsGoOutBeforeAnyoneFollowsAndThePastIsToldInOrder)
{
    GatedServer server(2, u"mireth_url:app.test:8080");
    std::atomic<int> contacts = 0;
    // Told on the lookup's own thread as each attempt starts, before its request is out.
    std::vector<std::size_t> askedAtStart;
    auto ahead = LookupAhead::start(
        AddressLookup(server.factory()), u"srv.test:8080", u"QV01", [&] { ++contacts; },
        [&](int) { askedAtStart.push_back(server.asked().size()); });
    EXPECT_EQ(ahead->serverHost(), u"srv.test:8080");
    EXPECT_EQ(ahead->member(), u"QV01");

    // Three check-code requests and the address request, all before a follower exists.
    server.release(4);
    server.waitForRequests(4);
    const Followed followed = followToTheEnd(*ahead);
    EXPECT_EQ(followed.address, u"app.test:8080");
    EXPECT_EQ(followed.events, (std::vector<std::string>{"attempt 1", "attempt 2", "attempt 3", "address in"}));
    EXPECT_EQ(contacts, 1) << "the contact request follows the address";
    EXPECT_EQ(askedAtStart, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(server.asked().size(), 4u);
}

TEST(LookupAhead, AFollowerFromTheStartHearsEachStepAsItHappens)
{
    GatedServer server(0, u"mireth_url:app.test");
    std::mutex mutex;
    std::vector<std::string> heard;
    std::vector<std::size_t> requestsSentWhenHeard;
    auto ahead = LookupAhead::start(AddressLookup(server.factory()), u"srv.test", u"QV01", {});
    std::thread follower([&] {
        ahead->follow(
            [&](int attempt) {
                const std::lock_guard lock(mutex);
                heard.push_back("attempt " + std::to_string(attempt));
            },
            [&] {
                const std::lock_guard lock(mutex);
                heard.push_back("address in");
            });
    });
    server.waitForRequests(1);
    // The attempt is told while its request still waits for an answer.
    for (int i = 0; i < 500; ++i) {
        {
            const std::lock_guard lock(mutex);
            if (!heard.empty())
                break;
        }
        std::this_thread::sleep_for(10ms);
    }
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(heard, std::vector<std::string>{"attempt 1"});
    }
    server.release(2);
    follower.join();
    EXPECT_EQ(heard, (std::vector<std::string>{"attempt 1", "address in"}));
}

TEST(LookupAhead, NoAddressMeansNoContactRequest)
{
    GatedServer server(0, u"null");
    bool contacted = false;
    auto ahead = LookupAhead::start(AddressLookup(server.factory()), u"srv.test", u"QV01", [&] { contacted = true; });
    server.release(2);
    const Followed followed = followToTheEnd(*ahead);
    EXPECT_EQ(followed.address, u"");
    EXPECT_EQ(followed.events, std::vector<std::string>{"attempt 1"});
    EXPECT_FALSE(contacted);
}

TEST(LookupAhead, WhatTheLookupThrewReachesTheFollower)
{
    GatedServer server(0, u"");
    server.throwOnAddress();
    auto ahead = LookupAhead::start(AddressLookup(server.factory()), u"srv.test", u"QV01", {});
    server.release(2);
    EXPECT_THROW(followToTheEnd(*ahead), std::runtime_error);
}

} // namespace
} // namespace talvo::loginlogic
