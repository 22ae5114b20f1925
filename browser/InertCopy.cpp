#include "browser/InertCopy.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace talvo::browser {

namespace {

// A JavaScript expression giving text exactly, whatever it holds.
QString literal(const QString& text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)) + QStringLiteral("[0]");
}

} // namespace

QString inertCopyScript(const QString& html, const QString& base)
{
    return QStringLiteral("(function (h, b) { var d = new DOMParser().parseFromString(h, 'text/html');"
                          " if (b && d.head && !d.querySelector('base')) {"
                          "   var e = d.createElement('base'); e.href = b; d.head.insertBefore(e, d.head.firstChild); }"
                          " document.replaceChild(document.adoptNode(d.documentElement), document.documentElement);"
                          " })(%1, %2);")
        .arg(literal(html), literal(base));
}

} // namespace talvo::browser
