#include "support/cStringBuilder.h"

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include "platform/RuntimeError.h"

namespace talvo {

namespace {

constexpr int64_t kMaxBytes = std::numeric_limits<int32_t>::max();
constexpr int kOutOfMemory = 7;

[[noreturn]] void raise(int number)
{
    if (number == kOutOfMemory)
        throw RuntimeError(kOutOfMemory, "Out of memory");
    throw RuntimeError(number);
}

// Byte count of a text; error 6 when it does not fit in 32 bits.
int32_t byteCount(const std::u16string& text)
{
    if (text.size() > static_cast<std::size_t>(kMaxBytes / 2))
        raise(RuntimeError::kOverflow);
    return static_cast<int32_t>(text.size() * 2);
}

// Doubles a character index into a byte offset; error 6 when that overflows.
int32_t toBytes(int64_t characters)
{
    const int64_t bytes = characters * 2;
    if (bytes > kMaxBytes || bytes < std::numeric_limits<int32_t>::min())
        raise(RuntimeError::kOverflow);
    return static_cast<int32_t>(bytes);
}

// Blanks in 8-byte stores: the fill runs once per chunk of growth.
void fillBlanks(char16_t* at, std::size_t count)
{
    constexpr uint64_t kFourBlanks = 0x0020002000200020ULL;
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        std::memcpy(at + i, &kFourBlanks, sizeof kFourBlanks);
    for (; i < count; ++i)
        at[i] = u' ';
}

} // namespace

void cStringBuilder::FreeBuffer::operator()(char16_t* buffer) const noexcept { std::free(buffer); }

cStringBuilder::cStringBuilder(const cStringBuilder& other) : lChunkBytes(other.lChunkBytes)
{
    if (other.lCapacityBytes == 0)
        return;
    const auto units = static_cast<std::size_t>(other.lCapacityBytes / 2);
    sBuffer.reset(static_cast<char16_t*>(std::malloc(units * 2)));
    if (!sBuffer)
        raise(kOutOfMemory);
    std::memcpy(sBuffer.get(), other.sBuffer.get(), units * 2);
    allocatedUnits_ = units;
    lUsedBytes = other.lUsedBytes;
    lCapacityBytes = other.lCapacityBytes;
}

cStringBuilder& cStringBuilder::operator=(const cStringBuilder& other)
{
    if (this != &other) {
        cStringBuilder copy(other);
        *this = std::move(copy);
    }
    return *this;
}

cStringBuilder::cStringBuilder(cStringBuilder&& other) noexcept
    : sBuffer(std::move(other.sBuffer)), lChunkBytes(other.lChunkBytes), lUsedBytes(other.lUsedBytes),
      lCapacityBytes(other.lCapacityBytes), allocatedUnits_(other.allocatedUnits_)
{
    other.Clear();
}

cStringBuilder& cStringBuilder::operator=(cStringBuilder&& other) noexcept
{
    if (this != &other) {
        sBuffer = std::move(other.sBuffer);
        lChunkBytes = other.lChunkBytes;
        lUsedBytes = other.lUsedBytes;
        lCapacityBytes = other.lCapacityBytes;
        allocatedUnits_ = other.allocatedUnits_;
        other.Clear();
    }
    return *this;
}

void cStringBuilder::ChunkSize(int32_t iChunkSize)
{
    const int32_t bytes = toBytes(iChunkSize);
    // The growth and trimming loops need a positive step.
    if (bytes < 2)
        raise(RuntimeError::kInvalidArgument);
    lChunkBytes = bytes;
}

std::u16string cStringBuilder::toString() const
{
    if (lUsedBytes == 0)
        return {};
    return std::u16string(sBuffer.get(), static_cast<std::size_t>(lUsedBytes / 2));
}

int32_t cStringBuilder::grownCapacity(int64_t neededBytes) const
{
    if (neededBytes > kMaxBytes)
        raise(RuntimeError::kOverflow);
    if (neededBytes <= lCapacityBytes)
        return lCapacityBytes;
    // Whole chunks from the current capacity; computed at once rather than one
    // addition per chunk, with the same result and the same overflow.
    const int64_t chunks = (neededBytes - lCapacityBytes + lChunkBytes - 1) / lChunkBytes;
    const int64_t capacity = lCapacityBytes + chunks * lChunkBytes;
    if (capacity > kMaxBytes)
        raise(RuntimeError::kOverflow);
    return static_cast<int32_t>(capacity);
}

void cStringBuilder::growTo(int32_t newCapacityBytes)
{
    if (newCapacityBytes <= lCapacityBytes)
        return;
    const auto units = static_cast<std::size_t>(newCapacityBytes / 2);
    if (units > allocatedUnits_) {
        std::size_t target = std::max(units, allocatedUnits_ * 2);
        void* grown = std::realloc(sBuffer.get(), target * 2);
        if (grown == nullptr && target > units) {
            target = units;
            grown = std::realloc(sBuffer.get(), target * 2);
        }
        // A failed realloc leaves the old block, and so the builder, as it was.
        if (grown == nullptr)
            raise(kOutOfMemory);
        (void)sBuffer.release();
        sBuffer.reset(static_cast<char16_t*>(grown));
        allocatedUnits_ = target;
    }
    const auto oldUnits = static_cast<std::size_t>(lCapacityBytes / 2);
    fillBlanks(sBuffer.get() + oldUnits, units - oldUnits);
    lCapacityBytes = newCapacityBytes;
}

void cStringBuilder::TheString(const std::u16string& sThis)
{
    const int32_t n = byteCount(sThis);
    if (n == 0) {
        Clear();
        return;
    }
    growTo(grownCapacity(n));
    std::memcpy(sBuffer.get(), sThis.data(), static_cast<std::size_t>(n));
    lUsedBytes = n;
}

void cStringBuilder::Clear() noexcept
{
    sBuffer.reset();
    allocatedUnits_ = 0;
    lUsedBytes = 0;
    lCapacityBytes = 0;
}

void cStringBuilder::AppendNL(const std::u16string& sThis)
{
    // Checked as a whole first, so a failure appends neither part.
    grownCapacity(static_cast<int64_t>(lUsedBytes) + byteCount(sThis) + 4);
    Append(sThis);
    Append(u"\r\n");
}

void cStringBuilder::Append(const std::u16string& sThis)
{
    const int32_t n = byteCount(sThis);
    if (n == 0)
        return;
    growTo(grownCapacity(static_cast<int64_t>(lUsedBytes) + n));
    std::memcpy(reinterpret_cast<char*>(sBuffer.get()) + lUsedBytes, sThis.data(), static_cast<std::size_t>(n));
    lUsedBytes += n;
}

void cStringBuilder::AppendByVal(std::u16string sThis) { Append(sThis); }

void cStringBuilder::Insert(int32_t iIndex, const std::u16string& sThis)
{
    if (iIndex < 0)
        raise(RuntimeError::kSubscriptOutOfRange);
    const int32_t at = toBytes(iIndex);
    if (at > lUsedBytes)
        raise(RuntimeError::kSubscriptOutOfRange);
    const int32_t n = byteCount(sThis);
    if (n == 0)
        return;
    growTo(grownCapacity(static_cast<int64_t>(lUsedBytes) + n));
    char* base = reinterpret_cast<char*>(sBuffer.get());
    std::memmove(base + at + n, base + at, static_cast<std::size_t>(lUsedBytes - at));
    std::memcpy(base + at, sThis.data(), static_cast<std::size_t>(n));
    lUsedBytes += n;
}

void cStringBuilder::InsertByVal(int32_t iIndex, std::u16string sThis) { Insert(iIndex, sThis); }

void cStringBuilder::Remove(int32_t iIndex, int32_t lLen)
{
    if (iIndex < 0)
        raise(RuntimeError::kSubscriptOutOfRange);
    const int32_t at = toBytes(iIndex);
    if (at > lUsedBytes || lLen < 0)
        raise(RuntimeError::kSubscriptOutOfRange);
    const int64_t endIndex = static_cast<int64_t>(iIndex) + lLen;
    if (endIndex > std::numeric_limits<int32_t>::max())
        raise(RuntimeError::kOverflow);
    const int32_t end = toBytes(endIndex);
    if (end > lUsedBytes)
        raise(RuntimeError::kSubscriptOutOfRange);
    if (end == at)
        return;
    char* base = reinterpret_cast<char*>(sBuffer.get());
    std::memmove(base + at, base + end, static_cast<std::size_t>(lUsedBytes - end));
    lUsedBytes -= end - at;
}

int32_t cStringBuilder::Find(std::u16string sToFind, int32_t lStartIndex, int32_t compare) const
{
    if (compare != 0 && compare != 1)
        raise(RuntimeError::kInvalidArgument);
    const int32_t from = lStartIndex < 1 ? 1 : lStartIndex;
    if (sToFind.empty() || from > Length())
        return 0;
    return compare == 0 ? findExact(sToFind, from) : findFolded(sToFind, from);
}

int32_t cStringBuilder::findExact(const std::u16string& needle, int32_t from) const
{
    const std::u16string_view text(sBuffer.get(), static_cast<std::size_t>(Length()));
    const std::size_t at = text.find(needle, static_cast<std::size_t>(from - 1));
    return at == std::u16string_view::npos ? 0 : static_cast<int32_t>(at) + 1;
}

namespace {

// Full case folding of one code point, appended to out.
void foldInto(UChar32 c, std::u16string& out)
{
    if (c < 0x80) {
        out.push_back(static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 0x20 : c));
        return;
    }
    UChar source[2];
    int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, c);
    UChar folded[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strFoldCase(folded, 8, source, sourceLength, U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status) || length > 8)
        out.append(reinterpret_cast<const char16_t*>(source), static_cast<std::size_t>(sourceLength));
    else
        out.append(reinterpret_cast<const char16_t*>(folded), static_cast<std::size_t>(length));
}

} // namespace

