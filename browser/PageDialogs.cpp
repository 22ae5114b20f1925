#include "browser/PageDialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/gui/Diagnostics.h"
#include "platform/gui/MessageBox.h"

namespace talvo::browser::pagedialogs {

namespace {

const QString kOk = QString::fromUtf16(u"确定");
const QString kCancel = QString::fromUtf16(u"取消");

// A page's text is data: never rich text, however much it looks like markup.
QPointer<QMessageBox> makeBox(QMessageBox::Icon icon, QWidget* parent, const QString& text, bool* stop)
{
    QPointer<QMessageBox> box = new QMessageBox(icon, kCaption, QString(), QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setWindowModality(Qt::WindowModal);
    if (stop) {
        auto* check = new QCheckBox(kStopDialogs, box);
        check->setObjectName(QStringLiteral("stopDialogs"));
        box->setCheckBox(check);
    }
    return box;
}

// Runs the box; false when its window took it away before it was answered.
bool run(QDialog* dialog)
{
    QPointer<QDialog> alive(dialog);
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        platform::offerToBoxSeams(box);
    dialog->exec();
    return !alive.isNull();
}

bool stopChosen(QCheckBox* check) { return check && check->isChecked(); }

} // namespace

void alert(QWidget* parent, const QString& text, bool* stop)
{
    QPointer<QMessageBox> box = makeBox(QMessageBox::Information, parent, text, stop);
    QPushButton* ok = box->addButton(kOk, QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    qCInfo(lcWindows).noquote() << "page dialog: alert " + text;
    if (!run(box))
        return;
    if (stop)
        *stop = stopChosen(box->checkBox());
    delete box;
}

bool confirm(QWidget* parent, const QString& text, bool* stop)
{
    QPointer<QMessageBox> box = makeBox(QMessageBox::Question, parent, text, stop);
    QPushButton* ok = box->addButton(kOk, QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(kCancel, QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(cancel);
    qCInfo(lcWindows).noquote() << "page dialog: confirm " + text;
    if (!run(box))
        return false;
    const bool accepted = box->clickedButton() == ok;
    if (stop)
        *stop = stopChosen(box->checkBox());
    delete box;
    return accepted;
}

std::optional<QString> prompt(QWidget* parent, const QString& text, const QString& defaultValue, bool* stop)
{
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(kCaption);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(text, dialog);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(defaultValue, dialog);
    edit->setObjectName(QStringLiteral("promptText"));
    edit->selectAll();
    QCheckBox* check = nullptr;
    if (stop) {
        check = new QCheckBox(kStopDialogs, dialog);
        check->setObjectName(QStringLiteral("stopDialogs"));
    }
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* ok = buttons->addButton(kOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(kCancel, QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    if (check)
        layout->addWidget(check);
    layout->addWidget(buttons);
    dialog->setMinimumWidth(360);
    edit->setFocus();
    qCInfo(lcWindows).noquote() << "page dialog: prompt " + text;
    if (!run(dialog))
        return std::nullopt;
    std::optional<QString> answer;
    if (dialog->result() == QDialog::Accepted)
        answer = edit->text();
    if (stop)
        *stop = stopChosen(check);
    delete dialog;
    return answer;
}

} // namespace talvo::browser::pagedialogs
