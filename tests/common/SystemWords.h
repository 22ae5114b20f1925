#pragma once

#include <cerrno>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include "platform/RuntimeError.h"
#include "platform/Utf.h"

namespace talvo::testfiles {

// One failure as each system numbers it (errno; Win32 error code).
struct SystemError {
    int posix;
    unsigned long windows;
};
inline constexpr SystemError kNoSuchFile{ENOENT, 2};          // ERROR_FILE_NOT_FOUND
inline constexpr SystemError kNoSuchFolder{ENOENT, 3};        // ERROR_PATH_NOT_FOUND
inline constexpr SystemError kNotAFolder{ENOTDIR, 3};         // ERROR_PATH_NOT_FOUND
inline constexpr SystemError kNameTooLong{ENAMETOOLONG, 206}; // ERROR_FILENAME_EXCED_RANGE

// The system's own words for an error: strerror's on POSIX systems, FormatMessageW's on
// Windows (in the user's language, so Chinese on a Chinese system).
inline std::u16string systemWords(SystemError error)
{
#ifdef _WIN32
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error.windows, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::u16string words(reinterpret_cast<const char16_t*>(text), n);
    LocalFree(text);
    return words;
#else
    return platform::fromUtf8(std::generic_category().message(error.posix));
#endif
}

// Whether a failure's description is the numbered error's standard words followed by
// the system's words for the error in brackets, whole on POSIX systems; on Windows
// the system's message may lose its closing punctuation and line end.
inline ::testing::AssertionResult describesSystemError(const std::u16string& description, int number, SystemError error)
{
    const std::u16string head = platform::fromUtf8(RuntimeError::standardDescription(number)) + u" (";
    const std::u16string words = systemWords(error);
    const bool framed = description.size() > head.size() + 1 && description.starts_with(head)
        && description.back() == u')';
    const std::u16string inner = framed ? description.substr(head.size(), description.size() - head.size() - 1)
                                        : std::u16string();
#ifdef _WIN32
    const bool matches = !inner.empty() && words.starts_with(inner);
#else
    const bool matches = framed && inner == words;
#endif
    if (matches)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << platform::toUtf8(description) << "\" is not \""
                                         << platform::toUtf8(head + words) << ")\"";
}

} // namespace talvo::testfiles
