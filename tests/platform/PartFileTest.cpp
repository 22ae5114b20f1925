#include "platform/PartFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "../common/ScratchFolder.h"

namespace talvo::platform {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PartFile, ANewNameEveryTimeAndNothingThatWasThereIsTouched)
{
    testfiles::ScratchFolder folder;
    const fs::path target = folder.path() / "list.csv";
    // What an earlier run or someone else left beside the target.
    write(fs::path(target) += ".part", "old part");
    write(target, "old file");

    std::set<fs::path> made;
    for (int i = 0; i < 50; ++i) {
        const fs::path part = createPartFile(target);
        ASSERT_FALSE(part.empty());
        EXPECT_EQ(part.parent_path(), target.parent_path());
        const std::string name = part.filename().string();
        EXPECT_TRUE(name.starts_with("list.csv.") && name.ends_with(".part")) << name;
        EXPECT_EQ(name.size(), std::string("list.csv.XXXXXX.part").size()) << name;
        EXPECT_TRUE(fs::is_regular_file(part));
        EXPECT_EQ(fs::file_size(part), 0u);
        EXPECT_TRUE(made.insert(part).second) << "a name handed out twice: " << name;
    }
    EXPECT_EQ(read(fs::path(target) += ".part"), "old part");
    EXPECT_EQ(read(target), "old file");

    EXPECT_TRUE(createPartFile(folder.path() / "missing" / "x.csv").empty()) << "no folder, no file";
}

TEST(PartFile, ReplacingPutsTheNewFileInPlaceInOneStep)
{
    testfiles::ScratchFolder folder;
    const fs::path target = folder.path() / "report.csv";
    const fs::path part = createPartFile(target);
    ASSERT_FALSE(part.empty());
    write(part, "new bytes");

    // Nothing there yet: a plain rename.
    ASSERT_TRUE(replaceFile(part, target));
    EXPECT_EQ(read(target), "new bytes");
    EXPECT_FALSE(fs::exists(part));

    // An existing file is replaced.
    const fs::path next = createPartFile(target);
    write(next, "newer");
    ASSERT_TRUE(replaceFile(next, target));
    EXPECT_EQ(read(target), "newer");
    EXPECT_FALSE(fs::exists(next));

    // A failed replace loses neither file.
    const fs::path blocked = folder.path() / "folder.csv";
    fs::create_directory(blocked);
    write(blocked / "inside", "kept");
    const fs::path third = createPartFile(blocked);
    write(third, "data");
    EXPECT_FALSE(replaceFile(third, blocked));
    EXPECT_EQ(read(third), "data");
    EXPECT_EQ(read(blocked / "inside"), "kept");
}

} // namespace
} // namespace talvo::platform
