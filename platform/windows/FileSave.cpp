#include "../FileSave.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include <windows.h>

#include "../RuntimeError.h"
#include "SystemMessage.h"

namespace talvo::platform {

namespace fs = std::filesystem;

namespace {

constexpr int kFileAlreadyExists = 58;
constexpr DWORD kMaxPiece = 1u << 30;

// The system errors a save meets, as the portable conditions RuntimeError maps.
int toErrno(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_PATH_NOT_FOUND: return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_NAME: return EINVAL;
    default: return EIO;
    }
}

// The number as on Linux, the system's own words.
[[noreturn]] void failSystem(DWORD error)
{
    const int number = RuntimeError::fromSystemError(std::error_code(toErrno(error), std::generic_category())).number();
    throw RuntimeError(number, RuntimeError::standardDescription(number) + " (" + systemMessage(error) + ")");
}

[[noreturn]] void failWriting() { throw RuntimeError(RuntimeError::kDeviceIo, "Device I/O error while writing"); }

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) noexcept : h_(h) { }
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const noexcept { return h_; }
    bool valid() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE h) noexcept
    {
        close();
        h_ = h;
    }
    bool close() noexcept
    {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
    }

private:
    HANDLE h_;
};

bool seek(HANDLE h, std::uint64_t at)
{
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(at);
    return ::SetFilePointerEx(h, position, nullptr, FILE_BEGIN) != 0;
}

bool writeAll(HANDLE h, const char* data, std::size_t size)
{
    if (!seek(h, 0))
        return false;
    while (size > 0) {
        const DWORD piece = size > kMaxPiece ? kMaxPiece : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(h, data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool setSize(HANDLE h, std::uint64_t size) { return seek(h, size) && ::SetEndOfFile(h) != 0; }

fs::path folderOf(const fs::path& file)
{
    const fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(L".") : folder;
}

HANDLE createTemporary(const fs::path& folder, fs::path& name)
{
    static thread_local std::mt19937_64 names{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        wchar_t leaf[32];
        std::swprintf(leaf, 32, L".~%016llx.tmp", static_cast<unsigned long long>(names()));
        name = folder / leaf;
        const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Writes the new bytes to a temporary file beside target; empty path on failure to
// create it (the caller decides), failWriting when the bytes do not all go out.
fs::path writeTemporary(const fs::path& target, std::string_view bytes, DWORD& createError)
{
    fs::path temporary;
    Handle out(createTemporary(folderOf(target), temporary));
    if (!out.valid()) {
        createError = ::GetLastError();
        return {};
    }
    if (!writeAll(out.get(), bytes.data(), bytes.size()) || !::FlushFileBuffers(out.get()) || !out.close()) {
        out.close();
        ::DeleteFileW(temporary.c_str());
        failWriting();
    }
    return temporary;
}

std::wstring finalPath(HANDLE h)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(n + 1);
    }
}

bool deletable(const fs::path& path)
{
    Handle probe(::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.valid();
}

void overwriteInPlace(HANDLE h, std::uint64_t oldSize, std::string_view bytes)
{
    const std::uint64_t newSize = bytes.size();
    // Room first: a full disk shows here, before any old byte goes.
    if (newSize > oldSize && !setSize(h, newSize)) {
        setSize(h, oldSize);
        failWriting();
    }
    std::string previous(static_cast<std::size_t>(oldSize), '\0');
    bool restorable = seek(h, 0);
    for (std::size_t done = 0; restorable && done < previous.size();) {
        const std::size_t left = previous.size() - done;
        DWORD got = 0;
        if (!::ReadFile(h, previous.data() + done, left > kMaxPiece ? kMaxPiece : static_cast<DWORD>(left), &got,
                        nullptr)
            || got == 0)
            restorable = false;
        done += got;
    }
    if (!writeAll(h, bytes.data(), bytes.size())) {
        if (restorable && writeAll(h, previous.data(), previous.size()))
            setSize(h, oldSize);
        ::FlushFileBuffers(h);
        failWriting();
    }
    if (newSize < oldSize && !setSize(h, newSize))
        failWriting();
    if (!::FlushFileBuffers(h))
        failWriting();
}

} // namespace

SaveWay saveWholeFile(const fs::path& path, std::string_view bytes, bool mayReplace)
{
    // A pipe could wait for ever, and a device is no file to save; neither is opened.
    if (inDeviceNamespace(path))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
    // Opening follows links to the file they name.
    Handle existing(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing.valid()) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (is a directory)");
        if (error == ERROR_PATH_NOT_FOUND)
            throw RuntimeError(RuntimeError::kPathNotFound, "Path not found (" + systemMessage(error) + ")");
        if (error != ERROR_FILE_NOT_FOUND) {
            if (!mayReplace && attributes != INVALID_FILE_ATTRIBUTES)
                throw RuntimeError(kFileAlreadyExists, "File already exists");
            failSystem(error);
        }
        DWORD createError = 0;
        const fs::path temporary = writeTemporary(path, bytes, createError);
        if (temporary.empty())
            failSystem(createError);
        if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD moveError = ::GetLastError();
            ::DeleteFileW(temporary.c_str());
            failSystem(moveError);
        }
        return SaveWay::Created;
    }
    if (!mayReplace)
        throw RuntimeError(kFileAlreadyExists, "File already exists");
    if (::GetFileType(existing.get()) != FILE_TYPE_DISK)
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(existing.get(), &info))
        failSystem(::GetLastError());
    const std::uint64_t oldSize = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    // A renamed copy can take the file's place only when it has one name and no other
    // program holds it without letting it be deleted (editors and viewers often do).
    const bool replaceable = info.nNumberOfLinks == 1 && deletable(path);
    const fs::path target = replaceable ? fs::path(finalPath(existing.get())) : fs::path();

    if (!target.empty()) {
        // ReplaceFileW keeps the old file's attributes, security and streams.
        DWORD createError = 0;
        const fs::path temporary = writeTemporary(target, bytes, createError);
        if (!temporary.empty()) {
            existing.close();
            if (::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                               nullptr)) {
                // The marks as before, also where the replacement did not carry them
                // over (Wine's does not); "archive" says the file changed since its
                // last backup, which it now has.
                ::SetFileAttributesW(target.c_str(), info.dwFileAttributes | FILE_ATTRIBUTE_ARCHIVE);
                return SaveWay::Replaced;
            }
            ::DeleteFileW(temporary.c_str());
            existing.reset(::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!existing.valid())
                failSystem(::GetLastError());
        }
    }
    overwriteInPlace(existing.get(), oldSize, bytes);
    if (!existing.close())
        failWriting();
    return SaveWay::OverwrittenInPlace;
}

} // namespace talvo::platform
