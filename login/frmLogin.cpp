#include "login/frmLogin.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <cmath>
#include <exception>
#include <optional>
#include <utility>
#include <variant>

#include "codec/Base64.h"
#include "login/LoginControls.h"
#include "login/StartupSplash.h"
#include "login/logic/Edition.h"
#include "main/logic/ProductTexts.h"
#include "platform/ProgramInfo.h"
#include "platform/SystemBrowser.h"
#include "platform/Twips.h"
#include "platform/gui/Diagnostics.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/OffThread.h"

namespace talvo {

namespace {

using platform::kTwipsPerPixel;

int toPixels(double twips) { return platform::twipsToPixels(twips); }

QRect twipsRect(int left, int top, int width, int height)
{
    return {toPixels(left), toPixels(top), toPixels(width), toPixels(height)};
}

QString text(std::u16string_view s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

// The mouse position as the window's events report it: twips, single precision.
float toTwips(qreal pixels) { return static_cast<float>(pixels * kTwipsPerPixel); }

QCursor handCursor()
{
    static const QCursor cursor(QPixmap(QStringLiteral(":/cursors/hand.png")), 13, 5);
    return cursor;
}

// What kind of input an event is, as far as a running lookup is concerned; nothing for
// events that are no input.
std::optional<loginlogic::InputKind> inputKind(const QEvent* event, bool onClosePicture)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        return onClosePicture ? loginlogic::InputKind::ClosePicture : loginlogic::InputKind::OtherPointer;
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: return loginlogic::InputKind::OtherPointer;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        return static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape ? loginlogic::InputKind::EscapeKey
                                                                             : loginlogic::InputKind::OtherKey;
    default: return std::nullopt;
    }
}

loginlogic::Key keyOf(const QKeyEvent* event)
{
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return loginlogic::Key::Other;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return loginlogic::Key::Return;
    case Qt::Key_Escape: return loginlogic::Key::Escape;
    default: return loginlogic::Key::Other;
    }
}

} // namespace

