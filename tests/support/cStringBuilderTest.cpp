#include "support/cStringBuilder.h"

#include <chrono>
#include <climits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/RuntimeError.h"

namespace talvo {
namespace {

struct Snapshot {
    std::u16string text;
    int32_t length;
    int32_t capacity;
    int32_t chunk;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snap(const cStringBuilder& b) { return {b.toString(), b.Length(), b.Capacity(), b.ChunkSize()}; }

template<typename F>
int errorNumber(F&& f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(StringBuilderTest, NewBuilderIsEmpty)
{
    cStringBuilder b;
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.ChunkSize(), 8192);
    EXPECT_EQ(b.toString(), u"");
}

TEST(StringBuilderTest, CapacityGrowsByWholeChunks)
{
    struct Row {
        int32_t chunk;
        std::vector<int32_t> appends; // lengths appended in turn
        int32_t length;
        int32_t capacity;
    };
    const Row rows[] = {
        {8192, {3}, 3, 8192},
        {8192, {8193}, 8193, 16384},
        {8192, {8192}, 8192, 8192},
        {8192, {8192, 1}, 8193, 16384},
        {8192, {5000, 5000, 5000, 5000}, 20000, 24576},
        {4, {1, 1, 1, 1, 1}, 5, 8},
        {4, {9}, 9, 12},
        {1, {3, 2}, 5, 5},
        {100, {0}, 0, 0},
    };
    for (const Row& row : rows) {
        cStringBuilder b;
        b.ChunkSize(row.chunk);
        std::u16string model;
        for (int32_t n : row.appends) {
            const std::u16string piece(static_cast<std::size_t>(n), u'x');
            b.Append(piece);
            model += piece;
        }
        EXPECT_EQ(b.Length(), row.length) << "chunk " << row.chunk;
        EXPECT_EQ(b.Capacity(), row.capacity) << "chunk " << row.chunk;
        EXPECT_EQ(b.toString(), model);
    }
}

TEST(StringBuilderTest, AppendVariants)
{
    cStringBuilder b;
    b.AppendNL(u"ab");
    EXPECT_EQ(b.toString(), u"ab\r\n");
    EXPECT_EQ(b.Length(), 4);
    b.AppendByVal(u"中文");
    b.AppendNL(u"");
    EXPECT_EQ(b.toString(), u"ab\r\n中文\r\n");

    // The builder's own text appended to itself.
    b.TheString(u"xyz");
    b.Append(b.toString());
    b.Insert(3, b.toString());
    EXPECT_EQ(b.toString(), u"xyzxyzxyzxyz");
}

TEST(StringBuilderTest, CopiesAreIndependentAndMovesEmptyTheSource)
{
    cStringBuilder a;
    a.ChunkSize(4);
    a.Append(u"abcdef");
    a.Remove(3, 3);
    cStringBuilder copy(a);
    copy.Append(u"xyz");
    EXPECT_EQ(a.toString(), u"abc");
    EXPECT_EQ(snap(copy), (Snapshot{u"abcxyz", 6, 8, 4}));
    copy = a;
    EXPECT_EQ(snap(copy), snap(a));

    cStringBuilder moved(std::move(a));
    EXPECT_EQ(snap(moved), (Snapshot{u"abc", 3, 8, 4}));
    EXPECT_EQ(snap(a), (Snapshot{u"", 0, 0, 4})); // NOLINT(bugprone-use-after-move)
    a.Append(u"again");
    EXPECT_EQ(a.toString(), u"again");
    moved = std::move(a);
    EXPECT_EQ(moved.toString(), u"again");
    EXPECT_EQ(a.Length(), 0); // NOLINT(bugprone-use-after-move)
}

TEST(StringBuilderTest, TheStringKeepsCapacityAndReleasesOnEmpty)
{
    cStringBuilder b;
    b.ChunkSize(4);
    b.TheString(u"0123456789");
    EXPECT_EQ(b.Capacity(), 12);
    EXPECT_EQ(b.toString(), u"0123456789");

    b.TheString(u"ab");
    EXPECT_EQ(b.Length(), 2);
    EXPECT_EQ(b.Capacity(), 12);
    EXPECT_EQ(b.toString(), u"ab");

    b.TheString(u"");
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.ChunkSize(), 4);

