#pragma once

// The one list of places where Wine (which runs the Windows tests here) is known to
// differ from real Windows. Each difference names the test that shows it; under Wine
// that check is skipped with the reason, on Windows it runs as written.

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

namespace talvo::tests {

// Charset.Gb18030HoldsEveryCharacter, FsoTest.Gb18030HoldsEveryCharacterAndSkipsItsMark: Wine 8 has no code page 54936
// (GB18030); its WideCharToMultiByte / MultiByteToWideChar fail for it. Windows has it built in.
inline constexpr const char* kWineHasNoGb18030 = "Wine 8 has no code page 54936 (GB18030)";

// TextStreamSaveTest.LinksAreWrittenThroughAndStayLinks, FsoTest.SaveThroughALink: Wine 8's
// CreateSymbolicLinkW answers success and makes nothing. Windows makes the link (for
// administrators and in developer mode).
inline constexpr const char* kWineMakesNoSymbolicLinks = "Wine 8's CreateSymbolicLinkW makes no link";

// LogTest.ConcurrentProcessesNeverTearEntries: under Wine 8, whole-record writes through
// handles opened for FILE_APPEND_DATA alone, from several processes at once, land in
// the middle of each other (an entry was found cut by another). Windows moves to the
// end of the file and writes in one step, so each record stays whole.
inline constexpr const char* kWineAppendsCanInterleave = "Wine 8's appends from several processes can interleave";

// WindowsSaveTest.ReadOnlyFileIsRefusedAndKept: Wine 8 keeps the read-only mark as the
// file's Unix mode bits, which root writes through; run by root (as the tests are
// here) it opens read-only files for writing. Windows refuses every user. Skipped only
// when the save went through.
inline constexpr const char* kWineRootWritesReadOnlyFiles = "Wine 8 run by root writes read-only files";

inline bool runningUnderWine()
{
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

} // namespace talvo::tests

#define TALVO_SKIP_WHERE_WINE_DIFFERS(difference)                                                                      \
    if (::talvo::tests::runningUnderWine())                                                                            \
    GTEST_SKIP() << "Wine differs from Windows here: " << (difference)
