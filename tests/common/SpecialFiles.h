#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "tests/common/ScratchFolder.h"

namespace talvo::testfiles {

// A named pipe nobody writes to or reads from: a file operation that opened it as a
// file would wait for ever. On POSIX systems a fifo in `folder`; on Windows a pipe
// under \\.\pipe\ that takes clients in both directions, gone with the object.
class IdlePipe {
public:
    explicit IdlePipe(const std::filesystem::path& folder)
    {
#ifdef _WIN32
        (void)folder;
        static std::atomic<int> count{0};
        path_ = L"\\\\.\\pipe\\talvo-" + std::to_wstring(processId()) + L"-" + std::to_wstring(++count);
        server_ = CreateNamedPipeW(path_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 4096,
                                   4096, 0, nullptr);
        EXPECT_NE(server_, INVALID_HANDLE_VALUE) << "CreateNamedPipeW: " << GetLastError();
#else
        path_ = folder / "pipe";
        EXPECT_EQ(::mkfifo(path_.c_str(), 0600), 0) << path_;
#endif
    }
    ~IdlePipe()
    {
#ifdef _WIN32
        if (server_ != INVALID_HANDLE_VALUE)
            CloseHandle(server_);
#endif
    }
    IdlePipe(const IdlePipe&) = delete;
    IdlePipe& operator=(const IdlePipe&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
#ifdef _WIN32
    HANDLE server_ = INVALID_HANDLE_VALUE;
#endif
};

} // namespace talvo::testfiles
