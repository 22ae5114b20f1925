#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/common/WineDifferences.h"

namespace talvo::testfiles {

// Which file a name leads to (links followed) and how many names that file has.
struct FileIdentity {
    std::uint64_t id = 0;
    std::uint64_t names = 0;
    bool operator==(const FileIdentity&) const = default;
};

inline FileIdentity identityOf(const std::filesystem::path& path)
{
#ifdef _WIN32
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    EXPECT_TRUE(known) << path;
    return {(std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, info.nNumberOfLinks};
#else
    struct stat st { };
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {static_cast<std::uint64_t>(st.st_ino), static_cast<std::uint64_t>(st.st_nlink)};
#endif
}

// Whether the name itself is a symbolic link (not what it leads to).
inline bool isSymlink(const std::filesystem::path& path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    return std::filesystem::is_symlink(path);
#endif
}

// Makes `link` a symbolic link to `target`, kept as written (relative or absolute).
// Empty when made, else why not: Windows lets only administrators and developer mode
// make them.
inline std::string makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link)
{
#ifdef _WIN32
    // The kind of link is fixed when it is made: a folder link for a folder.
    const DWORD targetAttributes = GetFileAttributesW((link.parent_path() / target).c_str());
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    if (CreateSymbolicLinkW(link.c_str(), std::filesystem::path(target).make_preferred().c_str(), flags))
        return {};
    const DWORD error = GetLastError();
    if (error == ERROR_PRIVILEGE_NOT_HELD)
        return "this account may not make symbolic links (administrators and developer mode only)";
    return "CreateSymbolicLinkW failed with error " + std::to_string(error);
#else
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return error ? error.message() : std::string();
#endif
}

} // namespace talvo::testfiles

// Makes a symbolic link or skips the rest of the test with the reason.
#define TALVO_SYMLINK_OR_SKIP(target, link)                                                                            \
    do {                                                                                                               \
        TALVO_SKIP_WHERE_WINE_DIFFERS(::talvo::tests::kWineMakesNoSymbolicLinks);                                      \
        const std::string why = ::talvo::testfiles::makeSymlink((target), (link));                                     \
        if (!why.empty())                                                                                              \
            GTEST_SKIP() << "no symbolic link " << (link) << ": " << why;                                              \
    } while (false)
