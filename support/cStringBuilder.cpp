#include "support/cStringBuilder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "platform/CaseFold.h"

#include "platform/RuntimeError.h"
#include "platform/Surrogates.h"

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
void foldInto(char32_t c, std::u16string& out) { platform::appendCaseFold(c, out); }

// For every BMP unit that folds to exactly one unit, that unit; 0 for the rest
// (surrogates, U+0000 and the few that fold to several units), which take foldInto.
// Two levels, built once: most 256-unit blocks (CJK, Hangul, ...) fold to
// themselves and need no entries, so the lookups stay in the first-level cache.
class SingleUnitFolds {
public:
    SingleUnitFolds()
    {
        std::u16string folded;
        std::vector<char16_t> block(256);
        for (char32_t high = 0; high < 256; ++high) {
            bool same = true;
            for (char32_t low = 0; low < 256; ++low) {
                const char32_t c = high << 8 | low;
                char16_t fold = 0;
                if (c != 0 && !platform::isSurrogate(c)) {
                    folded.clear();
                    foldInto(c, folded);
                    if (folded.size() == 1)
                        fold = folded[0];
                }
                block[static_cast<std::size_t>(low)] = fold;
                same = same && fold == c;
            }
            if (same)
                continue;
            blocks_[static_cast<std::size_t>(high)] = static_cast<std::uint16_t>(entries_.size() / 256 + 1);
            entries_.insert(entries_.end(), block.begin(), block.end());
        }
    }

    char16_t operator()(char16_t unit) const noexcept
    {
        const std::uint16_t block = blocks_[unit >> 8];
        return block == 0 ? unit : entries_[(block - 1u) * 256u + (unit & 0xFFu)];
    }

    // One bit per BMP unit: set where a search must stop and look, for the units that
    // fold to lead and for those without a single-unit fold.
    using Stops = std::array<std::uint64_t, 1024>;
    void markStops(char16_t lead, Stops& stops) const
    {
        stops.fill(0);
        for (std::uint32_t high = 0; high < 256; ++high) {
            const std::uint16_t block = blocks_[high];
            if (block == 0) {
                // Folds to itself: only lead itself can start an occurrence here.
                if ((lead >> 8) == high)
                    stops[lead >> 6] |= std::uint64_t{1} << (lead & 63);
                continue;
            }
            for (std::uint32_t low = 0; low < 256; ++low) {
                const std::uint32_t unit = high << 8 | low;
                const char16_t fold = entries_[(block - 1u) * 256u + low];
                if (fold == 0 || fold == lead)
                    stops[unit >> 6] |= std::uint64_t{1} << (unit & 63);
            }
        }
    }

private:
    std::array<std::uint16_t, 256> blocks_{};
    std::vector<char16_t> entries_;
};

const SingleUnitFolds& singleUnitFolds()
{
    static const SingleUnitFolds table;
    return table;
}

// Whether the folded needle matches the folded text from character p on and ends
// on a character boundary: every character folds whole into the needle.
bool matchesAt(const char16_t* text, int32_t length, int32_t p, std::u16string_view needle,
               const SingleUnitFolds& single, std::u16string& scratch)
{
    std::size_t k = 0;
    while (k < needle.size()) {
        if (p >= length)
            return false;
        const char16_t fold = single(text[p]);
        if (fold != 0) {
            if (fold != needle[k])
                return false;
            ++k;
            ++p;
            continue;
        }
        const char32_t c = platform::nextCodePoint(text, p, length);
        scratch.clear();
        foldInto(c, scratch);
        if (scratch.size() > needle.size() - k || needle.compare(k, scratch.size(), scratch) != 0)
            return false;
        k += scratch.size();
    }
    return true;
}

} // namespace

int32_t cStringBuilder::findFolded(const std::u16string& needle, int32_t from) const
{
    std::u16string foldedNeedle;
    for (std::size_t i = 0; i < needle.size();) {
        const char32_t c = platform::nextCodePoint(needle.data(), i, needle.size());
        foldInto(c, foldedNeedle);
    }
    const SingleUnitFolds& single = singleUnitFolds();
    const char16_t* text = sBuffer.get();
    const int32_t length = Length();
    const char16_t lead = foldedNeedle[0];
    std::u16string scratch;
    // The stops of the last first unit searched for, per thread: a walk searches for
    // the same needle again and again.
    struct StopCache {
        char16_t lead = 0;
        bool ready = false;
        SingleUnitFolds::Stops stops;
    };
    static thread_local StopCache cache;
    if (!cache.ready || cache.lead != lead) {
        single.markStops(lead, cache.stops);
        cache.lead = lead;
        cache.ready = true;
    }
    const std::uint64_t* stops = cache.stops.data();

    // Characters are only folded and compared where the scan stops (a unit that may
    // start an occurrence, or one without a single-unit fold), so a search costs the
    // distance to the occurrence it finds (a walk over all occurrences is linear) and
    // nothing is folded ahead. Occurrences start and end on characters of the built
    // text.
    for (int32_t p = from - 1; p < length;) {
        const char16_t unit = text[p];
        if ((stops[unit >> 6] >> (unit & 63) & 1) == 0) {
            ++p;
            continue;
        }
        const char16_t fold = single(unit);
        if (fold != 0) {
            if (fold == lead && matchesAt(text, length, p, foldedNeedle, single, scratch))
                return p + 1;
            ++p;
            continue;
        }
        // A character that folds to several units, or one outside the BMP.
        if (matchesAt(text, length, p, foldedNeedle, single, scratch))
            return p + 1;
        platform::nextCodePoint(text, p, length);
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
