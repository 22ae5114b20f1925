#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace talvo::browser {

// The page's own alert, confirm and prompt, as the program's modal message boxes: caption
// "来自网页的消息", Chinese buttons, the page's text shown as plain text exactly as it is.
// The page waits for the answer, so these are the one place a box runs its own event loop;
// the box belongs to its window, and when the window goes first the answer is "cancel".
//
// stop: when not null, the box offers "禁止此网页再显示对话框", and *stop tells whether the
// user took it.
namespace pagedialogs {

inline const QString kCaption = QString::fromUtf16(u"来自网页的消息");
inline const QString kStopDialogs = QString::fromUtf16(u"禁止此网页再显示对话框");

void alert(QWidget* parent, const QString& text, bool* stop = nullptr);

// True for OK; Cancel, Escape and closing the box are false.
bool confirm(QWidget* parent, const QString& text, bool* stop = nullptr);

// The text entered, or nothing when the user cancelled.
std::optional<QString> prompt(QWidget* parent, const QString& text, const QString& defaultValue, bool* stop = nullptr);

} // namespace pagedialogs
} // namespace talvo::browser
