#include "net/RedirectTarget.h"

#include <vector>

#include "net/WireForm.h"

namespace talvo::net {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 0x20);
    return out;
}

// The scheme of an absolute reference ("HTTP" in "HTTP://x"), or empty for a relative one.
std::string_view schemeOf(std::string_view reference)
{
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const char c = reference[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (c == ':')
            return i > 0 ? reference.substr(0, i) : std::string_view{};
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return {};
    }
    return {};
}

bool isWebScheme(std::string_view scheme)
{
    const std::string s = lower(scheme);
    return s == "http" || s == "https";
}

std::string_view withoutFragment(std::string_view text) { return text.substr(0, text.find('#')); }

// "/a/b/../c/./d" -> "/a/c/d": a path's "." and ".." segments taken out.
std::string removeDotSegments(std::string_view path)
{
    std::vector<std::string_view> kept;
    std::size_t start = 1; // path starts with "/"
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        const std::string_view segment = path.substr(start, end - start);
        const bool last = slash == std::string_view::npos;
        if (segment == "..") {
            if (!kept.empty())
                kept.pop_back();
            if (last)
                kept.emplace_back();
        } else if (segment == ".") {
            if (last)
                kept.emplace_back();
        } else {
            kept.push_back(segment);
        }
        start = end + 1;
    }
    std::string out;
    for (std::string_view segment : kept) {
        out.push_back('/');
        out.append(segment);
    }
    return out.empty() ? "/" : out;
}

} // namespace

std::optional<std::string> redirectTarget(std::string_view base, std::string_view location)
{
    while (!location.empty() && (location.front() == ' ' || location.front() == '\t'))
        location.remove_prefix(1);
    while (!location.empty() && (location.back() == ' ' || location.back() == '\t'))
        location.remove_suffix(1);
    const std::string reference = escapeUnsafeBytes(withoutFragment(location));

    const std::string_view baseScheme = schemeOf(base);
    if (!isWebScheme(baseScheme) || base.substr(baseScheme.size(), 3) != "://")
        return std::nullopt;
    const std::string_view referenceScheme = schemeOf(reference);
    if (!referenceScheme.empty())
        return isWebScheme(referenceScheme) ? std::optional<std::string>(reference) : std::nullopt;
    if (reference.rfind("//", 0) == 0)
        return std::string(baseScheme) + ":" + reference;

    // base = scheme "://" authority path ["?" query]
    base = withoutFragment(base);
    const std::size_t authorityStart = baseScheme.size() + 3;
    const std::size_t pathStart = std::min(base.find_first_of("/?", authorityStart), base.size());
    const std::string origin(base.substr(0, pathStart));
    const std::string_view rest = base.substr(pathStart);
    std::string_view basePath = rest.substr(0, rest.find('?'));
    if (basePath.empty())
        basePath = "/";

    if (reference.empty())
        return std::string(base);
    if (reference.front() == '?')
        return origin + std::string(basePath) + reference;

    const std::size_t queryAt = reference.find('?');
    const std::string_view refPath = std::string_view(reference).substr(0, queryAt);
    const std::string query = queryAt == std::string::npos ? std::string() : reference.substr(queryAt);
    std::string merged;
    if (!refPath.empty() && refPath.front() == '/')
        merged = refPath;
    else
        merged = std::string(basePath.substr(0, basePath.rfind('/') + 1)) + std::string(refPath);
    return origin + removeDotSegments(merged) + query;
}

} // namespace talvo::net
