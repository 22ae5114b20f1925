#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/Clock.h"

namespace talvo {

// Appends time-stamped entries to one file per local day, "YYYYMMDD.log", in the
// "log" folder beside the executable. The folder is never created: without it nothing
// is written. Entries are stored in the system ANSI code page (a character it cannot
// hold becomes "?"). Every failure is swallowed and the entry is lost.
//
// Line ends: WriteLog writes its text exactly as given and adds none; the four entry
// operations end every entry with "\r\n". Each call reaches the file as one append of
// the whole text, so entries from several processes never mix within an entry, and an
// append cut short (full disk, size limit) is taken back: an entry is whole or absent.
class Log {
public:
    using ClockFunction = std::function<platform::LocalTime()>;

    // The program folder and the local clock, read afresh on every call.
    Log();
    // Another program folder (its "log" subfolder is used) and clock.
    Log(std::filesystem::path programFolder, ClockFunction clock);

    void WriteLog(const std::u16string& Message);
    void ShowMesssage(const std::u16string& Message);
    void ShowWarn(const std::u16string& Message);
    void ShowError(const std::u16string& Message);
    void ShowException(const std::u16string& Message);

private:
    void writeEntry(const char16_t* marker, const std::u16string& message);
    std::filesystem::path programFolder() const;

    std::filesystem::path folder_;
    ClockFunction clock_;
};

} // namespace talvo
