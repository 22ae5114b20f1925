#include "net/TextDecoding.h"

#include <optional>

#include "platform/Charset.h"
#include "platform/RuntimeError.h"

// No ICU on Windows: the names and code pages are those of platform::Charset, the
// text stream's own table.
namespace talvo::net {

std::u16string decodeText(std::string_view bytes, const std::string& name)
{
    std::optional<platform::Charset> charset;
    try {
        charset.emplace(std::u16string(name.begin(), name.end()));
    } catch (const RuntimeError&) {
        throw RuntimeError(RuntimeError::kInvalidArgument, "BytesToBstr: unknown character set \"" + name + "\"");
    }
    return charset->decode(bytes.data(), bytes.size());
}

} // namespace talvo::net
