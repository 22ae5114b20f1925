// The page command bridge of the main window on hostile document titles.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "main/logic/CommandBridge.h"
#include "main/logic/Text.h"

namespace {

using namespace talvo::mainlogic;

struct RecordingActions : BridgeActions {
    bool answer = false;
    bool answerLater = false; // as the window does: from the event loop, after the call
    std::function<void(bool ok)> pending;
    int confirmations = 0, unloads = 0, chatNotices = 0;
    std::vector<std::u16string> titles;
    bool actedAfterUnload = false;

    void confirmExit(std::function<void(bool ok)> answered) override
    {
        actedAfterUnload |= unloads > 0;
        ++confirmations;
        if (answerLater)
            pending = std::move(answered);
        else
            answered(answer);
    }
    void unload() override
    {
        actedAfterUnload |= unloads > 0;
        ++unloads;
    }
    void setDocumentTitle(std::u16string_view title) override
    {
        actedAfterUnload |= unloads > 0;
        titles.emplace_back(title);
    }
    void chatFlagSet() override { ++chatNotices; }
};

char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

// "VB:" cut out in one left-to-right pass over the upper-cased title.
std::u16string expectedCommand(const std::u16string& upper)
{
    std::u16string out;
    for (std::size_t i = 0; i < upper.size();) {
        if (upper.compare(i, 3, u"VB:") == 0) {
            i += 3;
        } else {
            out.push_back(upper[i]);
            ++i;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    RecordingActions actions;
    actions.answer = input.ConsumeBool();
    actions.answerLater = input.ConsumeBool();
    const bool chatBefore = input.ConsumeBool();
    const std::u16string title = talvo::fuzz::textFromBytes(input.ConsumeRemainingBytesAsString());

    // Upper-casing keeps the length and maps ASCII the plain way.
    const std::u16string upper = upperCase(title);
    FUZZ_CHECK(upper.size() == title.size());
    for (std::size_t i = 0; i < title.size(); ++i)
        if (title[i] < 0x80)
            FUZZ_CHECK(upper[i] == asciiUpper(title[i]));

    bool isChat = chatBefore;
    BridgeOutcome outcome = onTitleChange(title, isChat, actions);
    if (actions.pending) {
        // Nothing of the command has run while the question is open.
        FUZZ_CHECK(outcome == BridgeOutcome::Asked);
        FUZZ_CHECK(actions.unloads == 0 && actions.titles.empty() && isChat == chatBefore);
        actions.pending(actions.answer);
        outcome = actions.answer ? BridgeOutcome::Ended : BridgeOutcome::Handled;
    } else {
        FUZZ_CHECK(outcome != BridgeOutcome::Asked);
    }

    // Only "VB:" in the first three characters, in any letter case, makes a command.
    const bool command = title.size() >= 3 && asciiUpper(title[0]) == u'V' && asciiUpper(title[1]) == u'B'
        && title[2] == u':';
    FUZZ_CHECK(isPageCommand(title) == command);
    if (!command) {
        FUZZ_CHECK(outcome == BridgeOutcome::Ignored);
        FUZZ_CHECK(isChat == chatBefore);
        FUZZ_CHECK(actions.confirmations == 0 && actions.unloads == 0 && actions.titles.empty());
        return 0;
    }

    const std::u16string word = expectedCommand(upper);
    FUZZ_CHECK(pageCommand(title) == word);
    FUZZ_CHECK(actions.confirmations == (word == u"EXIT" ? 1 : 0));
    const bool ends = word == u"EXITOK" || (word == u"EXIT" && actions.answer);
    FUZZ_CHECK(!actions.actedAfterUnload);
    if (ends) {
        FUZZ_CHECK(outcome == BridgeOutcome::Ended);
        FUZZ_CHECK(actions.unloads == 1);
        FUZZ_CHECK(actions.titles.empty());
        FUZZ_CHECK(isChat == chatBefore);
        return 0;
    }
    FUZZ_CHECK(outcome == BridgeOutcome::Handled);
    FUZZ_CHECK(actions.unloads == 0);
    FUZZ_CHECK(actions.titles.size() == (word == u"LOGINOK" ? 2u : 1u));
    for (const auto& written : actions.titles)
        FUZZ_CHECK(written == kProductTitle);
    const bool chat = word.find(u"CHAT") != std::u16string::npos && word.find(u'|') != std::u16string::npos;
    FUZZ_CHECK(isChat == (chatBefore || chat));
    FUZZ_CHECK(actions.chatNotices == (!chatBefore && chat ? 1 : 0));
    return 0;
}
