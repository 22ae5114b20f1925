#include "main/logic/ContactAhead.h"

#include <mutex>
#include <utility>

namespace talvo::mainlogic {

struct ContactAhead::Kept {
    std::mutex mutex;
    std::optional<std::pair<std::u16string, std::u16string>> memberAndSummary;
};

ContactAhead::ContactAhead() : kept_(std::make_shared<Kept>()) { }

std::function<void()> ContactAhead::job(std::u16string member, std::u16string lookupHost, ContactRequest request) const
{
    return [kept = kept_, member = std::move(member), host = std::move(lookupHost), request = std::move(request)] {
        std::u16string summary = getContactInfo(member, host, request);
        const std::lock_guard lock(kept->mutex);
        kept->memberAndSummary.emplace(member, std::move(summary));
    };
}

std::optional<std::u16string> ContactAhead::take(const std::u16string& member)
{
    const std::lock_guard lock(kept_->mutex);
    if (!kept_->memberAndSummary || kept_->memberAndSummary->first != member)
        return std::nullopt;
    std::u16string summary = std::move(kept_->memberAndSummary->second);
    kept_->memberAndSummary.reset();
    return summary;
}

} // namespace talvo::mainlogic
