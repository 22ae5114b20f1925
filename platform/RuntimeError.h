#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace talvo {

// The one error type for failures that carry a runtime error number (6 overflow,
// 9 subscript out of range, 5 invalid argument, the file errors). Callers that must
// tell errors apart test number(); what() is the description for people.
class RuntimeError : public std::runtime_error {
public:
    enum : int {
        kInvalidArgument = 5,
        kOverflow = 6,
        kSubscriptOutOfRange = 9,
        kBadFileName = 52,
        kFileNotFound = 53,
        kDeviceIo = 57,
        kPermissionDenied = 70,
        kPathFileAccess = 75,
        kPathNotFound = 76,
    };

    // Uses the standard description of the number.
    explicit RuntimeError(int number);
    RuntimeError(int number, const std::string& description);

    int number() const noexcept { return number_; }
    std::string description() const { return what(); }

    // Maps an operating-system error of a file operation to its numbered error.
    static RuntimeError fromSystemError(std::error_code error);

    static std::string standardDescription(int number);

private:
    int number_;
};

} // namespace talvo
