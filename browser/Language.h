#pragma once

class QCoreApplication;

namespace talvo::browser {

// Simplified Chinese for everything that is not the program's own text: Qt's standard
// buttons and file dialogs, the browser's context menu and its own pages, whatever the
// desktop's locale. Call once, after the application object is made and before the first
// browser page.
void useChineseEverywhere(QCoreApplication& app);

} // namespace talvo::browser
