#include "browser/FailurePanel.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace talvo::browser {

FailurePanel::FailurePanel(QWidget* view)
    : QWidget(view), headline_(new QLabel(this)), advice_(new QLabel(this)), detail_(new QLabel(this)),
      button_(new QPushButton(this))
{
    setObjectName(QStringLiteral("failurePanel"));
    setAttribute(Qt::WA_StyledBackground, true);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#failurePanel { background: #ffffff; }"
                                 "#failureHeadline { color: #202020; font-size: 15pt; }"
                                 "#failureAdvice { color: #404040; font-size: 11pt; }"
                                 "#failureDetail { color: #808080; font-size: 8pt; }"
                                 "#failureButton { font-size: 11pt; padding: 5px 26px; }"));
    headline_->setObjectName(QStringLiteral("failureHeadline"));
    advice_->setObjectName(QStringLiteral("failureAdvice"));
    detail_->setObjectName(QStringLiteral("failureDetail"));
    button_->setObjectName(QStringLiteral("failureButton"));
    for (QLabel* label : {headline_, advice_, detail_}) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
    }
    // Addresses and error names can be long and unbroken; let people copy them to support.
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // A column of readable width in the middle; labels fill it so they wrap to its width.
    auto* box = new QWidget(this);
    box->setMaximumWidth(620);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(box);
    column->addWidget(headline_);
    column->addSpacing(10);
    column->addWidget(advice_);
    column->addSpacing(18);
    column->addWidget(button_, 0, Qt::AlignHCenter);
    column->addSpacing(24);
    column->addWidget(detail_);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(box, 10);
    row->addStretch(1);
    auto* page = new QVBoxLayout(this);
    page->addStretch(2);
    page->addLayout(row);
    page->addStretch(3);

    connect(button_, &QPushButton::clicked, this, &FailurePanel::buttonClicked);
    view->installEventFilter(this);
    hide();
}

void FailurePanel::present(const QString& headline, const QString& advice, const QString& detail,
                           const QString& buttonText)
{
    headline_->setText(headline);
    advice_->setText(advice);
    detail_->setText(detail);
    button_->setText(buttonText);
    button_->setVisible(!buttonText.isEmpty());
    place();
    show();
    raise();
    if (button_->isVisible())
        button_->setFocus();
}

void FailurePanel::place()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
}

bool FailurePanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    // A new renderer brings a new drawing widget, stacked on top of us.
    if (watched == parentWidget() && event->type() == QEvent::ChildAdded && isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isVisible())
                raise();
        });
    return QWidget::eventFilter(watched, event);
}

} // namespace talvo::browser
