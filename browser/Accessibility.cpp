#include "browser/Accessibility.h"

#include <QByteArray>
#include <QtGlobal>

namespace talvo::browser {

void exposePagesToScreenReaders()
{
#if defined(Q_OS_LINUX) && QT_VERSION < QT_VERSION_CHECK(6, 6, 0)
    // From 6.6 on the engine does this by itself whenever the desktop asks for accessibility;
    // before, its pages stay out of the AT-SPI tree unless this variable is there at all.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", QByteArrayLiteral("1"));
#endif
}

} // namespace talvo::browser
