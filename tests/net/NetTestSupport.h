#pragma once

#include <chrono>
#include <string>

#include "net/xmlHttp.h"

namespace talvo::test {

using namespace std::chrono_literals;

// Limits short enough for a fast suite, long enough for a loaded machine.
HttpLimits quickLimits();

std::u16string u16(const std::string& utf8);
std::string u8(const std::u16string& text);

// The "?rnm=" number the request helper is about to draw, read off a copy of the
// process sequence so the real one does not move.
int upcomingRnm();

// Milliseconds a call took.
template<class F>
long long timeMs(F&& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

} // namespace talvo::test
