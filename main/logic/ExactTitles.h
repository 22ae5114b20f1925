#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvo::mainlogic {

// Bounds on what a page can make us hold with its titles: a page that sets a huge title,
// or sets titles faster than they are handled, must not grow the queue without end.
inline constexpr std::size_t kMaxQueuedTitles = 256;
inline constexpr std::size_t kMaxTitleLength = 65536; // UTF-16 units

// text cut to kMaxTitleLength units, never between the two halves of a surrogate pair.
std::u16string boundedTitle(std::u16string_view text);

// Each title bounded, and only the newest `keep` (the last ones) kept.
void boundTitles(std::vector<std::u16string>& titles, std::size_t keep = kMaxQueuedTitles);

// Drops entries at the front of queue (the oldest) while its entries hold more than limit
// titles in all; titlesOf tells how many one entry holds. The newest entry always stays.
template<class Queue, class Count>
void dropOldestTitles(Queue& queue, Count titlesOf, std::size_t limit = kMaxQueuedTitles)
{
    std::size_t total = 0;
    for (const auto& entry : queue)
        total += titlesOf(entry);
    while (total > limit && queue.size() > 1) {
        total -= titlesOf(queue.front());
        queue.pop_front();
    }
}

// The document title as the engine reports it: ASCII white space (tab, line feed, form
// feed, carriage return, space) stripped at both ends and every run of it made one space.
std::u16string collapsedTitle(std::u16string_view text);

// Pairs the engine's title reports, which arrive collapsed, with the exact texts the
// page's title element took, so that titles are passed on as the page set them.
//
// Each report comes with the exact texts recorded in the page since the previous report
// (or none when the page kept no record, for instance a document that was replaced before
// it could be asked). A report that neither those texts nor an earlier batch account for
// is passed on as reported, unless it may be the address the engine shows for an untitled
// document.
class ExactTitles {
public:
    std::vector<std::u16string> onReport(std::u16string_view reported,
                                         const std::optional<std::vector<std::u16string>>& exact, bool couldBeAddress);

private:
    void pass(const std::u16string& text, bool reportFollows, std::vector<std::u16string>& out);

    std::u16string lastExact_;
    std::u16string lastCollapsed_;
    // Collapsed titles already passed on whose reports are still to come.
    std::deque<std::u16string> ahead_;
    static constexpr std::size_t kMaxAhead = 64;
};

} // namespace talvo::mainlogic
