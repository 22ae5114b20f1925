#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace talvo::browserlogic {

// Whether a site may show notifications on the desktop. Only the application's own site
// (same scheme, host and port) may, and only while a notification service answers: a
// refusal is what makes the page's onerror fire, a grant without a service would leave it
// waiting for events that never come.
enum class NotificationGrant { Granted, OtherSite, NoService };
NotificationGrant decideNotificationGrant(std::u16string_view application, std::u16string_view origin,
                                          bool serviceAvailable);

// Title and body as the desktop gets them: at most kMaxTitle / kMaxBody characters (a page
// could hand over megabytes), and for services that read markup in the body, the page's
// "<", ">" and "&" kept as text.
inline constexpr std::size_t kMaxNotificationTitle = 200;
inline constexpr std::size_t kMaxNotificationBody = 1000;
std::u16string notificationTitle(std::u16string_view title);
std::u16string notificationBody(std::u16string_view body, bool serviceReadsMarkup);

// Our notifications on the desktop, by our own serial number, and the desktop service's id
// for each once its answer is in. The service answers asynchronously, so a page may close or
// replace a notification before its id is known: such a one is withdrawn as soon as it is.
//
// A page flooding the desktop is held back: at most kMaxOpen of ours are open at once (one
// replaced by its tag does not add to them), and at most kMaxPerSecond are sent in any
// second, replacements included.
class NotificationBook {
public:
    static constexpr std::size_t kMaxOpen = 5;
    static constexpr std::size_t kMaxPerSecond = 5;

    struct Begin {
        enum class Kind { Send, TooManyOpen, TooFast } kind = Kind::Send;
        std::uint64_t serial = 0;     // when sent: the new notification's
        std::uint32_t replacesId = 0; // the desktop id it replaces, 0 for none
        // The earlier notification of the same tag, which is over for the page now.
        std::optional<std::uint64_t> superseded;
    };
    // A notification the page wants shown; tag may be empty (then it replaces nothing).
    Begin begin(std::u16string_view tag, std::int64_t nowMs);

    // The service's id for serial came in. True when it stays shown; false when the page
    // closed it or another replaced it meanwhile, and the caller withdraws id.
    bool delivered(std::uint64_t serial, std::uint32_t id);
    // The service refused serial or did not answer.
    void failed(std::uint64_t serial);
    // The page closed serial: the desktop id to withdraw, when it is known already.
    std::optional<std::uint32_t> closedByPage(std::uint64_t serial);
    // The service closed id (timeout, the user, a click): ours it was, if any.
    std::optional<std::uint64_t> closedByDesktop(std::uint32_t id);
    // The user clicked id: ours it was, if any. It stays open until the service closes it.
    std::optional<std::uint64_t> clicked(std::uint32_t id) const;

    // Notifications of ours that are shown or on their way.
    std::size_t open() const { return entries_.size(); }

private:
    struct Entry {
        std::u16string tag;
        std::optional<std::uint32_t> id;
    };
    std::optional<std::uint64_t> byId(std::uint32_t id) const;

    std::uint64_t next_ = 1;
    std::map<std::uint64_t, Entry> entries_;
    // Serials dropped before their id came in; their id is withdrawn when it does.
    std::set<std::uint64_t> dropped_;
    std::deque<std::int64_t> sent_;
};

} // namespace talvo::browserlogic
