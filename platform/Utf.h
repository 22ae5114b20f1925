#pragma once

#include <string>
#include <string_view>

namespace talvo::platform {

// UTF-16 text to UTF-8 bytes; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

// UTF-8 bytes to UTF-16 text; every invalid sequence (stray continuation byte,
// truncated sequence, overlong form, surrogate, value above U+10FFFF) becomes U+FFFD.
std::u16string fromUtf8(std::string_view bytes);

} // namespace talvo::platform
