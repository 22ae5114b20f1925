#include "support/Log.h"

#include <cstdio>
#include <utility>

#include "platform/CodePage.h"
#include "platform/FileAppend.h"
#include "platform/ProgramInfo.h"

namespace talvo {

namespace {

std::u16string ascii(const char* text)
{
    std::u16string out;
    for (; *text != '\0'; ++text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    return out;
}

} // namespace

Log::Log() : clock_(platform::localNow) { }

Log::Log(std::filesystem::path programFolder, ClockFunction clock)
    : folder_(std::move(programFolder)), clock_(std::move(clock))
{
}

std::filesystem::path Log::programFolder() const { return folder_.empty() ? platform::programFolder() : folder_; }

void Log::WriteLog(const std::u16string& Message)
{
    try {
        const platform::LocalTime now = clock_();
        char name[32];
        std::snprintf(name, sizeof name, "%04d%02d%02d.log", now.year, now.month, now.day);
        const std::filesystem::path file = programFolder() / "log" / name;
        platform::appendToFile(file, platform::textToAnsi(Message));
    } catch (...) {
        // A log that cannot be written must never disturb the caller.
    }
}

void Log::writeEntry(const char16_t* marker, const std::u16string& message)
{
    std::u16string entry;
    try {
        const platform::LocalTime now = clock_();
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour,
                      now.minute, now.second);
        entry = ascii(stamp) + marker + message + u"\r\n";
    } catch (...) {
        return;
    }
    WriteLog(entry);
}

void Log::ShowMesssage(const std::u16string& Message) { writeEntry(u" :: 信息：", Message); }

void Log::ShowWarn(const std::u16string& Message) { writeEntry(u" :: 警告：", Message); }

void Log::ShowError(const std::u16string& Message) { writeEntry(u" -- 错误：", Message); }

void Log::ShowException(const std::u16string& Message) { writeEntry(u" -- 异常：", Message); }

} // namespace talvo
