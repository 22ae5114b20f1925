#include "MessageBox.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace talvo::platform {

namespace {

struct Seams {
    QStringList answers;
    std::function<void(const BoxSeen&)> watch;
};

Seams& seams()
{
    static Seams s;
    return s;
}

QMessageBox* makeBox(QMessageBox::Icon icon, QWidget* parent, const QString& caption, const QString& text)
{
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Whoever asked decides what closing the box means, the end of the program included.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    return box;
}

void openBox(QMessageBox* box)
{
    // Modal to the whole program, as the boxes always were; open() would hold only the
    // parent window and leave the popup windows to the user.
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    offerToBoxSeams(box);
}

} // namespace

void showInformation(QWidget* parent, const QString& caption, const QString& text, std::function<void()> closed)
{
    QMessageBox* box = makeBox(QMessageBox::Information, parent, caption, text);
    QPushButton* ok = box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    if (closed)
        QObject::connect(box, &QDialog::finished, box, [closed = std::move(closed)](int) { closed(); });
    openBox(box);
}

void askOkCancel(QWidget* parent, const QString& caption, const QString& text, std::function<void(bool ok)> answered)
{
    QMessageBox* box = makeBox(QMessageBox::NoIcon, parent, caption, text);
    QPushButton* ok = box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QDialog::finished, box, [box, ok, answered = std::move(answered)](int) {
        if (answered)
            answered(box->clickedButton() == ok);
    });
    openBox(box);
}

void offerToBoxSeams(QMessageBox* box)
{
    Seams& s = seams();
    if (s.watch) {
        BoxSeen seen{box->windowTitle(), box->text(), {}, {}, box->icon() == QMessageBox::Information};
        for (QAbstractButton* button : box->buttons())
            seen.buttons << button->text();
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text();
        s.watch(seen);
    }
    if (s.answers.isEmpty())
        return;
    const QString answer = s.answers.takeFirst();
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == answer) {
            // From the event loop, once the box is up (a page's dialog runs its own).
            QTimer::singleShot(0, button, &QAbstractButton::click);
            return;
        }
    }
}

void answerNextBox(const QString& buttonText) { seams().answers << buttonText; }

void watchBoxes(std::function<void(const BoxSeen& box)> watch) { seams().watch = std::move(watch); }

void resetBoxSeams() { seams() = Seams{}; }

} // namespace talvo::platform