    b.Append(u"q");
    b.Clear();
    EXPECT_EQ(snap(b), (Snapshot{u"", 0, 0, 4}));
}

TEST(StringBuilderTest, InsertPlacesTextAndMovesTheRest)
{
    cStringBuilder b;
    b.ChunkSize(4);
    b.Append(u"world");
    b.Insert(0, u"hello ");
    EXPECT_EQ(b.toString(), u"hello world");
    b.Insert(b.Length(), u"!");
    EXPECT_EQ(b.toString(), u"hello world!");
    b.Insert(5, u",");
    EXPECT_EQ(b.toString(), u"hello, world!");
    EXPECT_EQ(b.Capacity(), 16);

    // Longer than one chunk beyond the capacity: as many chunks as needed.
    b.Insert(1, std::u16string(10, u'-'));
    EXPECT_EQ(b.Length(), 23);
    EXPECT_EQ(b.Capacity(), 24);
    EXPECT_EQ(b.toString(), u"h----------ello, world!");
    b.InsertByVal(0, u"");
    EXPECT_EQ(b.Length(), 23);
}

TEST(StringBuilderTest, RemoveCutsAndKeepsCapacity)
{
    cStringBuilder b;
    b.Append(u"abcdef");
    b.Remove(1, 2);
    EXPECT_EQ(b.toString(), u"adef");
    b.Remove(3, 1);
    EXPECT_EQ(b.toString(), u"ade");
    b.Remove(1, 0);
    EXPECT_EQ(b.toString(), u"ade");
    b.Remove(0, b.Length());
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 8192);
    EXPECT_EQ(b.toString(), u"");
}

TEST(StringBuilderTest, BadIndexesRaiseAndChangeNothing)
{
    struct Row {
        const char* what;
        std::function<void(cStringBuilder&)> call;
        int number;
    };
    const Row rows[] = {
        {"insert past end", [](cStringBuilder& b) { b.Insert(b.Length() + 1, u"x"); }, 9},
        {"insert before start", [](cStringBuilder& b) { b.Insert(-1, u"x"); }, 9},
        {"insert far before start", [](cStringBuilder& b) { b.Insert(INT_MIN, u"x"); }, 9},
        {"insert index doubling overflows", [](cStringBuilder& b) { b.Insert(1 << 30, u"x"); }, 6},
        {"remove before start", [](cStringBuilder& b) { b.Remove(-1, 1); }, 9},
        {"remove past end", [](cStringBuilder& b) { b.Remove(b.Length() + 1, 0); }, 9},
        {"remove range past end", [](cStringBuilder& b) { b.Remove(2, b.Length() - 1); }, 9},
        {"remove negative length", [](cStringBuilder& b) { b.Remove(0, -1); }, 9},
        {"remove end overflows", [](cStringBuilder& b) { b.Remove(1, INT_MAX); }, 6},
        {"remove end doubling overflows", [](cStringBuilder& b) { b.Remove(1, 1 << 30); }, 6},
        {"remove index doubling overflows", [](cStringBuilder& b) { b.Remove(1 << 30, 0); }, 6},
        {"chunk too big", [](cStringBuilder& b) { b.ChunkSize(1 << 30); }, 6},
        {"chunk most negative", [](cStringBuilder& b) { b.ChunkSize(INT_MIN); }, 6},
        {"chunk zero", [](cStringBuilder& b) { b.ChunkSize(0); }, 5},
        {"chunk negative", [](cStringBuilder& b) { b.ChunkSize(-5); }, 5},
        {"unknown comparison", [](cStringBuilder& b) { b.Find(u"a", 1, 2); }, 5},
    };
    for (const Row& row : rows) {
        cStringBuilder b;
        b.ChunkSize(4);
        b.Append(u"abcdefg");
        b.Remove(5, 2); // leaves "fg" in the spare capacity
        const Snapshot before = snap(b);
        EXPECT_EQ(errorNumber([&] { row.call(b); }), row.number) << row.what;
        EXPECT_EQ(snap(b), before) << row.what;
        b.Append(u"h");
        EXPECT_EQ(b.toString(), u"abcdeh") << row.what;
    }
}

TEST(StringBuilderTest, ChunkSizeLimits)
{
    cStringBuilder b;
    b.ChunkSize((1 << 30) - 1);
    EXPECT_EQ(b.ChunkSize(), (1 << 30) - 1);
    b.ChunkSize(1);
    EXPECT_EQ(b.ChunkSize(), 1);
}

TEST(StringBuilderTest, FindExactAndCaseInsensitive)
{
    cStringBuilder b;
    b.Append(u"abc");
    EXPECT_EQ(b.Find(u"c"), 3);
    EXPECT_EQ(b.Find(u"B"), 2);
    EXPECT_EQ(b.Find(u"B", 1, 0), 0);
    EXPECT_EQ(b.Find(u"b", 1, 0), 2);
    EXPECT_EQ(b.Find(u"a", 0), 1);
    EXPECT_EQ(b.Find(u"a", -7), 1);
    EXPECT_EQ(b.Find(u"a", 2), 0);
    EXPECT_EQ(b.Find(u"c", 3), 3);
    EXPECT_EQ(b.Find(u"c", 4), 0);
    EXPECT_EQ(b.Find(u"abcd"), 0);
    EXPECT_EQ(b.Find(u""), 0);

    cStringBuilder none;
    EXPECT_EQ(none.Find(u"a"), 0);
}

TEST(StringBuilderTest, FindFoldsCaseBeyondAscii)
{
    struct Row {
        std::u16string text;
        std::u16string needle;
        int32_t start;
        int32_t folded; // compare 1
        int32_t exact;  // compare 0
    };
    const Row rows[] = {
        {u"Grüße aus Köln", u"KÖLN", 1, 11, 0},
        {u"Grüße aus Köln", u"GRÜSSE", 1, 1, 0},
        {u"Straße", u"SS", 1, 5, 0}, // one character of the text, two of the needle
        {u"STRASSE", u"ß", 1, 5, 0}, // and the other way round
        {u"Maße", u"s", 1, 0, 0},    // never half of a folded character
        {u"ßa", u"A", 1, 2, 0},      // positions count characters of the text
        {u"ßa", u"a", 2, 2, 2},
        {u"ΣΊΣΥΦΟΣ", u"σίσυφος", 1, 1, 0}, // final sigma folds like sigma
        {u"ПРИВЕТ мир", u"привет", 1, 1, 0},
        {u"x\U00010400y", u"\U00010428Y", 1, 2, 0}, // outside the BMP
        {u"ﬁle", u"FILE", 1, 1, 0},
        {u"中文ABC中文abc", u"中文abc", 2, 6, 6},
        {u"中文ABC中文abc", u"中文abc", 1, 1, 6},
    };
    for (const Row& row : rows) {
        cStringBuilder b;
        b.Append(row.text);
        EXPECT_EQ(b.Find(row.needle, row.start, 1), row.folded) << std::string(row.needle.begin(), row.needle.end());
        EXPECT_EQ(b.Find(row.needle, row.start, 0), row.exact);
    }
}

// Every occurrence from the first on, each Find starting one past the last; gives up
// once the walk has taken longer than the deadline.
std::vector<int32_t> walk(const cStringBuilder& b, const std::u16string& needle, int32_t compare,
                          std::chrono::seconds deadline = std::chrono::seconds(20))
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    std::vector<int32_t> found;
    for (int32_t at = b.Find(needle, 1, compare); at != 0; at = b.Find(needle, at + 1, compare)) {
        found.push_back(at);
        if (std::chrono::steady_clock::now() > until) {
            ADD_FAILURE() << "walk still running after " << found.size() << " occurrences";
            break;
        }
    }
    return found;
}

