#include "browser/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

void useChineseEverywhere(QCoreApplication& app)
{
    // The engine takes its interface language (its error pages, the Accept-Language it
    // sends) from the default locale when it starts.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China));

    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QString::fromLatin1(name), folder)) {
            QCoreApplication::installTranslator(translator);
        } else {
            qCWarning(lcWindows).noquote() << "translation missing:" << name << "in" << folder;
            delete translator;
        }
    }
}

} // namespace talvo::browser
