// Saving over files that other names and programs hold on to, on real files.
#include "support/TextStream.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/FileSave.h"
#include "platform/RuntimeError.h"
#include "platform/Utf.h"
#include "tests/common/FileBytes.h"
#include "tests/common/FileLinks.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/SystemWords.h"
#include "tests/support/TextStreamSave.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testfiles::identityOf;
using testfiles::isSymlink;
using testfiles::readBytes;
using testfiles::writeBytes;
using textstreamsave::failure;
using textstreamsave::save;
using textstreamsave::strays;

using TextStreamSaveTest = testfiles::ScratchTest;

TEST_F(TextStreamSaveTest, EveryHardLinkShowsTheNewText)
{
    const fs::path file = folder / "a.txt";
    const fs::path other = folder / "b.txt";
    writeBytes(file, "old text that is longer");
    fs::create_hard_link(file, other);
    const testfiles::FileIdentity before = identityOf(file);
    EXPECT_EQ(before.names, 2u);

    save(file, u"new 文本");
    EXPECT_EQ(readBytes(file), "new \xE6\x96\x87\xE6\x9C\xAC");
    EXPECT_EQ(readBytes(other), readBytes(file));
    EXPECT_EQ(identityOf(file), before);
    EXPECT_EQ(identityOf(other), before);

    // Longer than before, through the other name.
    save(other, u"a much longer text than any of the ones before it");
    EXPECT_EQ(readBytes(file), "a much longer text than any of the ones before it");
    EXPECT_EQ(strays(folder, {"a.txt", "b.txt"}), std::vector<std::string>{});
}

TEST_F(TextStreamSaveTest, LinksAreWrittenThroughAndStayLinks)
{
    fs::create_directories(folder / "sub");
    const fs::path file = folder / "sub" / "real.txt";
    writeBytes(file, "old");
    // A chain of relative links: near -> far -> sub/real.txt.
    TALVO_SYMLINK_OR_SKIP(fs::path("sub") / "real.txt", folder / "far");
    TALVO_SYMLINK_OR_SKIP("far", folder / "near");
    save(folder / "near", u"through two links");
    EXPECT_TRUE(isSymlink(folder / "near"));
    EXPECT_TRUE(isSymlink(folder / "far"));
    EXPECT_EQ(readBytes(file), "through two links");

    // A link to a file that does not exist yet creates that file.
    TALVO_SYMLINK_OR_SKIP(fs::path("sub") / "later.txt", folder / "pending");
    save(folder / "pending", u"created");
    EXPECT_TRUE(isSymlink(folder / "pending"));
    EXPECT_EQ(readBytes(folder / "sub" / "later.txt"), "created");

    // A link into a missing folder fails as that folder would, and stays.
    TALVO_SYMLINK_OR_SKIP(fs::path("gone") / "x.txt", folder / "broken");
    EXPECT_TRUE(testfiles::describesSystemError(platform::fromUtf8(failure(folder / "broken", u"x")),
                                                RuntimeError::kPathNotFound, testfiles::kNoSuchFolder));
    EXPECT_TRUE(isSymlink(folder / "broken"));

    // A link loop is an error, not a hang.
    TALVO_SYMLINK_OR_SKIP("loop2", folder / "loop1");
    TALVO_SYMLINK_OR_SKIP("loop1", folder / "loop2");
    EXPECT_NE(failure(folder / "loop1", u"x"), "saved");
    EXPECT_TRUE(isSymlink(folder / "loop1"));

    EXPECT_EQ(strays(folder, {"sub", "far", "near", "pending", "broken", "loop1", "loop2"}),
              std::vector<std::string>{});
    EXPECT_EQ(strays(folder / "sub", {"real.txt", "later.txt"}), std::vector<std::string>{});
}

TEST(SaveWayTest, RouteFollowsWhatTheFileNeeds)
{
    const testfiles::ScratchFolder scratch;
    const fs::path folder = scratch.path();
    const fs::path file = folder / "f.txt";
    using platform::SaveWay;
    EXPECT_EQ(platform::saveWholeFile(file, "one", true), SaveWay::Created);
    EXPECT_EQ(platform::saveWholeFile(file, "two", true), SaveWay::Replaced);
    fs::create_hard_link(file, folder / "g.txt");
    EXPECT_EQ(platform::saveWholeFile(file, "three", true), SaveWay::OverwrittenInPlace);
    fs::remove(folder / "g.txt");
    EXPECT_EQ(platform::saveWholeFile(file, "four", true), SaveWay::Replaced);
    EXPECT_EQ(readBytes(file), "four");
    try {
        platform::saveWholeFile(file, "five", false);
        ADD_FAILURE() << "an existing file was replaced";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 58);
    }
    EXPECT_EQ(readBytes(file), "four");
    EXPECT_EQ(strays(folder, {"f.txt"}), std::vector<std::string>{});
}

} // namespace
} // namespace talvo
