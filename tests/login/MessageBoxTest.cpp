#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/gui/MessageBox.h"

namespace talvo::platform {
namespace {

QMessageBox* openBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

QAbstractButton* button(QMessageBox* box, const char16_t* text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == QString::fromUtf16(text))
            return b;
    return nullptr;
}

class MessageBoxes : public testing::Test {
protected:
    void TearDown() override { resetBoxSeams(); }
};

TEST_F(MessageBoxes, AQuestionOpensAtOnceAndAnswersLater)
{
    std::vector<bool> answers;
    askOkCancel(nullptr, QStringLiteral("cap"), QStringLiteral("sure?"), [&](bool ok) { answers.push_back(ok); });
    QMessageBox* box = openBox();
    ASSERT_NE(box, nullptr) << "the box is up when the call returns";
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("cap"));
    ASSERT_NE(button(box, u"确定"), nullptr);
    EXPECT_EQ(box->defaultButton(), button(box, u"确定"));
    QPointer<QMessageBox> gone(box);
    button(box, u"确定")->click();
    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone.isNull(); }, 5000)) << "the box deletes itself";

    askOkCancel(nullptr, QStringLiteral("cap"), QStringLiteral("sure?"), [&](bool ok) { answers.push_back(ok); });
    box = openBox();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(answers, (std::vector<bool>{true, false})) << "Escape is Cancel";
}

TEST_F(MessageBoxes, AnInformationTellsWhenItIsClosed)
{
    int closed = 0;
    showInformation(nullptr, QStringLiteral("cap"), QStringLiteral("note"), [&] { ++closed; });
    QMessageBox* box = openBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(closed, 0);
    box->close();
    EXPECT_EQ(closed, 1);
}

TEST_F(MessageBoxes, ABoxGoesWithItsParentWithoutAnAnswer)
{
    auto parent = std::make_unique<QWidget>();
    parent->show();
    int answered = 0;
    askOkCancel(parent.get(), QStringLiteral("cap"), QStringLiteral("sure?"), [&](bool) { ++answered; });
    ASSERT_NE(openBox(), nullptr);
    parent.reset();
    EXPECT_EQ(openBox(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(answered, 0);
}

TEST_F(MessageBoxes, QueuedAnswersGoToTheNextBoxesInTurn)
{
    std::vector<BoxSeen> seen;
    watchBoxes([&](const BoxSeen& box) { seen.push_back(box); });
    answerNextBox(QStringLiteral("取消"));
    answerNextBox(QStringLiteral("确定"));
    std::vector<bool> answers;
    askOkCancel(nullptr, QStringLiteral("one"), QStringLiteral("first"), [&](bool ok) { answers.push_back(ok); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.size() == 1; }, 5000));
    askOkCancel(nullptr, QStringLiteral("two"), QStringLiteral("second"), [&](bool ok) { answers.push_back(ok); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.size() == 2; }, 5000));
    EXPECT_EQ(answers, (std::vector<bool>{false, true}));

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].caption, QStringLiteral("one"));
    EXPECT_EQ(seen[0].text, QStringLiteral("first"));
    EXPECT_EQ(seen[0].buttons, (QStringList{QStringLiteral("确定"), QStringLiteral("取消")}));
    EXPECT_EQ(seen[0].defaultButton, QStringLiteral("确定"));
    EXPECT_FALSE(seen[0].informationIcon);

    // No answer left: the next box stays for the user.
    int closed = 0;
    showInformation(nullptr, QStringLiteral("three"), QStringLiteral("third"), [&] { ++closed; });
    QCoreApplication::processEvents();
    ASSERT_NE(openBox(), nullptr);
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(seen.back().informationIcon);
    openBox()->close();
    EXPECT_EQ(closed, 1);
}

} // namespace
} // namespace talvo::platform
