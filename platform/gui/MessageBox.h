#pragma once

#include <QString>

class QWidget;

// The program's two kinds of message box, as the target desktops show them
// (Chinese button texts, no title-bar help).
namespace talvo::platform {

// Information icon, one OK button; returns when the user closes it.
void showInformation(QWidget* parent, const QString& caption, const QString& text);

// No icon, OK and Cancel with OK the default. True only when OK was chosen; closing the
// box or Escape counts as Cancel.
bool askOkCancel(QWidget* parent, const QString& caption, const QString& text);

} // namespace talvo::platform
