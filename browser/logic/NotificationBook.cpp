#include "browser/logic/NotificationBook.h"

#include "browser/logic/NavigationPolicy.h"
#include "platform/Surrogates.h"

namespace talvo::browserlogic {

NotificationGrant decideNotificationGrant(std::u16string_view application, std::u16string_view origin,
                                          bool serviceAvailable)
{
    if (application.empty() || !isApplicationSite(application, origin))
        return NotificationGrant::OtherSite;
    return serviceAvailable ? NotificationGrant::Granted : NotificationGrant::NoService;
}

namespace {

std::u16string clip(std::u16string_view text, std::size_t most)
{
    if (text.size() <= most)
        return std::u16string(text);
    std::size_t end = most;
    // Never leave half a surrogate pair at the end.
    if (end > 0 && platform::isHighSurrogate(text[end - 1]))
        --end;
    return std::u16string(text.substr(0, end)) + u"…";
}

} // namespace

std::u16string notificationTitle(std::u16string_view title) { return clip(title, kMaxNotificationTitle); }

std::u16string notificationBody(std::u16string_view body, bool serviceReadsMarkup)
{
    const std::u16string clipped = clip(body, kMaxNotificationBody);
    if (!serviceReadsMarkup)
        return clipped;
    std::u16string out;
    out.reserve(clipped.size());
    for (char16_t c : clipped) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

NotificationBook::Begin NotificationBook::begin(std::u16string_view tag, std::int64_t nowMs)
{
    while (!sent_.empty() && (nowMs - sent_.front() >= 1000 || nowMs < sent_.front()))
        sent_.pop_front();
    Begin result;
    std::optional<std::uint64_t> sameTag;
    if (!tag.empty()) {
        for (const auto& [serial, entry] : entries_) {
            if (entry.tag == tag) {
                sameTag = serial;
                break;
            }
        }
    }
    if (sent_.size() >= kMaxPerSecond) {
        result.kind = Begin::Kind::TooFast;
        return result;
    }
    if (!sameTag && entries_.size() >= kMaxOpen) {
        result.kind = Begin::Kind::TooManyOpen;
        return result;
    }
    sent_.push_back(nowMs);
    if (sameTag) {
        const Entry old = entries_.at(*sameTag);
        entries_.erase(*sameTag);
        result.superseded = sameTag;
        if (old.id)
            result.replacesId = *old.id;
        else
            dropped_.insert(*sameTag);
    }
    result.serial = next_++;
    entries_[result.serial] = Entry{std::u16string(tag), std::nullopt};
    return result;
}

bool NotificationBook::delivered(std::uint64_t serial, std::uint32_t id)
{
    if (dropped_.erase(serial))
        return false;
    const auto it = entries_.find(serial);
    if (it == entries_.end())
        return false;
    // A server may hand out the id of one it closed meanwhile again: that one is over.
    if (const auto other = byId(id); other && *other != serial)
        entries_.erase(*other);
    it->second.id = id;
    return true;
}

void NotificationBook::failed(std::uint64_t serial)
{
    dropped_.erase(serial);
    entries_.erase(serial);
}

std::optional<std::uint32_t> NotificationBook::closedByPage(std::uint64_t serial)
{
    const auto it = entries_.find(serial);
    if (it == entries_.end())
        return std::nullopt;
    const std::optional<std::uint32_t> id = it->second.id;
    entries_.erase(it);
    if (!id)
        dropped_.insert(serial);
    return id;
}

std::optional<std::uint64_t> NotificationBook::closedByDesktop(std::uint32_t id)
{
    const std::optional<std::uint64_t> serial = byId(id);
    if (serial)
        entries_.erase(*serial);
    return serial;
}

std::optional<std::uint64_t> NotificationBook::clicked(std::uint32_t id) const { return byId(id); }

std::optional<std::uint64_t> NotificationBook::byId(std::uint32_t id) const
{
    for (const auto& [serial, entry] : entries_) {
        if (entry.id == id)
            return serial;
    }
    return std::nullopt;
}

} // namespace talvo::browserlogic
