#include "browser/PageDialogs.h"

#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/gui/Diagnostics.h"

namespace talvo::browser::pagedialogs {

namespace {

const QString kOk = QString::fromUtf16(u"确定");
const QString kCancel = QString::fromUtf16(u"取消");

// A page's text is data: never rich text, however much it looks like markup.
void prepare(QMessageBox& box, const QString& text)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowModality(Qt::WindowModal);
}

} // namespace

void alert(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Information, kCaption, QString(), QMessageBox::NoButton, parent);
    prepare(box, text);
    QPushButton* ok = box.addButton(kOk, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    qCInfo(lcWindows).noquote() << "page dialog: alert " + text;
    box.exec();
}

bool confirm(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, kCaption, QString(), QMessageBox::NoButton, parent);
    prepare(box, text);
    QPushButton* ok = box.addButton(kOk, QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(kCancel, QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    qCInfo(lcWindows).noquote() << "page dialog: confirm " + text;
    box.exec();
    return box.clickedButton() == ok;
}

std::optional<QString> prompt(QWidget* parent, const QString& text, const QString& defaultValue)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(kCaption);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(text, &dialog);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(defaultValue, &dialog);
    edit->setObjectName(QStringLiteral("promptText"));
    edit->selectAll();
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton(kOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(kCancel, QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(360);
    edit->setFocus();
    qCInfo(lcWindows).noquote() << "page dialog: prompt " + text;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->text();
}

} // namespace talvo::browser::pagedialogs
