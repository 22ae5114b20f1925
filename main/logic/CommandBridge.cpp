#include "CommandBridge.h"

#include "Text.h"

#include <memory>
#include <optional>

namespace talvo::mainlogic {

namespace {

constexpr std::u16string_view kPrefix = u"VB:";

// What every command that does not end the program does last.
BridgeOutcome finish(const std::u16string& command, bool& isChat, BridgeActions& actions)
{
    if (!isChat && command.find(u"CHAT") != std::u16string::npos && command.find(u'|') != std::u16string::npos) {
        isChat = true;
        actions.chatFlagSet();
    }
    actions.setDocumentTitle(kProductTitle);
    return BridgeOutcome::Handled;
}

} // namespace

bool isPageCommand(std::u16string_view title)
{
    return title.size() >= kPrefix.size() && upperCase(title.substr(0, kPrefix.size())) == kPrefix;
}

std::u16string pageCommand(std::u16string_view title) { return replaceAll(upperCase(title), kPrefix, u""); }

BridgeOutcome onTitleChange(std::u16string_view title, bool& isChat, BridgeActions& actions)
{
    if (!isPageCommand(title))
        return BridgeOutcome::Ignored;

    const std::u16string command = pageCommand(title);
    actions.commandReceived(command);

    if (command == u"IMPPHONE") {
        // Known to the pages, nothing for us to do.
    } else if (command == u"EXIT") {
        // Filled in by the answer, if it comes before confirmExit returns.
        auto outcome = std::make_shared<std::optional<BridgeOutcome>>();
        actions.confirmExit([outcome, command, &isChat, &actions](bool ok) {
            if (ok) {
                actions.unload();
                *outcome = BridgeOutcome::Ended;
            } else {
                *outcome = finish(command, isChat, actions);
            }
        });
        return outcome->value_or(BridgeOutcome::Asked);
    } else if (command == u"LOGINOK") {
        actions.setDocumentTitle(kProductTitle);
    } else if (command == u"EXITOK") {
        actions.unload();
        return BridgeOutcome::Ended;
    }

    return finish(command, isChat, actions);
}

} // namespace talvo::mainlogic