TEST(StringBuilderTest, FoldedWalkOverAMillionCharactersEndsQuickly)
{
    // Ten characters a piece: ß (two units when folded), a CJK and a supplementary one.
    const std::u16string piece = u"abcDEßfg文\U00010400";
    cStringBuilder b;
    constexpr int kPieces = 100000;
    for (int i = 0; i < kPieces; ++i)
        b.Append(piece);
    std::vector<int32_t> expected;
    for (int i = 0; i < kPieces; ++i)
        expected.push_back(i * static_cast<int32_t>(piece.size()) + 6);
    EXPECT_EQ(walk(b, u"SS", 1, std::chrono::seconds(10)), expected);
    for (int32_t& at : expected)
        at -= 2;
    EXPECT_EQ(walk(b, u"deSSFG文\U00010428", 1, std::chrono::seconds(10)), expected);
    EXPECT_EQ(walk(b, u"DEß", 0), expected);
}

TEST(StringBuilderTest, FoldedFindAcrossTheFoldingSteps)
{
    // Occurrences at random distances in plain text, some far apart, so they fall on
    // every kind of place relative to how far ahead the text has been folded.
    std::mt19937 random(13);
    std::u16string text;
    std::vector<int32_t> expected;
    while (text.size() < 400000) {
        const std::size_t gap = random() % 4 == 0 ? random() % 20000 : random() % 600;
        text.append(gap, u'x');
        expected.push_back(static_cast<int32_t>(text.size()) + 1);
        text += random() % 2 == 0 ? u"ß" : u"SS";
    }
    cStringBuilder b;
    b.Append(text);
    EXPECT_EQ(walk(b, u"ss", 1), expected);
    for (int32_t& at : expected)
        --at;
    EXPECT_EQ(walk(b, u"Xß", 1), expected);
}

