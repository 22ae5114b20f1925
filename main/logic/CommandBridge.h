#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace talvo::mainlogic {

// The text the bridge writes into the document title after every command, so that the
// next command is again a change of title.
inline constexpr std::u16string_view kProductTitle = u"Zentarro";

// What the bridge asks of the window. The window implements it with real dialogs and
// the browser; tests use a fake.
class BridgeActions {
public:
    virtual ~BridgeActions() = default;
    // The exit confirmation: answered gets true only when the user chose OK. It may run
    // at once or later, from the event loop; it runs at most once.
    virtual void confirmExit(std::function<void(bool ok)> answered) = 0;
    // Closes every window and ends the program.
    virtual void unload() = 0;
    virtual void setDocumentTitle(std::u16string_view title) = 0;
    // Notices for the window's diagnostics; nothing depends on them.
    virtual void commandReceived(std::u16string_view /*command*/) { }
    virtual void chatFlagSet() { }
};

enum class BridgeOutcome {
    Ignored, // not a command: the title was left alone
    Handled, // a command ran and the title was reset
    Ended,   // the command ended the program; nothing ran after it
    Asked,   // the command waits for the user's answer; the rest follows it
};

// True when the first three characters of title, upper-cased, are "VB:".
bool isPageCommand(std::u16string_view title);

// The command carried by a title: upper-cased, every "VB:" removed wherever it stands,
// nothing trimmed.
std::u16string pageCommand(std::u16string_view title);

// Handles one change of the document title. isChat is the window's chat flag; it only
// ever goes from false to true here. An answer that comes later finishes the command with
// isChat and actions, which must still be there then.
BridgeOutcome onTitleChange(std::u16string_view title, bool& isChat, BridgeActions& actions);

} // namespace talvo::mainlogic
