#include "browser/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>

#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

FindBar::FindBar(QWebEnginePage* page, QWidget* view) : QFrame(view), page_(page)
{
    setObjectName(QStringLiteral("findBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    text_ = new QLineEdit(this);
    text_->setPlaceholderText(QString::fromUtf16(u"在页面中查找"));
    text_->setClearButtonEnabled(true);
    text_->setMinimumWidth(180);
    count_ = new QLabel(this);
    count_->setMinimumWidth(60);
    count_->setAlignment(Qt::AlignCenter);
    const auto button = [this](const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    QToolButton* previous = button(QString::fromUtf16(u"▲"), QString::fromUtf16(u"上一个"));
    QToolButton* next = button(QString::fromUtf16(u"▼"), QString::fromUtf16(u"下一个"));
    QToolButton* shut = button(QString::fromUtf16(u"✕"), QString::fromUtf16(u"关闭"));
    layout->addWidget(text_);
    layout->addWidget(count_);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(shut);

    connect(text_, &QLineEdit::textChanged, this, [this] { find(false); });
    connect(text_, &QLineEdit::returnPressed, this, [this] { find(false); });
    connect(previous, &QToolButton::clicked, this, [this] { find(true); });
    connect(next, &QToolButton::clicked, this, [this] { find(false); });
    connect(shut, &QToolButton::clicked, this, &FindBar::close);
    connect(page_, &QWebEnginePage::findTextFinished, this, &FindBar::showResult);
}

void FindBar::open()
{
    place();
    show();
    raise();
    text_->setFocus();
    text_->selectAll();
    qCInfo(lcWindows) << "find bar opened";
}

void FindBar::close()
{
    if (!isVisible())
        return;
    page_->findText(QString()); // clears the marks
    hide();
    count_->clear();
    if (auto* view = parentWidget())
        view->setFocus();
    qCInfo(lcWindows) << "find bar closed";
}

void FindBar::findAgain(bool backwards)
{
    if (!isVisible()) {
        open();
        if (text_->text().isEmpty())
            return;
    }
    find(backwards);
}

void FindBar::place()
{
    adjustSize();
    if (auto* view = parentWidget())
        move(std::max(0, view->width() - width() - 16), 8);
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        find(event->modifiers().testFlag(Qt::ShiftModifier));
        return;
    }
    QFrame::keyPressEvent(event);
}

void FindBar::find(bool backwards)
{
    const QString text = text_->text();
    if (text.isEmpty()) {
        page_->findText(QString());
        count_->clear();
        return;
    }
    page_->findText(text, backwards ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags());
}

void FindBar::showResult(const QWebEngineFindTextResult& result)
{
    if (text_->text().isEmpty())
        return;
    count_->setText(QStringLiteral("%1/%2").arg(result.activeMatch()).arg(result.numberOfMatches()));
    qCInfo(lcWindows).noquote() << QStringLiteral("find result: %1/%2 for %3")
                                       .arg(result.activeMatch())
                                       .arg(result.numberOfMatches())
                                       .arg(text_->text());
}

} // namespace talvo::browser