int32_t cStringBuilder::findFolded(const std::u16string& needle, int32_t from) const
{
    std::u16string foldedNeedle;
    for (std::size_t i = 0; i < needle.size();) {
        UChar32 c;
        U16_NEXT(needle.data(), i, needle.size(), c);
        foldInto(c, foldedNeedle);
    }

    // The folded text, and for each of its units the 0-based index of the character of
    // the built text it came from; a change of index marks a character boundary.
    const int32_t length = Length();
    std::u16string folded;
    std::vector<int32_t> origin;
    folded.reserve(static_cast<std::size_t>(length - from + 1));
    origin.reserve(static_cast<std::size_t>(length - from + 1));
    for (int32_t i = from - 1; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U16_NEXT(sBuffer.get(), i, length, c);
        foldInto(c, folded);
        origin.resize(folded.size(), start);
    }

    const std::size_t m = foldedNeedle.size();
    for (std::size_t at = folded.find(foldedNeedle); at != std::u16string::npos;
         at = folded.find(foldedNeedle, at + 1)) {
        const bool startsOnBoundary = at == 0 || origin[at] != origin[at - 1];
        const bool endsOnBoundary = at + m == folded.size() || origin[at + m] != origin[at + m - 1];
        if (startsOnBoundary && endsOnBoundary)
            return origin[at] + 1;
    }
    return 0;
}

void cStringBuilder::HeapMinimize()
{
    const int64_t spare = static_cast<int64_t>(lCapacityBytes) - lUsedBytes;
    if (spare <= lChunkBytes)
        return;
    // As many whole chunks as leave more than nothing and at most one chunk spare.
    const int64_t chunks = (spare - lChunkBytes + lChunkBytes - 1) / lChunkBytes;
    const int32_t capacity = static_cast<int32_t>(lCapacityBytes - chunks * lChunkBytes);
    const auto units = static_cast<std::size_t>(capacity / 2);
    // Shrinking in place cannot lose data; should realloc refuse, the larger block
    // simply stays.
    if (void* trimmed = std::realloc(sBuffer.get(), units * 2)) {
        (void)sBuffer.release();
        sBuffer.reset(static_cast<char16_t*>(trimmed));
        allocatedUnits_ = units;
    }
    lCapacityBytes = capacity;
}

} // namespace talvo
