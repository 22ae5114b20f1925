#include "browser/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

void useChineseEverywhere(QCoreApplication& app)
{
    // The engine takes its interface language (its own pages and menus) from --lang, else
    // from the default locale's short name, which for Simplified Chinese is a bare "zh".
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China));
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--lang=")) {
        flags += flags.isEmpty() ? "--lang=zh-CN" : " --lang=zh-CN";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }

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
