#pragma once

#include <filesystem>
#include <string_view>

namespace talvo::platform {

// How saveWholeFile put the bytes in place.
enum class SaveWay {
    // The target did not exist: written beside it under a temporary name, synced,
    // then renamed to the target's name.
    Created,
    // The target existed: a temporary copy beside it got the new bytes and the
    // target's group, mode and extended attributes, was synced and renamed over it.
    // Taken only when that copy can keep everything the old file had: a single name
    // (no other hard link), owned by the saving user, a folder open for new names,
    // and every extended attribute copied.
    Replaced,
    // Otherwise (other hard links, a file owned by someone else, a folder that is
    // read-only or refuses the temporary file, attributes that cannot be copied; on
    // Windows a file another program holds open without letting it be deleted) the
    // file itself is overwritten: room for the new size is reserved first, then the
    // bytes are written from the start, the file is cut to the new size only after
    // all of them went out, and synced. A short write is a failure; the old bytes
    // are then written back as far as the device allows.
    OverwrittenInPlace,
};

// Writes bytes as the whole content of the file at path. Links are followed to the
// file they name (a link to a file that does not exist yet creates that file; the
// link stays). The new content is complete before the old file is touched, so a
// failure leaves the old content in place.
//
// Throws RuntimeError: 58 "File already exists" when mayReplace is false and the
// file exists; 75 "Path/File access error (is a directory)" or "(not a regular file)"
// for a folder, pipe or device; 76 "Path not found (...)" when its folder is missing;
// 57 "Device I/O error while writing" when the bytes could not all be written or
// synced; the mapped system error otherwise (70 for a file the user may not write).
SaveWay saveWholeFile(const std::filesystem::path& path, std::string_view bytes, bool mayReplace);

} // namespace talvo::platform
