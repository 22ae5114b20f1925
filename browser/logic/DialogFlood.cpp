#include "browser/logic/DialogFlood.h"

namespace talvo::browserlogic {

void DialogFlood::reset()
{
    shown_.clear();
    suppressed_ = false;
}

bool DialogFlood::offerToSuppress(std::int64_t nowMs)
{
    while (!shown_.empty() && nowMs - shown_.front() > kWindowMs)
        shown_.pop_front();
    const bool flood = static_cast<int>(shown_.size()) >= kBurst;
    shown_.push_back(nowMs);
    if (shown_.size() > static_cast<std::size_t>(kBurst))
        shown_.pop_front();
    return flood;
}

} // namespace talvo::browserlogic
