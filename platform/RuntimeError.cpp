#include "RuntimeError.h"

#include <cerrno>

namespace talvo {

RuntimeError::RuntimeError(int number) : RuntimeError(number, standardDescription(number)) { }

RuntimeError::RuntimeError(int number, const std::string& description)
    : std::runtime_error(description), number_(number)
{
}

std::string RuntimeError::standardDescription(int number)
{
    switch (number) {
    case kInvalidArgument: return "Invalid procedure call or argument";
    case kOverflow: return "Overflow";
    case kSubscriptOutOfRange: return "Subscript out of range";
    case kBadFileName: return "Bad file name or number";
    case kFileNotFound: return "File not found";
    case kDeviceIo: return "Device I/O error";
    case kPermissionDenied: return "Permission denied";
    case kPathFileAccess: return "Path/File access error";
    case kPathNotFound: return "Path not found";
    default: return "Application-defined or object-defined error";
    }
}

RuntimeError RuntimeError::fromSystemError(std::error_code error)
{
    const std::error_condition condition = error.default_error_condition();
    int number = kPathFileAccess;
    if (condition == std::errc::no_such_file_or_directory)
        number = kFileNotFound;
    else if (condition == std::errc::not_a_directory)
        number = kPathNotFound;
    else if (condition == std::errc::permission_denied || condition == std::errc::operation_not_permitted
             || condition == std::errc::read_only_file_system)
        number = kPermissionDenied;
    else if (condition == std::errc::filename_too_long || condition == std::errc::invalid_argument)
        number = kBadFileName;
    else if (condition == std::errc::io_error || condition == std::errc::no_space_on_device)
        number = kDeviceIo;
    return RuntimeError(number, standardDescription(number) + " (" + error.message() + ")");
}

} // namespace talvo
