#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QMessageBox;
class QWidget;

// The program's two kinds of message box, as the target desktops show them
// (Chinese button texts, no title-bar help). Both open and return at once; the answer
// comes back through a callback from the event loop. A box belongs to its parent and goes
// with it; its callback then never runs.
namespace talvo::platform {

// Information icon, one OK button; closed runs when the user has closed it.
void showInformation(QWidget* parent, const QString& caption, const QString& text, std::function<void()> closed = {});

// No icon, OK and Cancel with OK the default. answered gets true only when OK was
// chosen; closing the box or Escape counts as Cancel.
void askOkCancel(QWidget* parent, const QString& caption, const QString& text, std::function<void(bool ok)> answered);

// What a box showed, for whoever watches the boxes (tests).
struct BoxSeen {
    QString caption;
    QString text;
    QStringList buttons;
    QString defaultButton;
    bool informationIcon = false;
};

// Seams for tests: the next box to open is answered by pressing the button with this
// text, from the event loop once the box is open (answers queue up, one per box; a text
// no button has leaves that box open). watch, if set, is told of every box as it opens.
void answerNextBox(const QString& buttonText);
void watchBoxes(std::function<void(const BoxSeen& box)> watch);
// Drops answers not used yet and the watcher.
void resetBoxSeams();
// Puts a box opened elsewhere (the page's own dialogs) through the same seams; call it
// once the box is set up, just before it shows.
void offerToBoxSeams(QMessageBox* box);

} // namespace talvo::platform
