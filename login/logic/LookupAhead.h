#pragma once

#include <functional>
#include <memory>
#include <string>

#include "login/logic/AddressLookup.h"

namespace talvo::loginlogic {

// The start's address lookup, begun the moment the process knows its edition from the start
// name: its requests are on the wire while the application object, the windows and the
// browser engine are still being made, and the login window follows it once it exists.
// Thread-safe.
class LookupAhead {
public:
    // Starts at once on a thread of its own: the check code and the address, then, only when
    // an address came, afterAddress (the contact request, which so follows the address
    // request on the wire). onAttemptStart is told each check-code attempt on that thread as
    // it starts, whoever follows and whenever (for the log). The thread owns what it uses:
    // if the program ends while a request hangs, it is left behind and touches nothing else.
    static std::shared_ptr<LookupAhead> start(AddressLookup lookup, std::u16string serverHost, std::u16string member,
                                              std::function<void()> afterAddress, AttemptObserver onAttemptStart = {});

    const std::u16string& serverHost() const { return serverHost_; }
    const std::u16string& member() const { return member_; }

    // Waits for the lookup to end and returns its address (empty: none came). Tells each
    // attempt and the address's arrival as they happen, and those already past at once, in
    // order; throws what the lookup threw. For one follower, on any thread.
    std::u16string follow(const AttemptObserver& onAttempt, const std::function<void()>& onAddressIn);

    struct Progress; // what the thread has done so far

private:
    LookupAhead(std::u16string serverHost, std::u16string member);

    std::u16string serverHost_;
    std::u16string member_;
    std::shared_ptr<Progress> progress_;
};

} // namespace talvo::loginlogic
