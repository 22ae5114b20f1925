#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>

#include "browser/Accessibility.h"

namespace {
constexpr const char* kVariable = "QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY";
} // namespace

TEST(AccessibilitySwitch, OlderEnginesGetTheSwitchOnceNewerOnesNeedNone)
{
    qunsetenv(kVariable);
    talvo::browser::exposePagesToScreenReaders();
#if defined(Q_OS_LINUX) && QT_VERSION < QT_VERSION_CHECK(6, 6, 0)
    EXPECT_EQ(qgetenv(kVariable), QByteArray("1"));
#else
    EXPECT_FALSE(qEnvironmentVariableIsSet(kVariable));
#endif
}

TEST(AccessibilitySwitch, LeavesTheUsersValueAlone)
{
    for (const QByteArray value : {QByteArray("0"), QByteArray(""), QByteArray("yes")}) {
        qputenv(kVariable, value);
        talvo::browser::exposePagesToScreenReaders();
        EXPECT_TRUE(qEnvironmentVariableIsSet(kVariable)) << value.constData();
        EXPECT_EQ(qgetenv(kVariable), value);
    }
    qunsetenv(kVariable);
}
