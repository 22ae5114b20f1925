#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "main/logic/CommandBridge.h"
#include "main/logic/Text.h"
#include "platform/Utf.h"

using namespace talvo::mainlogic;

namespace {

// Records every action in order; answers the exit confirmation from a script.
class FakeWindow : public BridgeActions {
public:
    std::vector<bool> answers; // one per confirmation, in order
    std::vector<std::u16string> log;
    int confirmations = 0;
    int unloads = 0;
    bool later = false; // answers only when pending() is called, as a box does
    std::function<void()> pending;

    void confirmExit(std::function<void(bool ok)> answered) override
    {
        log.push_back(u"confirm");
        const bool ok = confirmations < static_cast<int>(answers.size()) && answers[confirmations];
        ++confirmations;
        if (later)
            pending = [answered, ok] { answered(ok); };
        else
            answered(ok);
    }
    void unload() override
    {
        log.push_back(u"unload");
        ++unloads;
    }
    void setDocumentTitle(std::u16string_view title) override { log.push_back(u"title=" + std::u16string(title)); }
    void commandReceived(std::u16string_view command) override { log.push_back(u"command=" + std::u16string(command)); }
    void chatFlagSet() override { log.push_back(u"chat"); }
};

struct TitleCase {
    const char16_t* title;
    bool asks;
};

} // namespace

TEST(CommandBridge, WhichTitlesAskToExit)
{
    const TitleCase cases[] = {
        {u"VB:EXIT", true},    {u"vb:exit", true},   {u"Vb:ExIt", true},   {u"VB:VB:EXIT", true},
        {u"VB:EXITVB:", true}, {u"VB: EXIT", false}, {u"XVB:EXIT", false}, {u"VB:EXIT ", false},
        {u"EXIT", false},      {u"VB", false},       {u"", false},         {u"VB:EXIT OK", false},
    };
    for (const auto& c : cases) {
        FakeWindow window; // Cancel every time
        bool isChat = false;
        onTitleChange(c.title, isChat, window);
        EXPECT_EQ(window.confirmations, c.asks ? 1 : 0) << talvo::platform::toUtf8(c.title);
        EXPECT_EQ(window.unloads, 0);
    }
}

TEST(CommandBridge, OkOnExitEndsWithNothingAfter)
{
    FakeWindow window;
    window.answers = {true};
    bool isChat = false;
    // Carries CHAT and "|" as well, but the program has ended before the chat check.
    EXPECT_EQ(onTitleChange(u"VB:EXIT", isChat, window), BridgeOutcome::Ended);
    EXPECT_EQ(window.log, (std::vector<std::u16string>{u"command=EXIT", u"confirm", u"unload"}));
}

TEST(CommandBridge, ExitOkEndsWithoutAsking)
{
    for (const char16_t* title : {u"VB:EXITOK", u"vb:exitok", u"VB:EXITVB:OK"}) {
        FakeWindow window;
        bool isChat = false;
        EXPECT_EQ(onTitleChange(title, isChat, window), BridgeOutcome::Ended);
        EXPECT_EQ(window.log, (std::vector<std::u16string>{u"command=EXITOK", u"unload"}));
        EXPECT_FALSE(isChat);
    }
}

TEST(CommandBridge, CancelOnlyResetsTheTitle)
{
    FakeWindow window;
    window.answers = {false};
    bool isChat = false;
    EXPECT_EQ(onTitleChange(u"VB:EXIT", isChat, window), BridgeOutcome::Handled);
    EXPECT_EQ(window.log, (std::vector<std::u16string>{u"command=EXIT", u"confirm", u"title=Zentarro"}));
    EXPECT_FALSE(isChat);
}

TEST(CommandBridge, AnAnswerThatComesLaterFinishesTheCommandThen)
{
    for (const bool ok : {false, true}) {
        FakeWindow window;
        window.later = true;
        window.answers = {ok};
        bool isChat = false;
        EXPECT_EQ(onTitleChange(u"VB:EXIT", isChat, window), BridgeOutcome::Asked);
        EXPECT_EQ(window.log, (std::vector<std::u16string>{u"command=EXIT", u"confirm"}))
            << "nothing before the answer";
        ASSERT_TRUE(window.pending);
        window.pending();
        if (ok)
            EXPECT_EQ(window.log, (std::vector<std::u16string>{u"command=EXIT", u"confirm", u"unload"}));
        else
            EXPECT_EQ(window.log, (std::vector<std::u16string>{u"command=EXIT", u"confirm", u"title=Zentarro"}));
        EXPECT_FALSE(isChat);
    }
}

TEST(CommandBridge, TwoExitsInARowAskTwice)
{
    FakeWindow window;
    window.answers = {false, true};
    bool isChat = false;
    EXPECT_EQ(onTitleChange(u"VB:EXIT", isChat, window), BridgeOutcome::Handled);
    // The reset title comes back as a change of its own and is no command.
    EXPECT_EQ(onTitleChange(u"Zentarro", isChat, window), BridgeOutcome::Ignored);
    EXPECT_EQ(onTitleChange(u"VB:EXIT", isChat, window), BridgeOutcome::Ended);
    EXPECT_EQ(window.confirmations, 2);
    EXPECT_EQ(window.unloads, 1);
}

