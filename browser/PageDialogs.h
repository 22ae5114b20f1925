#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace talvo::browser {

// The page's own alert, confirm and prompt, as the program's modal message boxes: caption
// "来自网页的消息", Chinese buttons, the page's text shown as plain text exactly as it is.
namespace pagedialogs {

inline const QString kCaption = QString::fromUtf16(u"来自网页的消息");

void alert(QWidget* parent, const QString& text);

// True for OK; Cancel, Escape and closing the box are false.
bool confirm(QWidget* parent, const QString& text);

// The text entered, or nothing when the user cancelled.
std::optional<QString> prompt(QWidget* parent, const QString& text, const QString& defaultValue);

} // namespace pagedialogs
} // namespace talvo::browser