frmLogin::frmLogin(Defaults defaults, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), defaults_(std::move(defaults)),
      pictureFolder_(QString::fromStdU16String((platform::programFolder() / "images" / "login").generic_u16string()))
{
    services_.requests = loginlogic::xmlHttpRequests();
    // Told only when this start stops here: the program ends once the box is closed.
    services_.showNotice = [this](const QString& caption, const QString& message) {
        platform::showInformation(nullptr, caption, message, [self = QPointer<frmLogin>(this)] {
            if (self && self->services_.endProcess)
                self->services_.endProcess();
        });
    };
    services_.openBrowser = [](const QString& address) {
        return platform::openInSystemBrowser(address.toStdU16String());
    };
    services_.endProcess = [] { QCoreApplication::exit(0); };
    services_.startName = [] { return QString::fromStdU16String(platform::startName()); };

    setWindowTitle(text(u"用户登录"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/talvo-24.png")));
    setFixedSize(toPixels(7635), toPixels(5250));
    setMouseTracking(true);
    skin_.load(QStringLiteral(":/images/login/login_skin.gif"));
    QFont small = font();
    small.setPixelSize(12);
    setFont(small);

    cmdLogin_ = new login::PictureBox(this);
    cmdLogin_->setGeometry(twipsRect(5760, 3960, 1050, 310));
    cmdLogin_->loadPicture(QStringLiteral(":/images/login/btnlogin1.gif"));
    cmdLogin_->setCursor(handCursor());
    cmdLogin_->setAccessibleName(text(u"登录"));
    cmdLogin_->setFocusPolicy(Qt::TabFocus);

    picMin_ = new login::PictureBox(this);
    picMin_->setGeometry(twipsRect(6650, 10, 390, 260));
    picMin_->loadPicture(QStringLiteral(":/images/login/32_51.gif"));
    picMin_->setCursor(handCursor());
    picMin_->setAccessibleName(text(u"最小化"));

    picClose_ = new login::PictureBox(this);
    picClose_->setGeometry(twipsRect(7050, 0, 495, 280));
    picClose_->loadPicture(QStringLiteral(":/images/login/2_26.gif"));
    picClose_->setCursor(handCursor());
    picClose_->setAccessibleName(text(u"关闭"));

    auto* frame = new QGroupBox(text(u" 请选择软件试用版本 "), this);
    frame->setGeometry(twipsRect(4320, 1800, 2535, 1815));
    frame->setAttribute(Qt::WA_NoMousePropagation);
    frame->setAutoFillBackground(true);
    QPalette framePalette = frame->palette();
    framePalette.setColor(QPalette::Window, framePalette.color(QPalette::Base));
    framePalette.setColor(QPalette::WindowText, framePalette.color(QPalette::Text));
    frame->setPalette(framePalette);
    frame1_ = frame;

    // Created in design order (2, 1, 0); index 0 is the box checked at design time.
    const std::array<std::pair<int, int>, 3> boxTops{{{2, 1200}, {1, 840}, {0, 480}}};
    for (const auto& [index, top] : boxTops) {
        const loginlogic::Edition* edition = loginlogic::editionForCheckBox(index);
        auto* box = new login::VbCheckBox(text(edition->caption), frame);
        box->setGeometry(twipsRect(600, top, 1455, 255));
        box->setAutoFillBackground(true);
        box->setBackgroundRole(QPalette::Window);
        QPalette boxPalette = box->palette();
        boxPalette.setColor(QPalette::Window, Qt::white);
        box->setPalette(boxPalette);
        chkCopyright_[static_cast<std::size_t>(index)] = box;
    }
    chkCopyright_[0]->setValue(1);
    for (int index = 0; index <= chkCopyrightUBound(); ++index)
        connect(chkCopyright_[static_cast<std::size_t>(index)], &login::VbCheckBox::valueClicked, this,
                [this, index] { chkCopyright_Click(index); });

    auto* ownership = new login::ClickLabel(text(u"版权所有 © Zentarro 软件"), this);
    ownership->setGeometry(twipsRect(2160, 5040, 3375, 195));
    label2_ = ownership;

    lnkLeaveWord_ = new login::ClickLabel(text(mainlogic::kLeaveWordLink), this);
    lnkLeaveWord_->setGeometry(twipsRect(6600, 5040, 975, 255));
    QPalette linkPalette = lnkLeaveWord_->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lnkLeaveWord_->setPalette(linkPalette);
    lnkLeaveWord_->setCursor(handCursor());
    lnkLeaveWord_->setAccessibleName(lnkLeaveWord_->text());
    lnkLeaveWord_->setFocusPolicy(Qt::TabFocus);

    auto* bottom = new login::ClickLabel(QString(), this);
    bottom->setGeometry(twipsRect(1440, 5000, 4815, 255));
    lblBottom_ = bottom;

    // Under the login picture, ending with it; shown while a lookup started here runs.
    lblConnecting_ = new QLabel(this);
    lblConnecting_->setGeometry(184, 291, 270, 16);
    lblConnecting_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblConnecting_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette connectingPalette = lblConnecting_->palette();
    connectingPalette.setColor(QPalette::WindowText, QColor(0x33, 0x55, 0x88));
    lblConnecting_->setPalette(connectingPalette);
    lblConnecting_->hide();

    // The keyboard path: the editions top to bottom, then the login picture and the link.
    setTabOrder(chkCopyright_[0], chkCopyright_[1]);
    setTabOrder(chkCopyright_[1], chkCopyright_[2]);
    setTabOrder(chkCopyright_[2], cmdLogin_);
    setTabOrder(cmdLogin_, lnkLeaveWord_);

    connect(cmdLogin_, &login::PictureBox::clicked, this, &frmLogin::cmdLogin_Click);
    connect(picClose_, &login::PictureBox::clicked, this, &frmLogin::picClose_Click);
    connect(picMin_, &login::PictureBox::clicked, this, &frmLogin::PicMin_Click);
    connect(cmdLogin_, &login::PictureBox::mouseMoved, this, &frmLogin::cmdLogin_MouseMove);
    connect(picClose_, &login::PictureBox::mouseMoved, this, &frmLogin::picClose_MouseMove);
    connect(picMin_, &login::PictureBox::mouseMoved, this, &frmLogin::PicMin_MouseMove);
    connect(lnkLeaveWord_, &login::ClickLabel::clicked, this, &frmLogin::lnkLeaveWord_Click);

    // Sees the input of the window and of every control before they do, to hold it back
    // while a lookup runs.
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>())
        control->installEventFilter(this);
}

frmLogin::~frmLogin() = default;

login::VbCheckBox* frmLogin::chkCopyright(int index) const
{
    if (index < 0 || index > chkCopyrightUBound())
        return nullptr;
    return chkCopyright_[static_cast<std::size_t>(index)];
}

QString frmLogin::getCheckCode()
{
    const loginlogic::AddressLookup lookup(services_.requests);
    return QString::fromStdU16String(lookup.getCheckCode(ServerUrl.toStdU16String()));
}

void frmLogin::startLookup(loginlogic::LookupFlow::Origin origin)
{
    if (!flow_.start(origin))
        return;
    // Taken once: a later lookup (the login picture's) is this window's own.
    std::shared_ptr<loginlogic::LookupAhead> ahead = std::exchange(services_.lookupAhead, nullptr);
    if (!ahead || origin != loginlogic::LookupFlow::Origin::Start || ahead->serverHost() != ServerUrl.toStdU16String()
        || ahead->member() != member.toStdU16String())
        ahead = startOwnLookup();
    // The worker follows the lookup and owns all it uses: if the program ends while a
    // request hangs, it is left behind and touches nothing of ours. What it posts runs
    // here, and only while this window object is there.
    platform::runOffThread<std::u16string>(
        this,
        [this, ahead](const platform::UiPost& post) {
            return ahead->follow([this, &post](int attempt) { post([this, attempt] { showLookupAttempt(attempt); }); },
                                 // Once the address is in, the hand-off has begun: nothing more counts here.
                                 [this, &post] { post([this] { addressIn(); }); });
        },
        [this](std::variant<std::u16string, platform::WorkFailure> outcome) {
            // A lookup that failed on its way (already in the log) found no address either.
            const auto* url = std::get_if<std::u16string>(&outcome);
            lookupDone(url ? QString::fromStdU16String(*url) : QString());
        });
    // The engine's start-up does not depend on the answers: it runs while they are
    // awaited, so the page can be asked for as soon as they are in.
    if (services_.startBrowser)
        services_.startBrowser();
    browserStarted_ = true;
    if (services_.prepareBrowserPage)
        services_.prepareBrowserPage();
}

std::shared_ptr<loginlogic::LookupAhead> frmLogin::startOwnLookup() const
{
    std::function<void()> contact;
    if (services_.contactLookupJob)
        contact = services_.contactLookupJob(member);
    return loginlogic::LookupAhead::start(loginlogic::AddressLookup(services_.requests), ServerUrl.toStdU16String(),
                                          member.toStdU16String(), std::move(contact), attemptLog());
}

loginlogic::AttemptObserver frmLogin::attemptLog()
{
    // Said on the lookup's thread as each attempt starts: the window's thread may be busy
    // for a while, or the window not made yet.
    return [](int attempt) { qCInfo(lcWindows, "connecting: attempt %d", attempt); };
}

void frmLogin::addressIn()
{
    flow_.addressIn();
    // The main window is certain now: it builds while the contact request is out.
    if (flow_.phase() == loginlogic::LookupPhase::HandingOff && services_.prepareMain)
        services_.prepareMain();
}

void frmLogin::showLookupAttempt(int attempt)
{
    if (flow_.phase() != loginlogic::LookupPhase::LookingUp)
        return;
    if (flow_.origin() == loginlogic::LookupFlow::Origin::Start) {
        if (splash_)
            splash_->showAttempt(attempt);
    } else {
        showAttempt(attempt);
    }
    emit lookupAttemptShown(attempt);
}

void frmLogin::lookupDone(const QString& address)
{
    VisitUrl = address;
    // No main window for now: no render process may stay behind for it.
    if (address.isEmpty() && services_.dropBrowserPage)
        services_.dropBrowserPage();
    // Gone before the main window or the login window shows.
    splash_.reset();
    switch (flow_.finished(!address.isEmpty())) {
    case loginlogic::LookupFlow::Next::Nothing: break; // closed while the server was asked
    case loginlogic::LookupFlow::Next::HandOff: handOff(); break;
    case loginlogic::LookupFlow::Next::ShowChoice: show(); break;
    case loginlogic::LookupFlow::Next::BackToChoice: setBusyLook(false); break;
    }
    emit lookupEnded();
}

Variant frmLogin::Base64Code(const QString& modo, const QString& strSource)
{
    Variant result;
    try {
        Base64 codec;
        if (modo == u"encode")
            result = codec.EncodeBase64String(strSource.toStdU16String());
        else if (modo == u"decode")
            result = codec.DecodeBase64String(strSource.toStdU16String());
    } catch (...) {
        return Variant();
    }
    return result;
}

frmLogin::LoadResult frmLogin::Form_Load()
{
    if (services_.isFirstInstance && !services_.isFirstInstance()) {
        if (services_.bringRunningForward)
            services_.bringRunningForward();
        qCInfo(lcWindows, "second instance: notice shown");
        services_.showNotice(text(mainlogic::kNoticeCaption),
                             u' ' + text(mainlogic::kProductName) + text(u"已在运行中！"));
        unload();
        return LoadResult::SecondInstance;
    }

    IsBusy = false;
    member.clear();
    ServerUrl = defaults_.serverHost;
    LeaveUrl = defaults_.leaveUrl;
    VisitUrl.clear();

    if (const loginlogic::Edition* edition = loginlogic::editionForStartName(services_.startName().toStdU16String())) {
        member = text(edition->member);
        Title = text(edition->caption);
        if (services_.setMainCopyright)
            services_.setMainCopyright(text(edition->code));
    }

    if (!member.isEmpty()) {
        splash_ = std::make_unique<login::StartupSplash>();
        splash_->showAttempt(1);
        startLookup(loginlogic::LookupFlow::Origin::Start);
        return LoadResult::LookingUp;
    }
    return LoadResult::WaitForUser;
}

void frmLogin::handOff()
{
    // From here on the window takes no input: the main window is on its way, and this
    // one goes once it is there.
    flow_.handOff();
    if (!services_.mainOnScreen || !services_.showMain) {
        if (services_.showMain)
            services_.showMain();
        unload();
        return;
    }
    services_.mainOnScreen([this] { unload(); });
    services_.showMain();
}

void frmLogin::unload()
{
    if (isUnloaded())
        return;
    flow_.unload();
    setBusyLook(false);
    hide();
    qCInfo(lcWindows, "login window unloaded");
}

bool frmLogin::editionChecked() const
{
    for (int index = 0; index <= chkCopyrightUBound(); ++index) {
        if (chkCopyright(index)->value() == 1)
            return true;
    }
    return false;
}

void frmLogin::setBusyLook(bool busy)
{
    // The close picture keeps its hand: it still works while the server is asked.
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    for (QWidget* control :
         {static_cast<QWidget*>(cmdLogin_), static_cast<QWidget*>(picMin_), static_cast<QWidget*>(lnkLeaveWord_)})
        control->setCursor(busy ? QCursor(Qt::WaitCursor) : handCursor());
    if (!busy)
        lblConnecting_->hide();
}

void frmLogin::showAttempt(int attempt)
{
    lblConnecting_->setText(text(u"正在连接服务器… 第 %1 次尝试").arg(attempt));
    lblConnecting_->show();
}

void frmLogin::cmdLogin_Click()
{
    // Input held back during a lookup never gets here; this guards calls from code.
    if (flow_.phase() != loginlogic::LookupPhase::Idle)
        return;
    member.clear();
    for (int index = 0; index <= chkCopyrightUBound(); ++index) {
        if (chkCopyright(index)->value() != 1)
            continue;
        if (const loginlogic::Edition* edition = loginlogic::editionForCheckBox(index)) {
            member = text(edition->member);
            Title = chkCopyright(index)->text();
            if (services_.setMainCopyright)
                services_.setMainCopyright(text(edition->code));
        }
    }
    if (!member.isEmpty()) {
        setBusyLook(true);
        startLookup(loginlogic::LookupFlow::Origin::LoginPicture);
        return; // lookupDone goes on
    }
    if (!VisitUrl.isEmpty())
        handOff();
}

void frmLogin::chkCopyright_Click(int Index)
{
    if (IsBusy || chkCopyright(Index)->value() == 0)
        return;
    IsBusy = true;
    for (int index = 0; index <= chkCopyrightUBound(); ++index) {
        if (index != Index)
            chkCopyright(index)->setValue(0); // raises that box's click, which finds IsBusy set
    }
    IsBusy = false;
}

void frmLogin::lnkLeaveWord_Click()
{
    if (!services_.openBrowser(LeaveUrl))
        qCWarning(lcWindows, "could not open the leave-message page %s", qUtf8Printable(LeaveUrl));
}

void frmLogin::picClose_Click()
{
    unload();
    services_.endProcess();
}

void frmLogin::PicMin_Click() { showMinimized(); }

QString frmLogin::picturePath(const char16_t* name) const { return pictureFolder_ + u'/' + QString::fromUtf16(name); }

void frmLogin::cmdLogin_MouseMove() { cmdLogin_->loadPicture(picturePath(u"btnlogin2.gif")); }

void frmLogin::picClose_MouseMove()
{
    picClose_->loadPicture(picturePath(u"2_35.gif"));
    picMin_->loadPicture(picturePath(u"32_51.gif"));
}

void frmLogin::PicMin_MouseMove()
{
    picMin_->loadPicture(picturePath(u"23_54.gif"));
    picClose_->loadPicture(picturePath(u"2_26.gif"));
}

void frmLogin::Form_MouseDown(float x, float y)
{
    // Nearest whole twip, ties to even (the default rounding mode).
    mouseDownX_ = static_cast<int>(std::nearbyint(x));
    mouseDownY_ = static_cast<int>(std::nearbyint(y));
}

void frmLogin::Form_MouseMove(Qt::MouseButtons buttons, float x, float y)
{
    cmdLogin_->loadPicture(picturePath(u"btnlogin1.gif"));
    picClose_->loadPicture(picturePath(u"2_26.gif"));
    picMin_->loadPicture(picturePath(u"32_51.gif"));
    if (buttons != Qt::LeftButton)
        return;
    const double left = pos().x() * kTwipsPerPixel - (mouseDownX_ - static_cast<double>(x));
    const double top = pos().y() * kTwipsPerPixel - (mouseDownY_ - static_cast<double>(y));
    move(toPixels(left), toPixels(top));
}

void frmLogin::mousePressEvent(QMouseEvent* event)
{
    Form_MouseDown(toTwips(event->position().x()), toTwips(event->position().y()));
    event->accept();
}

void frmLogin::mouseMoveEvent(QMouseEvent* event)
{
    Form_MouseMove(event->buttons(), toTwips(event->position().x()), toTwips(event->position().y()));
    event->accept();
}

void frmLogin::keyPressEvent(QKeyEvent* event)
{
    switch (loginlogic::keyAction(keyOf(event), editionChecked())) {
    case loginlogic::KeyAction::Login:
        event->accept();
        cmdLogin_Click();
        return;
    case loginlogic::KeyAction::Close:
        event->accept();
        picClose_Click();
        return;
    case loginlogic::KeyAction::None: break;
    }
    QWidget::keyPressEvent(event);
}

bool frmLogin::eventFilter(QObject* watched, QEvent* event)
{
    if (flow_.phase() == loginlogic::LookupPhase::Idle || !watched->isWidgetType())
        return false;
    const std::optional<loginlogic::InputKind> kind = inputKind(event, watched == picClose_);
    return kind && !flow_.delivers(*kind);
}

void frmLogin::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.drawPixmap(0, 0, skin_);
}

void frmLogin::showEvent(QShowEvent* event)
{
    // Once: restoring from the task bar shows the window again but is no new start.
    if (!centred_) {
        centred_ = true;
        if (QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen()) {
            const QRect area = where->geometry();
            move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
        }
        QStringList checked;
        for (int index = 0; index <= chkCopyrightUBound(); ++index) {
            if (chkCopyright(index)->value() == 1)
                checked << chkCopyright(index)->text();
        }
        qCInfo(lcWindows, "login window shown, checked: %s", qUtf8Printable(checked.join(u',')));
        // The engine starts while the user chooses, once the window is on screen.
        if (!browserStarted_) {
            QTimer::singleShot(100, this, [this] {
                if (browserStarted_ || flow_.phase() != loginlogic::LookupPhase::Idle)
                    return;
                browserStarted_ = true;
                if (services_.startBrowser)
                    services_.startBrowser();
            });
        }
    }
    QWidget::showEvent(event);
}

void frmLogin::closeEvent(QCloseEvent* event)
{
    // Closed from outside (window manager): the same as unloading; the object stays.
    if (!isUnloaded()) {
        flow_.unload();
        qCInfo(lcWindows, "login window unloaded");
    }
    event->accept();
}

} // namespace talvo
