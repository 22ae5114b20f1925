// cStringBuilder driven by a random sequence of operations and checked after every one
// against a plain std::u16string and the chunk arithmetic the builder promises.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "fuzz/FuzzSupport.h"
#include "platform/RuntimeError.h"
#include "support/cStringBuilder.h"

namespace {

using talvo::cStringBuilder;
using talvo::RuntimeError;

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
// Growth the fuzzer lets through; larger capacities are only predicted, not allocated,
// unless they overflow (which fails before allocating).
constexpr std::int64_t kMaxTriedBytes = 8 << 20;

// Letters in both cases, blanks, line ends, characters whose folding changes length,
// CJK and a surrogate pair.
constexpr char16_t kAlphabet[] = {u'a', u'b', u'c',      u'A',      u'B',      u'C', u' ',      u'\r',  u'\n',
                                  u's', u'S', u'\u00DF', u'\u1E9E', u'\u212A', u'k', u'\u4E2D', 0xD83D, 0xDE00};

struct Model {
    std::u16string text;
    std::int64_t capacityBytes = 0;
    std::int64_t chunkBytes = 16384;

    std::int64_t usedBytes() const { return static_cast<std::int64_t>(text.size()) * 2; }

    // The capacity after growing to hold neededBytes, or error 6.
    std::optional<std::int64_t> grown(std::int64_t neededBytes) const
    {
        if (neededBytes > kMaxBytes)
            return std::nullopt;
        if (neededBytes <= capacityBytes)
            return capacityBytes;
        const std::int64_t chunks = (neededBytes - capacityBytes + chunkBytes - 1) / chunkBytes;
        const std::int64_t capacity = capacityBytes + chunks * chunkBytes;
        if (capacity > kMaxBytes)
            return std::nullopt;
        return capacity;
    }
};

struct Outcome {
    int error = 0;                  // the numbered error expected, 0 for none
    std::int64_t capacityBytes = 0; // the capacity afterwards when no error
};

void checkSame(const cStringBuilder& builder, const Model& model)
{
    FUZZ_CHECK(builder.Length() == static_cast<std::int32_t>(model.text.size()));
    FUZZ_CHECK(builder.Capacity() == model.capacityBytes / 2);
    FUZZ_CHECK(builder.ChunkSize() == model.chunkBytes / 2);
    FUZZ_CHECK(builder.toString() == model.text);
}

// Runs one operation that may throw and checks that it failed with exactly the expected
// error, or succeeded when none was expected.
template<typename Operation>
bool run(int expectedError, Operation&& operation)
{
    try {
        operation();
    } catch (const RuntimeError& error) {
        FUZZ_CHECK(error.number() == expectedError);
        return false;
    }
    FUZZ_CHECK(expectedError == 0);
    return true;
}

std::u16string takeText(FuzzedDataProvider& input)
{
    // Mostly short; now and then longer than a default chunk.
    const std::size_t length = input.ConsumeIntegralInRange(0, 7) == 0
        ? input.ConsumeIntegralInRange<std::size_t>(0, 20000)
        : input.ConsumeIntegralInRange<std::size_t>(0, 12);
    std::u16string text;
    for (std::size_t i = 0; i < length && i < 12 && input.remaining_bytes() > 0; ++i)
        text.push_back(kAlphabet[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kAlphabet) - 1)]);
    // Long texts repeat their first characters so they cost few input bytes.
    for (std::size_t i = 0; !text.empty() && text.size() < length; ++i)
        text.push_back(char16_t{text[i]});
    return text;
}

std::int32_t takeIndex(FuzzedDataProvider& input, std::size_t length)
{
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: return input.ConsumeIntegral<std::int32_t>();
    case 1: {
        constexpr std::int32_t kEdges[] = {std::numeric_limits<std::int32_t>::min(), -1, 0, (1 << 30) - 1, 1 << 30,
                                           std::numeric_limits<std::int32_t>::max()};
        return kEdges[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kEdges) - 1)];
    }
    default: return input.ConsumeIntegralInRange<std::int32_t>(-2, static_cast<std::int32_t>(length) + 2);
    }
}

