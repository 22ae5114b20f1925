#include "net/TextDecoding.h"

#include <climits>
#include <cstdint>
#include <memory>

#include <unicode/ucnv.h>

#include "platform/RuntimeError.h"

namespace talvo::net {

namespace {

struct ConverterDeleter {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};

} // namespace

std::u16string decodeText(std::string_view bytes, const std::string& name)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterDeleter> converter(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status) || !converter)
        throw RuntimeError(RuntimeError::kInvalidArgument, "BytesToBstr: unknown character set \"" + name + "\"");
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX / 4))
        throw RuntimeError(RuntimeError::kOverflow, "BytesToBstr: the body is too large to convert");

    // Two UTF-16 units a byte is enough for every ordinary character set; the rare
    // table that expands further is measured and converted again.
    std::u16string text(bytes.size() * 2, u'\0');
    int32_t length = ucnv_toUChars(converter.get(), text.data(), static_cast<int32_t>(text.size()), bytes.data(),
                                   static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        ucnv_resetToUnicode(converter.get());
        text.assign(static_cast<std::size_t>(length), u'\0');
        length = ucnv_toUChars(converter.get(), text.data(), static_cast<int32_t>(text.size()), bytes.data(),
                               static_cast<int32_t>(bytes.size()), &status);
    }
    if (U_FAILURE(status))
        throw RuntimeError(RuntimeError::kInvalidArgument,
                           std::string("BytesToBstr: conversion failed: ") + u_errorName(status));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace talvo::net