TEST(StringBuilderTest, FindNeverLooksIntoSpareCapacity)
{
    cStringBuilder b;
    b.Append(u"hello world");
    b.Remove(5, 6);
    EXPECT_EQ(b.toString(), u"hello");
    EXPECT_EQ(b.Find(u"world"), 0);
    EXPECT_EQ(b.Find(u"world", 1, 0), 0);
    EXPECT_EQ(b.Find(u"o w"), 0);
    EXPECT_EQ(b.Find(u" "), 0); // the blanks of growth
    EXPECT_EQ(b.Find(u" ", 1, 0), 0);
    EXPECT_EQ(b.Find(u"lo"), 4);

    b.TheString(u"hello world");
    b.TheString(u"hi");
    EXPECT_EQ(b.Find(u"world"), 0);
    EXPECT_EQ(b.Find(u"hi"), 1);
}

TEST(StringBuilderTest, HeapMinimizeTrimsToOneChunk)
{
    cStringBuilder b;
    b.HeapMinimize();
    EXPECT_EQ(b.Capacity(), 0);

    b.Append(std::u16string(3 * 8192, u'a'));
    b.Remove(0, b.Length());
    EXPECT_EQ(b.Capacity(), 3 * 8192);
    b.HeapMinimize();
    EXPECT_EQ(b.Capacity(), 8192);
    EXPECT_EQ(b.Length(), 0);
    b.HeapMinimize();
    EXPECT_EQ(b.Capacity(), 8192);

    cStringBuilder c;
    c.ChunkSize(4);
    c.TheString(std::u16string(20, u'z'));
    c.TheString(u"ab");
    EXPECT_EQ(c.Capacity(), 20);
    c.HeapMinimize();
    EXPECT_EQ(c.Capacity(), 4);
    EXPECT_EQ(c.toString(), u"ab");
    c.Append(u"cdefg");
    EXPECT_EQ(c.toString(), u"abcdefg");
    EXPECT_EQ(c.Capacity(), 8);

    // Spare of exactly one chunk stays.
    cStringBuilder d;
    d.ChunkSize(4);
    d.Append(u"abcdefgh");
    d.Remove(4, 4);
    d.HeapMinimize();
    EXPECT_EQ(d.Capacity(), 8);
}

// Random operations checked against a plain string, with the capacity rule.
TEST(StringBuilderTest, RandomOperationsMatchAPlainString)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        cStringBuilder b;
        const int32_t chunk = 1 + static_cast<int32_t>(random() % 17);
        b.ChunkSize(chunk);
        std::u16string model;
        int32_t capacity = 0;
        for (int step = 0; step < 400; ++step) {
            std::u16string piece;
            const int len = static_cast<int>(random() % 12);
            for (int i = 0; i < len; ++i)
                piece.push_back(static_cast<char16_t>(u'a' + random() % 26));
            const auto grow = [&](std::size_t needed) {
                while (static_cast<std::size_t>(capacity) < needed)
                    capacity += chunk;
            };
            switch (random() % 5) {
            case 0:
                b.Append(piece);
                model += piece;
                grow(model.size());
                break;
            case 1: {
                const auto at = static_cast<int32_t>(random() % (model.size() + 1));
                b.Insert(at, piece);
                model.insert(static_cast<std::size_t>(at), piece);
                grow(model.size());
                break;
            }
            case 2: {
                const auto at = static_cast<int32_t>(random() % (model.size() + 1));
                const auto n = static_cast<int32_t>(random() % (model.size() - at + 1));
                b.Remove(at, n);
                model.erase(static_cast<std::size_t>(at), static_cast<std::size_t>(n));
                break;
            }
            case 3: {
                const auto from = static_cast<int32_t>(random() % (model.size() + 2));
                const std::size_t expected = piece.empty() ? std::u16string::npos
                                                           : model.find(piece, from < 1 ? 0 : from - 1);
                EXPECT_EQ(b.Find(piece, from, 0),
                          expected == std::u16string::npos ? 0 : static_cast<int32_t>(expected) + 1);
                break;
            }
            default:
                b.HeapMinimize();
                if (capacity - static_cast<int32_t>(model.size()) > chunk)
                    while (capacity - static_cast<int32_t>(model.size()) > chunk)
                        capacity -= chunk;
                break;
            }
            ASSERT_EQ(b.toString(), model);
            ASSERT_EQ(b.Capacity(), capacity);
        }
    }
}

} // namespace
} // namespace talvo
