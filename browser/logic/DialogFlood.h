#pragma once

#include <cstdint>
#include <deque>

namespace talvo::browserlogic {

// A page that shows dialog after dialog (an alert in a loop) would hold the user for good.
// Once a page load has shown kBurst dialogs within kWindowMs, each further box offers to
// stop its dialogs; once the user takes that, the rest of that load's dialogs are answered
// at once without a box, as a browser does.
class DialogFlood {
public:
    static constexpr int kBurst = 3;
    static constexpr std::int64_t kWindowMs = 5000;

    // A new document: everything starts again.
    void reset();
    // A dialog is about to show at nowMs. True when its box should offer the way out.
    bool offerToSuppress(std::int64_t nowMs);
    void suppress() { suppressed_ = true; }
    bool suppressed() const { return suppressed_; }

private:
    std::deque<std::int64_t> shown_;
    bool suppressed_ = false;
};

} // namespace talvo::browserlogic
