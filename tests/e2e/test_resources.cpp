// The pictures the windows rely on: compiled-in paths, sizes the layouts assume, the cursor's
// hot spot, and the button files copied beside the executables.
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace {

struct Picture {
    const char* path;
    int width;
    int height;
};

QImage load(const QString& path)
{
    QImage image(path);
    return image.convertToFormat(QImage::Format_ARGB32);
}

TEST(Resources, CompiledInPicturesHaveTheirLayoutSizes)
{
    const Picture pictures[] = {
        {":/images/login/login_skin.gif", 509, 350},
        {":/images/login/btnlogin1.gif", 69, 21},
        {":/images/login/2_26.gif", 34, 19},
        {":/images/login/32_51.gif", 26, 18},
        {":/cursors/hand.png", 32, 32},
        {":/icons/talvo-24.png", 24, 24},
        {":/icons/talvo-32.png", 32, 32},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.path);
        const QImage image = load(QString::fromUtf8(p.path));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), p.width);
        EXPECT_EQ(image.height(), p.height);
    }
}

TEST(Resources, ButtonFilesBesideTheExecutableWithDistinctHoverLooks)
{
    struct Pair {
        const char* normal;
        const char* hover;
        int width;
        int height;
    };
    const Pair pairs[] = {
        {"btnlogin1.gif", "btnlogin2.gif", 69, 21},
        {"2_26.gif", "2_35.gif", 34, 19},
        {"32_51.gif", "23_54.gif", 26, 18},
    };
    const QString folder = QCoreApplication::applicationDirPath() + "/images/login/";
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.normal);
        const QImage normal = load(folder + p.normal);
        const QImage hover = load(folder + p.hover);
        ASSERT_FALSE(normal.isNull());
        ASSERT_FALSE(hover.isNull());
        EXPECT_EQ(normal.size(), QSize(p.width, p.height));
        EXPECT_EQ(hover.size(), normal.size());
        EXPECT_NE(normal, hover) << "hover picture looks the same as the normal one";
        // The copy on disk must be the picture that is compiled in, where one is.
        const QImage compiled = load(QString(":/images/login/") + p.normal);
        if (!compiled.isNull()) {
            EXPECT_EQ(compiled, normal);
        }
    }
}

TEST(Resources, HandCursorHasTransparentCornersAndOpaqueFingerTip)
{
    const QImage hand = load(":/cursors/hand.png");
    ASSERT_FALSE(hand.isNull());
    for (const QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
        EXPECT_EQ(qAlpha(hand.pixel(corner)), 0) << corner.x() << "," << corner.y();
    // The hot spot (13,5) is the tip of the finger: drawn, with nothing drawn above the tip.
    EXPECT_GT(qAlpha(hand.pixel(13, 5)), 200);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(qAlpha(hand.pixel(13, y)), 0) << "row " << y;
}

TEST(Resources, SkinLeavesTheEditionFrameAreaPlainAndLight)
{
    const QImage skin = load(":/images/login/login_skin.gif");
    ASSERT_FALSE(skin.isNull());
    // The check boxes sit at x 288..457, y 120..241; their captions need a light, even ground.
    int darkest = 255;
    int lightest = 0;
    for (int y = 120; y <= 241; ++y)
        for (int x = 288; x <= 457; ++x) {
            const int g = qGray(skin.pixel(x, y));
            darkest = std::min(darkest, g);
            lightest = std::max(lightest, g);
        }
    EXPECT_GE(darkest, 225);
    EXPECT_LE(lightest - darkest, 25);
    // The title strip behind the minimise and close pictures is dark, so white glyphs show.
    EXPECT_LT(qGray(skin.pixel(440, 12)), 120);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