TEST(CommandBridge, LoginOkSetsTheTitleTwice)
{
    FakeWindow window;
    bool isChat = false;
    EXPECT_EQ(onTitleChange(u"VB:LoginOk", isChat, window), BridgeOutcome::Handled);
    EXPECT_EQ(window.log, (std::vector<std::u16string>{u"command=LOGINOK", u"title=Zentarro", u"title=Zentarro"}));
}

TEST(CommandBridge, ChatFlag)
{
    const TitleCase cases[] = {
        {u"VB:CHAT|42", true},   {u"VB:CHAT", false},    {u"VB:MYCHAT|X", true}, {u"vb:chat|", true},
        {u"VB:|CHAT", true},     {u"VB:CH AT|1", false}, {u"CHAT|42", false},    {u"VB:EXIT|CHAT", true},
        {u"VB:IMPPHONE", false}, {u"VB:CHAT¦42", false},
    };
    for (const auto& c : cases) {
        FakeWindow window; // a confirmation, if any, is cancelled
        bool isChat = false;
        onTitleChange(c.title, isChat, window);
        EXPECT_EQ(isChat, c.asks) << talvo::platform::toUtf8(c.title);
        const auto chats = std::count(window.log.begin(), window.log.end(), u"chat");
        EXPECT_EQ(chats, c.asks ? 1 : 0);
    }
}

TEST(CommandBridge, ChatFlagIsSetOnceAndStays)
{
    FakeWindow window;
    bool isChat = false;
    onTitleChange(u"VB:CHAT|1", isChat, window);
    onTitleChange(u"VB:CHAT|2", isChat, window);
    onTitleChange(u"VB:LOGINOK", isChat, window);
    EXPECT_TRUE(isChat);
    EXPECT_EQ(std::count(window.log.begin(), window.log.end(), u"chat"), 1);
}

TEST(CommandBridge, EveryCommandTitleIsResetOthersAreLeftAlone)
{
    const TitleCase cases[] = {
        // title, reset expected
        {u"VB:", true},      {u"VB:NOSUCHTHING", true}, {u"VB:IMPPHONE", true}, {u"vb:anything at all", true},
        {u"Welcome", false}, {u"Zentarro", false},      {u"V B:EXIT", false},   {u" VB:EXIT", false},
    };
    for (const auto& c : cases) {
        FakeWindow window;
        bool isChat = false;
        const BridgeOutcome outcome = onTitleChange(c.title, isChat, window);
        EXPECT_EQ(outcome, c.asks ? BridgeOutcome::Handled : BridgeOutcome::Ignored);
        if (c.asks)
            EXPECT_EQ(window.log.back(), u"title=Zentarro");
        else
            EXPECT_TRUE(window.log.empty());
    }
}

TEST(CommandBridge, CommandIsUpperCasedWithEveryPrefixRemoved)
{
    EXPECT_EQ(pageCommand(u"vb:chat|abc"), u"CHAT|ABC");
    EXPECT_EQ(pageCommand(u"VB: EXIT "), u" EXIT ");
    EXPECT_EQ(pageCommand(u"VB:aVB:bvb:c"), u"ABC");
    // One pass, as a plain replace does: what the removal joins is not removed again.
    EXPECT_EQ(pageCommand(u"VB:VVB:B:EXIT"), u"VB:EXIT");
    EXPECT_EQ(pageCommand(u"vb:ä联系ß"), u"Ä联系ß");
}

TEST(UpperCase, KeepsLengthCharacterByCharacter)
{
    struct {
        const char16_t* in;
        const char16_t* out;
    } cases[] = {
        {u"", u""},
        {u"abc xyz 09|:", u"ABC XYZ 09|:"},
        {u"ß", u"ß"}, // full mapping would give "SS"
        {u"ǆ", u"Ǆ"},
        {u"ﬀ", u"ﬀ"}, // a ligature has no one-character upper case
        {u"联系人qq", u"联系人QQ"},
        {u"\U00010428", u"\U00010400"}, // outside the BMP, still two units
        {u"a\xD800z", u"A\xD800Z"},     // unpaired surrogate passes through
        {u"\xDC00q", u"\xDC00Q"},
    };
    for (const auto& c : cases) {
        const std::u16string out = upperCase(c.in);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(out.size(), std::u16string_view(c.in).size());
    }
}

TEST(ReplaceAll, ReplacesEveryOccurrenceOnce)
{
    EXPECT_EQ(replaceAll(u"aXbXc", u"X", u"--"), u"a--b--c");
    EXPECT_EQ(replaceAll(u"XXX", u"XX", u"Y"), u"YX");
    EXPECT_EQ(replaceAll(u"TELTEL", u"TEL", u"TEL2"), u"TEL2TEL2"); // no rescan of the new text
    EXPECT_EQ(replaceAll(u"abc", u"", u"z"), u"abc");
    EXPECT_EQ(replaceAll(u"", u"a", u"b"), u"");
}
