#include "login/logic/LookupAhead.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace talvo::loginlogic {

struct LookupAhead::Progress {
    std::mutex mutex;
    std::condition_variable changed;
    int attempts = 0;
    bool addressIn = false;
    bool ended = false;
    std::u16string address;
    std::exception_ptr failure;

    template<typename Change>
    void record(Change change)
    {
        {
            const std::lock_guard lock(mutex);
            change();
        }
        changed.notify_all();
    }
};

LookupAhead::LookupAhead(std::u16string serverHost, std::u16string member)
    : serverHost_(std::move(serverHost)), member_(std::move(member)), progress_(std::make_shared<Progress>())
{
}

std::shared_ptr<LookupAhead> LookupAhead::start(AddressLookup lookup, std::u16string serverHost, std::u16string member,
                                                std::function<void()> afterAddress, AttemptObserver onAttemptStart)
{
    std::shared_ptr<LookupAhead> ahead(new LookupAhead(std::move(serverHost), std::move(member)));
    std::thread([progress = ahead->progress_, lookup = std::move(lookup), host = ahead->serverHost_,
                 member = ahead->member_, afterAddress = std::move(afterAddress),
                 onAttemptStart = std::move(onAttemptStart)] {
        std::u16string address;
        std::exception_ptr failure;
        try {
            address = lookup.getVisitUrl(host, member, [&](int attempt) {
                if (onAttemptStart)
                    onAttemptStart(attempt);
                progress->record([&] { progress->attempts = attempt; });
            });
            if (!address.empty()) {
                progress->record([&] { progress->addressIn = true; });
                if (afterAddress)
                    afterAddress();
            }
        } catch (...) {
            failure = std::current_exception();
        }
        progress->record([&] {
            progress->ended = true;
            progress->address = std::move(address);
            progress->failure = failure;
        });
    }).detach();
    return ahead;
}

std::u16string LookupAhead::follow(const AttemptObserver& onAttempt, const std::function<void()>& onAddressIn)
{
    int told = 0;
    bool addressTold = false;
    std::unique_lock lock(progress_->mutex);
    while (true) {
        progress_->changed.wait(lock, [&] {
            return progress_->attempts > told || (progress_->addressIn && !addressTold) || progress_->ended;
        });
        // Told outside the lock: what a follower does there may take its time.
        if (progress_->attempts > told) {
            const int attempt = ++told;
            lock.unlock();
            if (onAttempt)
                onAttempt(attempt);
            lock.lock();
        } else if (progress_->addressIn && !addressTold) {
            addressTold = true;
            lock.unlock();
            if (onAddressIn)
                onAddressIn();
            lock.lock();
        } else {
            if (progress_->failure)
                std::rethrow_exception(progress_->failure);
            return progress_->address;
        }
    }
}

} // namespace talvo::loginlogic
