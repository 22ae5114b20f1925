#include <gtest/gtest.h>

#include "login/logic/Edition.h"

namespace talvo::loginlogic {
namespace {

struct NameCase {
    std::u16string name;
    const char16_t* caption; // nullptr: no edition
};

class EditionFromName : public testing::TestWithParam<NameCase> { };

TEST_P(EditionFromName, PicksTheFirstKeyInTableOrder)
{
    const NameCase& c = GetParam();
    const Edition* edition = editionForStartName(c.name);
    if (!c.caption) {
        EXPECT_EQ(edition, nullptr);
        return;
    }
    ASSERT_NE(edition, nullptr);
    EXPECT_EQ(edition->caption, std::u16string_view(c.caption));
}

INSTANTIATE_TEST_SUITE_P(StartNames, EditionFromName,
                         testing::Values(NameCase{u"Talvo_QV", u"Alderan"}, // lower-cased first
                                         NameCase{u"talvo-qv", u"Alderan"},
                                         NameCase{u"mesk-and-qv", u"Alderan"},      // "qv" is tested before "mesk"
                                         NameCase{u"TALVO-MESK-NORVEL", u"Birsel"}, // "norvel" before "mesk"
                                         NameCase{u"talvo-norvel", u"Birsel"}, NameCase{u"Talvo-Mesk", u"Cedrow"},
                                         NameCase{u"客户qv版", u"Alderan"}, NameCase{u"ÄMESK", u"Cedrow"},
                                         NameCase{u"talvo", nullptr}, NameCase{u"q-v", nullptr},
                                         NameCase{u"nor vel", nullptr}, NameCase{u"", nullptr}));

TEST(EditionTable, CheckBoxesMapToMemberAndCode)
{
    struct Row {
        int index;
        const char16_t* caption;
        const char16_t* member;
        const char16_t* code;
    };
    const Row rows[] = {
        {0, u"Cedrow", u"test", u"0"},
        {1, u"Birsel", u"test", u"9"},
        {2, u"Alderan", u"qv1", u"1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        const Edition* edition = editionForCheckBox(row.index);
        ASSERT_NE(edition, nullptr);
        EXPECT_EQ(edition->caption, std::u16string_view(row.caption));
        EXPECT_EQ(edition->member, std::u16string_view(row.member));
        EXPECT_EQ(edition->code, std::u16string_view(row.code));
    }
    EXPECT_EQ(editionForCheckBox(3), nullptr);
    EXPECT_EQ(editionForCheckBox(-1), nullptr);
}

TEST(EditionTable, NameKeysAndCheckBoxesAgree)
{
    // The same edition must come out whichever way it was chosen.
    for (const Edition& edition : editionTable()) {
        EXPECT_EQ(editionForStartName(u"x" + std::u16string(edition.nameKey)), &edition);
        EXPECT_EQ(editionForCheckBox(edition.checkBoxIndex), &edition);
    }
}

} // namespace
} // namespace talvo::loginlogic
