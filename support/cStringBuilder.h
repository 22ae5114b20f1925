#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace talvo {

// Builds long texts in one buffer that grows by whole chunks (8192 characters unless
// ChunkSize says otherwise). Lengths are kept in bytes, two per UTF-16 unit; the
// public side counts characters. Appends, inserts and removes move the text in place.
//
// Errors are talvo::RuntimeError: 6 when a 32-bit byte count or position would
// overflow, 9 when an index or range lies outside the built text, 5 for a growth step
// below one character or an unknown comparison, 7 when memory runs out. Every failing
// call leaves the builder exactly as it was.
class cStringBuilder {
public:
    cStringBuilder() = default;
    cStringBuilder(const cStringBuilder& other);
    cStringBuilder& operator=(const cStringBuilder& other);
    // The source is left empty, with its chunk size.
    cStringBuilder(cStringBuilder&& other) noexcept;
    cStringBuilder& operator=(cStringBuilder&& other) noexcept;
    ~cStringBuilder() = default;

    int32_t Length() const noexcept { return lUsedBytes / 2; }
    int32_t Capacity() const noexcept { return lCapacityBytes / 2; }
    int32_t ChunkSize() const noexcept { return lChunkBytes / 2; }
    // Error 6 when the step in bytes does not fit in 32 bits, error 5 below 1; the old
    // step stays in both cases.
    void ChunkSize(int32_t iChunkSize);

    // The built text only; never the spare capacity.
    std::u16string toString() const;
    // Replaces the whole content. Empty text releases the buffer; otherwise the
    // capacity only grows.
    void TheString(const std::u16string& sThis);

    // Back to the empty state; the chunk size stays.
    void Clear() noexcept;
    // sThis followed by CR LF.
    void AppendNL(const std::u16string& sThis);
    void Append(const std::u16string& sThis);
    void AppendByVal(std::u16string sThis);
    // iIndex is 0-based: 0 puts the text in front, Length() appends.
    void Insert(int32_t iIndex, const std::u16string& sThis);
    void InsertByVal(int32_t iIndex, std::u16string sThis);
    // Removes lLen characters from the 0-based iIndex; the capacity stays.
    void Remove(int32_t iIndex, int32_t lLen);

    // The 1-based position of the first occurrence of sToFind that starts at
    // lStartIndex or later (a start below 1 means 1), or 0. Only occurrences wholly
    // inside the built text count; an empty sToFind is never found.
    // compare 0: exact code units. compare 1: case-insensitive by Unicode full case
    // folding, on whole characters. Folding may change lengths ("ß" folds to "ss",
    // "ﬁ" to "fi"): an occurrence must begin and end on character boundaries of the
    // built text, so "ss" finds "ß" and "ß" finds "SS", but "s" never matches half of
    // "ß". The position returned is that of the first character of the occurrence in
    // the built text. Any other compare value is error 5. Either way a search reads
    // the text only up to the occurrence it finds, so walking every occurrence (each
    // Find starting one past the last) is linear in the length of the text.
    int32_t Find(std::u16string sToFind, int32_t lStartIndex = 1, int32_t compare = 1) const;

    // Gives back spare capacity beyond one chunk, in whole chunks, in one reallocation.
    void HeapMinimize();

private:
    // Capacity in bytes that holds neededBytes, grown from the current capacity by whole
    // chunks; error 6 when it does not fit in 32 bits.
    int32_t grownCapacity(int64_t neededBytes) const;
    // Extends the capacity with blanks to newCapacityBytes (one reallocation at most).
    void growTo(int32_t newCapacityBytes);
    int32_t findExact(const std::u16string& needle, int32_t from) const;
    int32_t findFolded(const std::u16string& needle, int32_t from) const;

    struct FreeBuffer {
        void operator()(char16_t* buffer) const noexcept;
    };

    // The buffer: its first lUsedBytes / 2 units are the text, up to lCapacityBytes / 2
    // the spare capacity. In-place moves work on offsets into it; no addresses are
    // kept, so there is no address arithmetic to get wrong with 64-bit pointers.
    // The block itself is malloc'd so growth can use realloc (no copy for large
    // blocks) and may be larger than the capacity: it grows at least twofold, which
    // keeps long builds linear even with small chunks.
    std::unique_ptr<char16_t[], FreeBuffer> sBuffer;
    int32_t lChunkBytes = 16384;
    int32_t lUsedBytes = 0;
    int32_t lCapacityBytes = 0;
    std::size_t allocatedUnits_ = 0;
};

} // namespace talvo
