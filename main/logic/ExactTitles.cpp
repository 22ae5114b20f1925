#include "main/logic/ExactTitles.h"

#include <algorithm>

#include "platform/Surrogates.h"

namespace talvo::mainlogic {

namespace {

constexpr bool isAsciiWhiteSpace(char16_t c)
{
    return c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u' ';
}

// The engine cuts very long titles before reporting them.
constexpr std::size_t kShortestCutTitle = 1000;

bool reports(std::u16string_view collapsed, std::u16string_view reported)
{
    if (collapsed == reported)
        return true;
    return reported.size() >= kShortestCutTitle && collapsed.starts_with(reported);
}

} // namespace

std::u16string boundedTitle(std::u16string_view text)
{
    if (text.size() <= kMaxTitleLength)
        return std::u16string(text);
    std::size_t length = kMaxTitleLength;
    // The last unit kept must not be the first half of a pair whose second half goes.
    if (platform::isHighSurrogate(text[length - 1]))
        --length;
    return std::u16string(text.substr(0, length));
}

void boundTitles(std::vector<std::u16string>& titles, std::size_t keep)
{
    if (titles.size() > keep)
        titles.erase(titles.begin(), titles.end() - static_cast<std::ptrdiff_t>(keep));
    for (std::u16string& title : titles)
        if (title.size() > kMaxTitleLength)
            title = boundedTitle(title);
}

std::u16string collapsedTitle(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    bool blank = false;
    for (const char16_t c : text) {
        if (isAsciiWhiteSpace(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out.push_back(u' ');
        blank = false;
        out.push_back(c);
    }
    return out;
}

std::vector<std::u16string> ExactTitles::onReport(std::u16string_view reported,
                                                  const std::optional<std::vector<std::u16string>>& exact,
                                                  bool couldBeAddress)
{
    std::vector<std::u16string> out;
    // Already passed on from an earlier batch: this report is its echo.
    const auto echo = std::find(ahead_.begin(), ahead_.end(), reported);
    const bool accounted = echo != ahead_.end();
    if (accounted)
        ahead_.erase(ahead_.begin(), echo + 1);

    const std::vector<std::u16string> none;
    const std::vector<std::u16string>& texts = exact ? *exact : none;
    // The last recorded text this report stands for; the texts after it report later.
    std::ptrdiff_t match = -1;
    if (!accounted) {
        for (std::size_t i = texts.size(); i-- > 0;) {
            if (reports(collapsedTitle(texts[i]), reported)) {
                match = static_cast<std::ptrdiff_t>(i);
                break;
            }
        }
        // The page moved on before it could be asked (or keeps no record): the reported
        // text is the best there is, in its place before anything recorded since.
        if (match < 0 && !couldBeAddress)
            pass(std::u16string(reported), false, out);
    }
    for (std::size_t i = 0; i < texts.size(); ++i)
        pass(texts[i], static_cast<std::ptrdiff_t>(i) > match, out);
    return out;
}

void ExactTitles::pass(const std::u16string& text, bool reportFollows, std::vector<std::u16string>& out)
{
    if (text == lastExact_)
        return; // set again unchanged: no change of title
    lastExact_ = text;
    out.push_back(text);
    std::u16string collapsed = collapsedTitle(text);
    if (collapsed == lastCollapsed_)
        return; // the engine sees no change and reports nothing
    lastCollapsed_ = collapsed;
    if (reportFollows) {
        ahead_.push_back(std::move(collapsed));
        if (ahead_.size() > kMaxAhead)
            ahead_.pop_front();
    }
}

} // namespace talvo::mainlogic
