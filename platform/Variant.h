#pragma once

#include <string>
#include <utility>
#include <variant>

namespace talvo {

// A result that holds text, a byte array, or no value at all. "No value" is never
// the same as empty text: callers that care test isEmpty().
class Variant {
public:
    Variant() = default;
    Variant(std::u16string text) : value_(std::move(text)) { }
    Variant(const char16_t* text) : value_(std::u16string(text)) { }

    static Variant fromBytes(std::string bytes)
    {
        Variant v;
        v.value_ = Bytes{std::move(bytes)};
        return v;
    }

    bool isEmpty() const noexcept { return std::holds_alternative<std::monostate>(value_); }
    bool isText() const noexcept { return std::holds_alternative<std::u16string>(value_); }
    bool isBytes() const noexcept { return std::holds_alternative<Bytes>(value_); }

    // Precondition: isText() / isBytes().
    const std::u16string& text() const { return std::get<std::u16string>(value_); }
    const std::string& bytes() const { return std::get<Bytes>(value_).data; }

    // The value as text, the way a caller that "converts the result to text at once"
    // sees it: no value gives empty text; a byte array is read as UTF-16LE code
    // units, two bytes each (an odd last byte is dropped).
    std::u16string toText() const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    struct Bytes {
        std::string data;
        friend bool operator==(const Bytes&, const Bytes&) = default;
    };
    std::variant<std::monostate, std::u16string, Bytes> value_;
};

inline std::u16string Variant::toText() const
{
    if (isText())
        return text();
    if (!isBytes())
        return {};
    const std::string& raw = bytes();
    std::u16string out(raw.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i])
                                       | (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    return out;
}

} // namespace talvo
