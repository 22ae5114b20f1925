#pragma once

#include <string>

#include "platform/Clock.h"

// What each writer process of the multi-process log test writes, and when its clock
// says it is.
namespace talvo::logwriter {

inline constexpr int kProcesses = 8;
inline constexpr int kEntries = 1000;
inline constexpr platform::LocalTime kNow{2024, 1, 5, 9, 3, 7};

// Long entries make a torn write likely if appends were not whole.
inline std::u16string padding() { return std::u16string(300, u'填'); }

// "p<process>e<entry>|" and the padding; the tag makes every entry unique.
inline std::u16string entry(int process, int index)
{
    const std::string tag = "p" + std::to_string(process) + "e" + std::to_string(index) + "|";
    return std::u16string(tag.begin(), tag.end()) + padding();
}

} // namespace talvo::logwriter
