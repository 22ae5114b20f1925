#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "main/logic/ContactInfo.h"

namespace talvo::mainlogic {

// The contact summary asked for ahead of the main window's load: the address lookup's
// worker sends the contact request the moment the address is in, so the requests keep
// their order on the wire while the window is still being built. Thread-safe; copies
// share what is kept, so a job made before the window exists reaches its load.
class ContactAhead {
public:
    ContactAhead();

    // A job that asks lookupHost for member's summary and keeps it; run it on any thread.
    // It owns what it needs, so it may outlive this object.
    std::function<void()> job(std::u16string member, std::u16string lookupHost, ContactRequest request) const;

    // The summary a job kept for member, handed out once; nothing when no job ran for
    // that member (the load then asks by itself).
    std::optional<std::u16string> take(const std::u16string& member);

private:
    struct Kept;
    std::shared_ptr<Kept> kept_;
};

} // namespace talvo::mainlogic