bool isAscii(const std::u16string& text)
{
    for (char16_t c : text)
        if (c >= 0x80)
            return false;
    return true;
}

std::u16string asciiLower(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = c - u'A' + u'a';
    return text;
}

bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Where the builder's Find must land, for what a plain model can say.
void checkFind(const Model& model, const std::u16string& needle, std::int32_t start, std::int32_t compare,
               std::int32_t found)
{
    const std::int64_t from = start < 1 ? 1 : start;
    const auto& text = model.text;
    if (needle.empty() || from > static_cast<std::int64_t>(text.size())) {
        FUZZ_CHECK(found == 0);
        return;
    }
    const std::size_t exact = text.find(needle, static_cast<std::size_t>(from - 1));
    if (compare == 0) {
        FUZZ_CHECK(found == (exact == std::u16string::npos ? 0 : static_cast<std::int32_t>(exact + 1)));
        return;
    }
    if (isAscii(text) && isAscii(needle)) {
        const std::size_t folded = asciiLower(text).find(asciiLower(needle), static_cast<std::size_t>(from - 1));
        FUZZ_CHECK(found == (folded == std::u16string::npos ? 0 : static_cast<std::int32_t>(folded + 1)));
        return;
    }
    FUZZ_CHECK(found == 0 || (found >= from && found <= static_cast<std::int64_t>(text.size())));
    // An exact occurrence on whole characters is a case-blind one too, so the search
    // cannot come back empty or later than it.
    if (exact != std::u16string::npos && !isLow(text[exact]) && !isLow(needle.front())) {
        const std::size_t end = exact + needle.size();
        if (end == text.size() || !isLow(text[end]))
            FUZZ_CHECK(found != 0 && found <= static_cast<std::int32_t>(exact + 1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    cStringBuilder builder;
    Model model;
    checkSame(builder, model);

    for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
        const int op = input.ConsumeIntegralInRange(0, 12);
        switch (op) {
        case 0:   // Append
        case 1:   // AppendByVal
        case 2: { // AppendNL
            const std::u16string text = takeText(input);
            const bool newline = op == 2;
            const std::int64_t added = static_cast<std::int64_t>(text.size()) * 2 + (newline ? 4 : 0);
            const auto capacity = model.grown(model.usedBytes() + added);
            if (capacity && *capacity > kMaxTriedBytes)
                break;
            const bool done = run(capacity ? 0 : RuntimeError::kOverflow, [&] {
                if (op == 0)
                    builder.Append(text);
                else if (op == 1)
                    builder.AppendByVal(text);
                else
                    builder.AppendNL(text);
            });
            if (done) {
                model.text += text;
                if (newline)
                    model.text += u"\r\n";
                if (added > 0)
                    model.capacityBytes = *capacity;
            }
            break;
        }
        case 3:   // Insert
        case 4: { // InsertByVal
            const std::int32_t index = takeIndex(input, model.text.size());
            const std::u16string text = takeText(input);
            int error = 0;
            std::optional<std::int64_t> capacity = model.capacityBytes;
            if (index < 0)
                error = RuntimeError::kSubscriptOutOfRange;
            else if (static_cast<std::int64_t>(index) * 2 > kMaxBytes)
                error = RuntimeError::kOverflow;
            else if (static_cast<std::size_t>(index) > model.text.size())
                error = RuntimeError::kSubscriptOutOfRange;
            else if (!text.empty() && !(capacity = model.grown(model.usedBytes() + text.size() * 2)))
                error = RuntimeError::kOverflow;
            if (error == 0 && *capacity > kMaxTriedBytes)
                break;
            const bool done = run(error, [&] {
                if (op == 3)
                    builder.Insert(index, text);
                else
                    builder.InsertByVal(index, text);
            });
            if (done) {
                model.text.insert(static_cast<std::size_t>(index), text);
                model.capacityBytes = *capacity;
            }
            break;
        }
        case 5: { // Remove
            const std::int32_t index = takeIndex(input, model.text.size());
            const std::int32_t length = takeIndex(input, model.text.size());
            const std::int64_t end = static_cast<std::int64_t>(index) + length;
            int error = 0;
            if (index < 0)
                error = RuntimeError::kSubscriptOutOfRange;
            else if (static_cast<std::int64_t>(index) * 2 > kMaxBytes)
                error = RuntimeError::kOverflow;
            else if (static_cast<std::size_t>(index) > model.text.size() || length < 0)
                error = RuntimeError::kSubscriptOutOfRange;
            else if (end * 2 > kMaxBytes)
                error = RuntimeError::kOverflow;
            else if (end > static_cast<std::int64_t>(model.text.size()))
                error = RuntimeError::kSubscriptOutOfRange;
            if (run(error, [&] { builder.Remove(index, length); }))
                model.text.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(length));
            break;
        }
        case 6: { // TheString
            const std::u16string text = takeText(input);
            std::optional<std::int64_t> capacity = std::int64_t{0};
            if (!text.empty()) {
                capacity = model.grown(static_cast<std::int64_t>(text.size()) * 2);
                if (capacity && *capacity > kMaxTriedBytes)
                    break;
            }
            if (run(capacity ? 0 : RuntimeError::kOverflow, [&] { builder.TheString(text); })) {
                model.text = text;
                model.capacityBytes = *capacity;
            }
            break;
        }
        case 7: // Clear
            builder.Clear();
            model.text.clear();
            model.capacityBytes = 0;
            break;
        case 8: { // Find
            const std::u16string needle = input.ConsumeBool() && !model.text.empty()
                ? model.text.substr(input.ConsumeIntegralInRange<std::size_t>(0, model.text.size() - 1),
                                    input.ConsumeIntegralInRange<std::size_t>(0, 6))
                : takeText(input);
            const std::int32_t start = takeIndex(input, model.text.size());
            const std::int32_t compare = input.ConsumeIntegralInRange(0, 4) == 0 ? input.ConsumeIntegral<std::int32_t>()
                                                                                 : input.ConsumeIntegralInRange(0, 1);
            std::int32_t found = 0;
            if (run(compare == 0 || compare == 1 ? 0 : RuntimeError::kInvalidArgument,
                    [&] { found = builder.Find(needle, start, compare); }))
                checkFind(model, needle, start, compare, found);
            break;
        }
        case 9: { // HeapMinimize
            const std::int64_t spare = model.capacityBytes - model.usedBytes();
            builder.HeapMinimize();
            if (spare > model.chunkBytes) {
                model.capacityBytes -= (spare - 1) / model.chunkBytes * model.chunkBytes;
                const std::int64_t left = model.capacityBytes - model.usedBytes();
                FUZZ_CHECK(left > 0 && left <= model.chunkBytes);
            }
            break;
        }
        case 10: { // ChunkSize
            std::int32_t chunk;
            switch (input.ConsumeIntegralInRange(0, 2)) {
            case 0: chunk = input.ConsumeIntegralInRange<std::int32_t>(-2, 64); break;
            case 1: chunk = input.ConsumeIntegral<std::int32_t>(); break;
            default: chunk = takeIndex(input, 0); break;
            }
            const std::int64_t bytes = static_cast<std::int64_t>(chunk) * 2;
            int error = 0;
            if (bytes > kMaxBytes || bytes < std::numeric_limits<std::int32_t>::min())
                error = RuntimeError::kOverflow;
            else if (chunk < 1)
                error = RuntimeError::kInvalidArgument;
            if (run(error, [&] { builder.ChunkSize(chunk); }))
                model.chunkBytes = bytes;
            break;
        }
        case 11: { // copies and moves keep the content and the chunk size
            cStringBuilder copy(builder);
            checkSame(copy, model);
            cStringBuilder moved(std::move(copy));
            checkSame(moved, model);
            FUZZ_CHECK(copy.Length() == 0 && copy.Capacity() == 0 && copy.ChunkSize() == model.chunkBytes / 2);
            builder = std::move(moved);
            FUZZ_CHECK(moved.Length() == 0 && moved.Capacity() == 0);
            break;
        }
        default: { // a copy assigned over a builder with other content
            cStringBuilder other;
            other.Append(u"unrelated text");
            other = builder;
            checkSame(other, model);
            break;
        }
        }
        checkSame(builder, model);
    }
    return 0;
}
