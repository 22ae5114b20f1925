#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "login/LoginControls.h"
#include "login/frmLogin.h"

namespace talvo {
namespace {

// What the login window did to the world around it.
struct World {
    std::vector<QString> urls;
    std::u16string checkAnswer = u"CODE-12345";
    std::u16string addressAnswer = u"mireth_url:app.test:8081/crm";
    std::vector<QString> copyrights;
    int mainShown = 0;
    std::vector<std::string> mainSteps; // "prepare" and "show", in order
    int forwardRequests = 0;
    std::vector<std::pair<QString, QString>> notices;
    std::vector<QString> opened;
    int ended = 0;
    bool secondInstance = false;
    QString startName = QStringLiteral("talvo");
    int startNameReads = 0;
    int windowsBesidesLoginAtHandOff = -1;
};

// Holds the fake server's answers until the test lets them through; the lookup waits on
// its worker thread meanwhile.
class AnswerGate {
public:
    void pass()
    {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void open()
    {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool someoneWaits()
    {
        const std::lock_guard lock(mutex_);
        return waiting_ > 0;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    bool open_ = false;
};

// Visible top-level windows other than the login window (the splash, say).
int otherVisibleWindows(const QWidget* login)
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += (w != login && w->isVisible()) ? 1 : 0;
    return n;
}

const std::map<QString, QColor>& pictureColours()
{
    static const std::map<QString, QColor> colours{
        {QStringLiteral("btnlogin1.gif"), QColor(10, 20, 30)}, {QStringLiteral("btnlogin2.gif"), QColor(200, 20, 30)},
        {QStringLiteral("2_26.gif"), QColor(10, 200, 30)},     {QStringLiteral("2_35.gif"), QColor(10, 20, 200)},
        {QStringLiteral("32_51.gif"), QColor(200, 200, 30)},   {QStringLiteral("23_54.gif"), QColor(200, 20, 200)},
    };
    return colours;
}

class LoginWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pictures_.isValid());
        for (const auto& [name, colour] : pictureColours())
            writePicture(name, colour);

        login_ = std::make_unique<frmLogin>(
            frmLogin::Defaults{QStringLiteral("srv.test:8080"), QStringLiteral("http://leave.test/leave.html")});
        login_->setPictureFolder(pictures_.path());
        frmLogin::Services& s = login_->services();
        // Runs on the lookup's worker thread; the test reads world_ only once the lookup is over.
        s.requests = [this] {
            return loginlogic::GetRequest([this](const std::u16string& url) {
                if (gate_)
                    gate_->pass();
                world_.urls.push_back(QString::fromStdU16String(url));
                return url.find(u"/soft!code.action") != std::u16string::npos ? world_.checkAnswer
                                                                              : world_.addressAnswer;
            });
        };
        s.contactLookupJob = [this](const QString& code) {
            return std::function<void()>([this, code] { world_.urls.push_back(QStringLiteral("contact:") + code); });
        };
        s.isFirstInstance = [this] { return !world_.secondInstance; };
        s.bringRunningForward = [this] { ++world_.forwardRequests; };
        s.showNotice = [this](const QString& c, const QString& t) { world_.notices.emplace_back(c, t); };
        s.setMainCopyright = [this](const QString& code) { world_.copyrights.push_back(code); };
        s.prepareMain = [this] { world_.mainSteps.push_back("prepare"); };
        s.showMain = [this] {
            world_.mainSteps.push_back("show");
            ++world_.mainShown;
            world_.windowsBesidesLoginAtHandOff = otherVisibleWindows(login_.get());
        };
        // The fake main window is on screen as soon as it is asked for.
        s.mainOnScreen = nullptr;
        s.openBrowser = [this](const QString& a) {
            world_.opened.push_back(a);
            return true;
        };
        s.endProcess = [this] { ++world_.ended; };
        s.startName = [this] {
            ++world_.startNameReads;
            return world_.startName;
        };
        ended_ = std::make_unique<QSignalSpy>(login_.get(), &frmLogin::lookupEnded);
    }

    // Lets the lookups run until count of them have ended since the window was made.
    bool lookupsEnded(int count)
    {
        return QTest::qWaitFor([this, count] { return ended_->count() >= count; }, 10000);
    }

    // Pictures are plain PNG data under the GIF names: the loader goes by content.
    void writePicture(const QString& name, const QColor& colour)
    {
        QImage image(40, 24, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(pictures_.filePath(name), "PNG"));
    }

    static QColor shown(login::PictureBox* box) { return box->pixmap().toImage().pixelColor(0, 0); }
    static QColor colourOf(const char* name) { return pictureColours().at(QString::fromLatin1(name)); }

    void loadAndShow()
    {
        ASSERT_EQ(login_->Form_Load(), frmLogin::LoadResult::WaitForUser);
        login_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(login_.get()));
    }

    int checkCodeRequests() const
    {
        int n = 0;
        for (const QString& url : world_.urls)
            n += url.startsWith(QStringLiteral("http://srv.test:8080/soft!code.action?rnm=")) ? 1 : 0;
        return n;
    }

    std::vector<int> values() const
    {
        return {login_->chkCopyright(0)->value(), login_->chkCopyright(1)->value(), login_->chkCopyright(2)->value()};
    }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5)); }

    // A mouse event as the window system would deliver it to the widget under the pointer.
    static void send(QWidget* target, QEvent::Type type, QPointF local, Qt::MouseButton button,
                     Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    // Runs check while a lookup started by the login picture waits for the server, then
    // lets the answers through and waits for the lookup's end.
    void clickLoginAndWhileAsking(const std::function<void()>& check)
    {
        gate_ = std::make_shared<AnswerGate>();
        const int before = ended_->count();
        click(login_->cmdLogin());
        EXPECT_TRUE(QTest::qWaitFor([this] { return gate_->someoneWaits(); }, 5000));
        // The first attempt number comes to the window from the worker.
        EXPECT_TRUE(QTest::qWaitFor([this] { return login_->connectingLabel()->isVisible(); }, 5000));
        EXPECT_EQ(ended_->count(), before) << "the lookup ended before the check ran";
        check();
        gate_->open();
        EXPECT_TRUE(lookupsEnded(before + 1));
    }

    QTemporaryDir pictures_;
    std::shared_ptr<AnswerGate> gate_;
    World world_;
    std::unique_ptr<frmLogin> login_;
    std::unique_ptr<QSignalSpy> ended_;
};

// ---- load ----

TEST_F(LoginWindowTest, EditionFromTheStartNameHandsOverWithoutShowing)
{
    world_.startName = QStringLiteral("Talvo_QV");
    EXPECT_EQ(login_->Form_Load(), frmLogin::LoadResult::LookingUp);
    ASSERT_TRUE(lookupsEnded(1));

    EXPECT_EQ(login_->member, u"qv1");
    EXPECT_EQ(login_->Title, u"Alderan");
    EXPECT_EQ(world_.copyrights, std::vector<QString>{QStringLiteral("1")});
    EXPECT_EQ(login_->VisitUrl, u"app.test:8081/crm");
    EXPECT_EQ(login_->ServerUrl, u"srv.test:8080");
    EXPECT_EQ(login_->LeaveUrl, u"http://leave.test/leave.html");
    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_EQ(world_.windowsBesidesLoginAtHandOff, 0) << "the splash is gone before the main window shows";
    EXPECT_TRUE(login_->isUnloaded());
    EXPECT_FALSE(login_->isVisible());
    ASSERT_EQ(world_.urls.size(), 3u);
    EXPECT_TRUE(
        world_.urls[1].startsWith(QStringLiteral("http://srv.test:8080/softcheck!geturl.action?member=qv1&rnm=")));
    EXPECT_EQ(world_.urls[2], u"contact:qv1") << "the contact request follows the address at once";
    EXPECT_EQ(world_.mainSteps, (std::vector<std::string>{"prepare", "show"})) << "built ahead once the address came";

    // What the main window reads afterwards.
    const LoginView& view = *login_;
    EXPECT_EQ(view.editionTitle(), u"Alderan");
    EXPECT_EQ(view.memberCode(), u"qv1");
    EXPECT_EQ(view.visitUrl(), u"app.test:8081/crm");
    EXPECT_EQ(view.leaveUrl(), u"http://leave.test/leave.html");
}

// The program begins the lookup before the window exists; the window follows it instead
// of asking again, and only when it is the lookup the load would have made.
TEST_F(LoginWindowTest, ALookupBegunBeforeTheWindowIsFollowed)
{
    struct EarlyServer {
        std::mutex mutex;
        std::vector<std::u16string> urls;
    };
    auto early = std::make_shared<EarlyServer>();
    const loginlogic::RequestFactory earlyRequests = [early] {
        return loginlogic::GetRequest([early](const std::u16string& url) {
            const std::lock_guard lock(early->mutex);
            early->urls.push_back(url);
            return std::u16string(
                url.find(u"/soft!code.action") != std::u16string::npos ? u"null" : u"mireth_url:early.test:9000");
        });
    };
    auto contacted = std::make_shared<std::atomic<int>>(0);
    const auto begin = [&](std::u16string host, std::u16string member) {
        return loginlogic::LookupAhead::start(loginlogic::AddressLookup(earlyRequests), std::move(host),
                                              std::move(member), [contacted] { ++*contacted; });
    };

    world_.startName = QStringLiteral("Talvo_QV");
    QSignalSpy attempts(login_.get(), &frmLogin::lookupAttemptShown);
    // Ten check codes go unanswered, the eleventh too: the early lookup finds no address...
    login_->services().lookupAhead = begin(u"srv.test:8080", u"qv1");
    ASSERT_EQ(login_->Form_Load(), frmLogin::LoadResult::LookingUp);
    ASSERT_TRUE(lookupsEnded(1));
    EXPECT_TRUE(world_.urls.empty()) << "the window asked nothing itself";
    EXPECT_EQ(early->urls.size(), 11u);
    EXPECT_EQ(attempts.count(), 11) << "every attempt of the early lookup is shown";
    EXPECT_TRUE(login_->VisitUrl.isEmpty());
    EXPECT_EQ(*contacted, 0);
    ASSERT_TRUE(login_->isVisible()) << "the choice shows, as after a lookup of its own";

    // ...and a later lookup (the login picture's) is the window's own again.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(login_.get()));
    login_->services().lookupAhead = begin(u"srv.test:8080", u"qv1");
    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(2));
    EXPECT_EQ(world_.urls.size(), 3u);
    EXPECT_EQ(login_->VisitUrl, u"app.test:8081/crm");
}

TEST_F(LoginWindowTest, AnEarlyLookupForAnotherServerOrMemberIsNotFollowed)
{
    world_.startName = QStringLiteral("Talvo_QV");
    login_->services().lookupAhead = loginlogic::LookupAhead::start(
        loginlogic::AddressLookup([] {
            return loginlogic::GetRequest(
                [](const std::u16string&) { return std::u16string(u"mireth_url:wrong.test"); });
        }),
        u"srv.test:8080", u"qv2", {});
    ASSERT_EQ(login_->Form_Load(), frmLogin::LoadResult::LookingUp);
    ASSERT_TRUE(lookupsEnded(1));
    EXPECT_EQ(world_.urls.size(), 3u);
    EXPECT_EQ(login_->VisitUrl, u"app.test:8081/crm");
}

TEST_F(LoginWindowTest, FailingLookupAtStartShowsTheDesignChoice)
{
    world_.startName = QStringLiteral("talvo-qv");
    world_.checkAnswer = u"null";
    QSignalSpy attempts(login_.get(), &frmLogin::lookupAttemptShown);
    int onSplash = 0;
    QObject::connect(login_.get(), &frmLogin::lookupAttemptShown, login_.get(), [this, &onSplash] {
        onSplash += (otherVisibleWindows(login_.get()) == 1 && !login_->isVisible()) ? 1 : 0;
    });

    ASSERT_EQ(login_->Form_Load(), frmLogin::LoadResult::LookingUp);
    EXPECT_FALSE(login_->isVisible()) << "not before the lookup failed";
    ASSERT_TRUE(lookupsEnded(1));
    EXPECT_TRUE(login_->isVisible()) << "the window shows itself";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(login_.get()));

    EXPECT_EQ(checkCodeRequests(), 11);
    EXPECT_EQ(world_.urls.size(), 11u);
    EXPECT_EQ(world_.mainShown, 0);
    EXPECT_TRUE(world_.mainSteps.empty()) << "no main window is built for a lookup without an address";
    EXPECT_TRUE(login_->VisitUrl.isEmpty());
    EXPECT_EQ(values(), (std::vector<int>{1, 0, 0})) << "Cedrow, not the edition of the name";
    EXPECT_EQ(otherVisibleWindows(login_.get()), 0) << "no splash left behind";
    EXPECT_EQ(login_->Title, u"Alderan");

    // Every attempt was on the splash, in turn, before the window came.
    ASSERT_EQ(attempts.count(), 11);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(attempts.at(i).at(0).toInt(), i + 1);
    EXPECT_EQ(onSplash, 11);
}

TEST_F(LoginWindowTest, NoEditionInTheNameMakesNoRequest)
{
    world_.startName = QStringLiteral("talvo");
    loadAndShow();
    EXPECT_TRUE(world_.urls.empty());
    EXPECT_TRUE(world_.copyrights.empty());
    EXPECT_TRUE(login_->member.isEmpty());
    EXPECT_TRUE(login_->Title.isEmpty());
    EXPECT_EQ(login_->size(), QSize(509, 350));
    EXPECT_EQ(login_->windowTitle(), QString::fromUtf16(u"用户登录"));
    EXPECT_TRUE(login_->windowFlags() & Qt::FramelessWindowHint);
    const QRect screen = login_->screen()->geometry();
    EXPECT_EQ(login_->geometry().center(), screen.center()) << "centred on first show";
}

TEST_F(LoginWindowTest, SecondInstanceStopsEverythingElse)
{
    world_.secondInstance = true;
    world_.startName = QStringLiteral("talvo-qv");
    EXPECT_EQ(login_->Form_Load(), frmLogin::LoadResult::SecondInstance);

    EXPECT_EQ(world_.forwardRequests, 1);
    ASSERT_EQ(world_.notices.size(), 1u);
    EXPECT_EQ(world_.notices[0].first, QString::fromUtf16(u"提示信息"));
    EXPECT_EQ(world_.notices[0].second, QString::fromUtf16(u" “Zentarro”客户营销管理软件已在运行中！"));
    EXPECT_EQ(world_.startNameReads, 0);
    EXPECT_TRUE(world_.urls.empty());
    EXPECT_TRUE(login_->ServerUrl.isEmpty());
    EXPECT_TRUE(login_->isUnloaded());
}

// ---- check boxes ----

TEST_F(LoginWindowTest, CheckBoxesKeepAtMostOneChecked)
{
    loadAndShow();
    EXPECT_EQ(login_->chkCopyright(0)->text(), u"Cedrow");
    EXPECT_EQ(login_->chkCopyright(1)->text(), u"Birsel");
    EXPECT_EQ(login_->chkCopyright(2)->text(), u"Alderan");

    click(login_->chkCopyright(1));
    EXPECT_EQ(values(), (std::vector<int>{0, 1, 0}));
    EXPECT_FALSE(login_->IsBusy);

    click(login_->chkCopyright(2));
    EXPECT_EQ(values(), (std::vector<int>{0, 0, 1}));

    click(login_->chkCopyright(2)); // unchecking the checked box leaves none
    EXPECT_EQ(values(), (std::vector<int>{0, 0, 0}));
}

TEST_F(LoginWindowTest, AValueSetByCodeRaisesTheClickToo)
{
    loadAndShow();
    login_->chkCopyright(2)->setValue(1);
    EXPECT_EQ(values(), (std::vector<int>{0, 0, 1}));

    login_->chkCopyright(1)->setValue(2); // grayed is "not unchecked" as well
    EXPECT_EQ(values(), (std::vector<int>{0, 2, 0}));
    EXPECT_FALSE(login_->IsBusy);
}

TEST_F(LoginWindowTest, NestedClicksFindTheGuardSet)
{
    loadAndShow();
    // While the guard is up, a click changes nothing else: that is what keeps the
    // handler's own value changes from cascading.
    login_->IsBusy = true;
    click(login_->chkCopyright(1));
    EXPECT_EQ(values(), (std::vector<int>{1, 1, 0}));
    login_->IsBusy = false;

    click(login_->chkCopyright(2));
    EXPECT_EQ(values(), (std::vector<int>{0, 0, 1}));
    EXPECT_FALSE(login_->IsBusy);
}

// ---- login button ----

TEST_F(LoginWindowTest, BirselSendsTestAndCodeNine)
{
    loadAndShow();
    click(login_->chkCopyright(1));
    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(1));

    EXPECT_EQ(login_->member, u"test");
    EXPECT_EQ(login_->Title, u"Birsel");
    EXPECT_EQ(world_.copyrights, std::vector<QString>{QStringLiteral("9")});
    ASSERT_EQ(world_.urls.size(), 3u);
    EXPECT_TRUE(
        world_.urls[1].startsWith(QStringLiteral("http://srv.test:8080/softcheck!geturl.action?member=test&rnm=")));
    EXPECT_EQ(world_.urls[2], u"contact:test");
    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_TRUE(login_->isUnloaded());
    EXPECT_FALSE(login_->isVisible());

    click(login_->cmdLogin()); // a click that reaches the unloaded window does nothing
    EXPECT_EQ(login_->lookupPhase(), loginlogic::LookupPhase::Unloaded) << "no lookup started";
    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_EQ(world_.urls.size(), 3u);
}

TEST_F(LoginWindowTest, WhileAskingTheWindowLivesButOnlyTheWayOutCounts)
{
    loadAndShow();
    click(login_->chkCopyright(1));
    const QPoint start = login_->pos();
    clickLoginAndWhileAsking([this, start] {
        EXPECT_EQ(login_->lookupPhase(), loginlogic::LookupPhase::LookingUp);
        EXPECT_TRUE(login_->connectingLabel()->isVisible());
        EXPECT_EQ(static_cast<QLabel*>(login_->connectingLabel())->text(),
                  QString::fromUtf16(u"正在连接服务器… 第 1 次尝试"));
        EXPECT_EQ(login_->cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(login_->cmdLogin()->cursor().shape(), Qt::WaitCursor);
        EXPECT_NE(login_->picClose()->cursor().shape(), Qt::WaitCursor) << "the way out looks clickable";

        // The window keeps painting: a repaint request is served while the lookup runs.
        login_->repaint();
        EXPECT_FALSE(login_->grab().isNull());

        // Everything else is dropped, not kept for later.
        click(login_->chkCopyright(2));
        click(login_->lnkLeaveWord());
        click(login_->PicMin());
        click(login_->cmdLogin());
        QTest::keyClick(login_.get(), Qt::Key_Return);
        QTest::keyClick(login_.get(), Qt::Key_Tab);
        send(login_.get(), QEvent::MouseButtonPress, QPointF(30, 200), Qt::LeftButton, Qt::LeftButton);
        send(login_.get(), QEvent::MouseMove, QPointF(60, 150), Qt::NoButton, Qt::LeftButton);
        send(login_.get(), QEvent::MouseButtonRelease, QPointF(60, 150), Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(values(), (std::vector<int>{0, 1, 0}));
        EXPECT_EQ(login_->pos(), start) << "no dragging while asking";
        EXPECT_FALSE(login_->isMinimized());
    });
    QApplication::processEvents();

    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_EQ(login_->Title, u"Birsel");
    EXPECT_TRUE(world_.opened.empty());
    EXPECT_EQ(world_.urls.size(), 3u) << "one lookup only";
    EXPECT_EQ(login_->lookupPhase(), loginlogic::LookupPhase::Unloaded);
}

TEST_F(LoginWindowTest, TheClosePictureAndEscapeEndWhileAsking)
{
    for (const bool byKey : {false, true}) {
        SCOPED_TRACE(byKey ? "Escape" : "close picture");
        world_ = World{};
        SetUp();
        loadAndShow();
        clickLoginAndWhileAsking([this, byKey] {
            if (byKey)
                QTest::keyClick(login_.get(), Qt::Key_Escape);
            else
                click(login_->picClose());
            EXPECT_EQ(world_.ended, 1) << "at once, not after the answers";
            EXPECT_FALSE(login_->isVisible());
        });
        EXPECT_EQ(world_.mainShown, 0) << "no hand-off after the way out was taken";
        EXPECT_EQ(world_.ended, 1);
        EXPECT_TRUE(login_->isUnloaded());
    }
}

TEST_F(LoginWindowTest, InputReachingTheWindowAfterTheHandOffIsDropped)
{
    loadAndShow();
    // What the user did while the hand-off kept the window busy arrives after it.
    login_->services().showMain = [this] {
        ++world_.mainShown;
        const auto post = [this](QWidget* target, QEvent::Type type) {
            QApplication::postEvent(
                target,
                new QMouseEvent(type, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
        };
        post(login_->picClose(), QEvent::MouseButtonPress);
        post(login_->picClose(), QEvent::MouseButtonRelease);
        post(login_->lnkLeaveWord(), QEvent::MouseButtonPress);
        post(login_->lnkLeaveWord(), QEvent::MouseButtonRelease);
        QApplication::postEvent(login_.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(1));
    QApplication::processEvents();
    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_EQ(world_.ended, 0) << "a close click from before the hand-off ended the program";
    EXPECT_TRUE(world_.opened.empty());
}

TEST_F(LoginWindowTest, TheWindowStaysUntilTheMainWindowIsOnScreen)
{
    std::function<void()> onScreen;
    login_->services().mainOnScreen = [&onScreen](std::function<void()> then) { onScreen = std::move(then); };
    loadAndShow();
    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(1));
    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_TRUE(login_->isVisible()) << "nothing of ours on screen between the two windows";
    EXPECT_EQ(login_->lookupPhase(), loginlogic::LookupPhase::HandingOff);
    click(login_->picClose());
    EXPECT_EQ(world_.ended, 0) << "no way out once the hand-off has begun";

    ASSERT_TRUE(onScreen);
    onScreen();
    EXPECT_TRUE(login_->isUnloaded());
    EXPECT_FALSE(login_->isVisible());
}

TEST_F(LoginWindowTest, ARequestThatThrowsEndsTheLookupWithoutAnAddress)
{
    login_->services().requests = [] {
        return loginlogic::GetRequest(
            [](const std::u16string&) -> std::u16string { throw std::runtime_error("broken"); });
    };
    loadAndShow();
    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(1));
    EXPECT_EQ(world_.mainShown, 0);
    EXPECT_TRUE(login_->VisitUrl.isEmpty());
    EXPECT_EQ(login_->lookupPhase(), loginlogic::LookupPhase::Idle) << "the window is the user's again";
    EXPECT_TRUE(login_->isVisible());
    EXPECT_FALSE(login_->connectingLabel()->isVisible());
    EXPECT_NE(login_->cursor().shape(), Qt::WaitCursor);
}

TEST_F(LoginWindowTest, SeveralCheckedTheHighestWins)
{
    loadAndShow();
    login_->IsBusy = true;
    login_->chkCopyright(1)->setValue(1);
    login_->chkCopyright(2)->setValue(1);
    login_->IsBusy = false;
    world_.addressAnswer = u"mireth_url:null";

    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(1));

    EXPECT_EQ(world_.copyrights, (std::vector<QString>{QStringLiteral("0"), QStringLiteral("9"), QStringLiteral("1")}));
    EXPECT_EQ(login_->member, u"qv1");
    EXPECT_EQ(login_->Title, u"Alderan");
    EXPECT_EQ(world_.mainShown, 0) << "no address: the window stays";
    EXPECT_TRUE(login_->isVisible());
}

TEST_F(LoginWindowTest, NothingCheckedNothingAsked)
{
    loadAndShow();
    click(login_->chkCopyright(0));
    ASSERT_EQ(values(), (std::vector<int>{0, 0, 0}));
    click(login_->cmdLogin());
    EXPECT_EQ(login_->lookupPhase(), loginlogic::LookupPhase::Idle) << "no lookup started";
    EXPECT_TRUE(world_.urls.empty());
    EXPECT_TRUE(login_->member.isEmpty());
    EXPECT_EQ(world_.mainShown, 0);
}

TEST_F(LoginWindowTest, FailedLookupCanBeRetried)
{
    loadAndShow();
    world_.checkAnswer = u"";
    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(1));
    EXPECT_EQ(checkCodeRequests(), 11);
    EXPECT_TRUE(login_->isVisible());

    world_.checkAnswer = u"CODE-1";
    click(login_->cmdLogin());
    ASSERT_TRUE(lookupsEnded(2));
    EXPECT_EQ(checkCodeRequests(), 12);
    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_EQ(login_->member, u"test");
    EXPECT_EQ(world_.copyrights.back(), u"0");
}

// ---- keyboard ----

TEST_F(LoginWindowTest, KeyboardPath)
{
    loadAndShow();
    login_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(login_.get()));
    login_->chkCopyright(0)->setFocus(Qt::TabFocusReason);

    // Tab: the editions top to bottom, then the login picture and the link, then round again.
    const std::vector<QWidget*> order{login_->chkCopyright(1), login_->chkCopyright(2), login_->cmdLogin(),
                                      login_->lnkLeaveWord(), login_->chkCopyright(0)};
    for (QWidget* expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected) << expected->metaObject()->className();
    }

    // The focused picture shows it.
    const QImage plain = login_->cmdLogin()->grab().toImage();
    login_->cmdLogin()->setFocus(Qt::TabFocusReason);
    EXPECT_NE(login_->cmdLogin()->grab().toImage(), plain) << "no visible focus on the login picture";
    const QImage link = login_->lnkLeaveWord()->grab().toImage();
    login_->lnkLeaveWord()->setFocus(Qt::TabFocusReason);
    EXPECT_NE(login_->lnkLeaveWord()->grab().toImage(), link) << "no visible focus on the link";

    // Space and Return on the link open it.
    login_->lnkLeaveWord()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(login_->lnkLeaveWord(), Qt::Key_Space);
    QTest::keyClick(login_->lnkLeaveWord(), Qt::Key_Return);
    EXPECT_EQ(world_.opened.size(), 2u);

    // Return with no edition checked does nothing.
    login_->chkCopyright(0)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(login_->chkCopyright(0), Qt::Key_Space);
    ASSERT_EQ(values(), (std::vector<int>{0, 0, 0}));
    QTest::keyClick(login_->chkCopyright(0), Qt::Key_Return);
    EXPECT_EQ(login_->lookupPhase(), loginlogic::LookupPhase::Idle) << "no lookup started";
    EXPECT_TRUE(world_.urls.empty());

    // Space checks the focused edition; Return logs in with it, wherever the focus is.
    login_->chkCopyright(2)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(login_->chkCopyright(2), Qt::Key_Space);
    EXPECT_EQ(values(), (std::vector<int>{0, 0, 1}));
    QTest::keyClick(login_->chkCopyright(2), Qt::Key_Return);
    ASSERT_TRUE(lookupsEnded(1));
    EXPECT_EQ(world_.mainShown, 1);
    EXPECT_EQ(login_->member, u"qv1");
    EXPECT_EQ(world_.ended, 0);
}

TEST_F(LoginWindowTest, EscapeIsTheClosePictureAndSpaceThePicture)
{
    loadAndShow();
    world_.checkAnswer = u"";
    login_->cmdLogin()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(login_->cmdLogin(), Qt::Key_Space);
    ASSERT_TRUE(lookupsEnded(1)) << "Space on the login picture logs in";
    EXPECT_EQ(checkCodeRequests(), 11) << "Space on the login picture logs in";
    QTest::keyClick(login_->chkCopyright(0), Qt::Key_Escape);
    EXPECT_EQ(world_.ended, 1);
    EXPECT_TRUE(login_->isUnloaded());
}

TEST_F(LoginWindowTest, PictureControlsCarryAccessibleNames)
{
    const std::vector<std::pair<QWidget*, const char16_t*>> names{{login_->cmdLogin(), u"登录"},
                                                                  {login_->PicMin(), u"最小化"},
                                                                  {login_->picClose(), u"关闭"},
                                                                  {login_->lnkLeaveWord(), u"在线留言"}};
    for (const auto& [widget, name] : names) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->text(QAccessible::Name), QString::fromUtf16(name));
    }
}

// ---- the other controls ----

TEST_F(LoginWindowTest, LinkOpensTheLeavePageAndCloseEnds)
{
    loadAndShow();
    click(login_->lnkLeaveWord());
    EXPECT_EQ(world_.opened, std::vector<QString>{QStringLiteral("http://leave.test/leave.html")});
    EXPECT_EQ(login_->lnkLeaveWord()->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    QTest::mouseClick(login_->PicMin(), Qt::RightButton, {}, QPoint(3, 3));
    EXPECT_FALSE(login_->isMinimized()) << "only the left button clicks";
    click(login_->PicMin());
    EXPECT_TRUE(login_->isMinimized());
    login_->showNormal();

    click(login_->picClose());
    EXPECT_EQ(world_.ended, 1);
    EXPECT_TRUE(login_->isUnloaded());
    EXPECT_FALSE(login_->isVisible());
}

// ---- hover pictures and dragging ----

TEST_F(LoginWindowTest, HoverPicturesFollowThePointer)
{
    loadAndShow();
    QWidget* w = login_.get();
    const QPoint background(20, 200);

    QTest::mouseMove(w, background);
    EXPECT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin1.gif"));
    EXPECT_EQ(shown(login_->picClose()), colourOf("2_26.gif"));
    EXPECT_EQ(shown(login_->PicMin()), colourOf("32_51.gif"));

    QTest::mouseMove(w, login_->picClose()->geometry().center());
    EXPECT_EQ(shown(login_->picClose()), colourOf("2_35.gif"));
    EXPECT_EQ(shown(login_->PicMin()), colourOf("32_51.gif"));

    QTest::mouseMove(w, login_->PicMin()->geometry().center()); // straight across
    EXPECT_EQ(shown(login_->PicMin()), colourOf("23_54.gif"));
    EXPECT_EQ(shown(login_->picClose()), colourOf("2_26.gif"));

    QTest::mouseMove(w, login_->cmdLogin()->geometry().center());
    EXPECT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin2.gif"));
    EXPECT_EQ(shown(login_->PicMin()), colourOf("23_54.gif")) << "the other two are left alone";

    QTest::mouseMove(w, login_->lnkLeaveWord()->geometry().center());
    QTest::mouseMove(w, login_->Frame1()->geometry().center());
    QTest::mouseMove(w, login_->Frame1()->mapTo(w, login_->chkCopyright(1)->geometry().center()));
    QTest::mouseMove(w, login_->Label2()->geometry().topLeft() + QPoint(2, 2));
    EXPECT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin2.gif")) << "controls keep their mouse moves";

    QTest::mouseMove(w, background);
    EXPECT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin1.gif"));
    EXPECT_EQ(shown(login_->PicMin()), colourOf("32_51.gif"));
}

TEST_F(LoginWindowTest, PicturesAreReadAgainOnEveryMove)
{
    loadAndShow();
    QWidget* w = login_.get();
    QTest::mouseMove(w, login_->cmdLogin()->geometry().center());
    ASSERT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin2.gif"));

    writePicture(QStringLiteral("btnlogin2.gif"), QColor(1, 2, 3));
    QTest::mouseMove(w, login_->cmdLogin()->geometry().center() + QPoint(1, 0));
    EXPECT_EQ(shown(login_->cmdLogin()), QColor(1, 2, 3));
}

TEST_F(LoginWindowTest, AMissingOrBrokenPictureKeepsTheLastOne)
{
    loadAndShow();
    QWidget* w = login_.get();
    const QColor design = shown(login_->cmdLogin());

    ASSERT_TRUE(QFile::remove(pictures_.filePath(QStringLiteral("btnlogin2.gif"))));
    QTest::mouseMove(w, login_->cmdLogin()->geometry().center());
    EXPECT_EQ(shown(login_->cmdLogin()), design) << "still the design picture";

    QTest::mouseMove(w, QPoint(20, 200));
    ASSERT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin1.gif"));

    QFile broken(pictures_.filePath(QStringLiteral("btnlogin1.gif")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("GIF89a not really");
    broken.close();
    ASSERT_TRUE(QDir(pictures_.path()).mkdir(QStringLiteral("2_26.gif.d")));
    ASSERT_TRUE(QFile::remove(pictures_.filePath(QStringLiteral("2_26.gif"))));
    ASSERT_TRUE(QDir(pictures_.path()).rename(QStringLiteral("2_26.gif.d"), QStringLiteral("2_26.gif")));
    QTest::mouseMove(w, login_->picClose()->geometry().center());
    QTest::mouseMove(w, QPoint(22, 201));
    EXPECT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin1.gif"));
    EXPECT_EQ(shown(login_->picClose()), colourOf("2_35.gif")) << "a folder where the picture should be";
    EXPECT_EQ(shown(login_->PicMin()), colourOf("32_51.gif"));
}

TEST_F(LoginWindowTest, DraggingTheBackgroundWithTheLeftButtonMovesTheWindow)
{
    loadAndShow();
    QWidget* w = login_.get();
    const QPoint start = w->pos();

    // Pressed at (30, 200) px; moved by (+150, -75) twips = (+10, -5) px.
    send(w, QEvent::MouseButtonPress, QPointF(30, 200), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(login_->mouseDownTwips(), QPoint(450, 3000));
    send(w, QEvent::MouseMove, QPointF(40, 195), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w->pos(), start + QPoint(10, -5));

    // The window followed, so the grabbed point is under the pointer again: the same
    // screen position now reads (30, 200) and moves nothing.
    send(w, QEvent::MouseMove, QPointF(30, 200), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w->pos(), start + QPoint(10, -5));
    send(w, QEvent::MouseButtonRelease, QPointF(30, 200), Qt::LeftButton, Qt::NoButton);
}

TEST_F(LoginWindowTest, OtherButtonsOnlyResetThePictures)
{
    loadAndShow();
    QWidget* w = login_.get();
    const QPoint start = w->pos();
    QTest::mouseMove(w, login_->cmdLogin()->geometry().center());
    ASSERT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin2.gif"));

    send(w, QEvent::MouseButtonPress, QPointF(30, 200), Qt::RightButton, Qt::RightButton);
    send(w, QEvent::MouseMove, QPointF(60, 150), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(w->pos(), start);
    EXPECT_EQ(shown(login_->cmdLogin()), colourOf("btnlogin1.gif"));
    send(w, QEvent::MouseButtonRelease, QPointF(60, 150), Qt::RightButton, Qt::NoButton);

    send(w, QEvent::MouseButtonPress, QPointF(30, 200), Qt::LeftButton, Qt::LeftButton);
    send(w, QEvent::MouseButtonPress, QPointF(30, 200), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    send(w, QEvent::MouseMove, QPointF(60, 150), Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(w->pos(), start) << "left together with another button moves nothing";
}

TEST_F(LoginWindowTest, PressingOnAControlNeverDragsTheWindow)
{
    loadAndShow();
    QWidget* w = login_.get();
    const QPoint start = w->pos();
    for (QWidget* control : std::initializer_list<QWidget*>{
             login_->lnkLeaveWord(), login_->Label2(), login_->lblBottom(), login_->Frame1(),
             static_cast<QWidget*>(login_->chkCopyright(2)), static_cast<QWidget*>(login_->cmdLogin())}) {
        send(control, QEvent::MouseButtonPress, QPointF(3, 3), Qt::LeftButton, Qt::LeftButton);
        send(control, QEvent::MouseMove, QPointF(-60, -40), Qt::NoButton, Qt::LeftButton);
        send(control, QEvent::MouseButtonRelease, QPointF(-60, -40), Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(w->pos(), start) << control->metaObject()->className();
    }
    EXPECT_TRUE(world_.opened.empty()) << "released away from the link: no click";
    EXPECT_EQ(values(), (std::vector<int>{1, 0, 0}));
}

TEST_F(LoginWindowTest, MouseDownRoundsToTheNearestTwipTiesToEven)
{
    loadAndShow();
    QWidget* w = login_.get();
    struct Case {
        qreal pixels;
        int twips;
    };
    // 10.1 px = 151.5 twips -> 152; 10.3 px = 154.5 twips -> 154; 10.02 px = 150.3 -> 150.
    for (const Case c : {Case{10.1, 152}, Case{10.3, 154}, Case{10.02, 150}, Case{0, 0}}) {
        send(w, QEvent::MouseButtonPress, QPointF(c.pixels, c.pixels + 100), Qt::RightButton, Qt::RightButton);
        send(w, QEvent::MouseButtonRelease, QPointF(c.pixels, c.pixels + 100), Qt::RightButton, Qt::NoButton);
        EXPECT_EQ(login_->mouseDownTwips().x(), c.twips) << c.pixels;
    }
}

// ---- Base64 text method ----

TEST_F(LoginWindowTest, Base64CodeModeWords)
{
    struct Case {
        const char16_t* modo;
        const char16_t* source;
        const char16_t* result; // nullptr: no value
    };
    const Case cases[] = {
        {u"encode", u"abc", u"YWJj"},      {u"decode", u"YWJj", u"abc"},
        {u"encode", u"中文", u"1tDOxA=="}, // GBK D6 D0 CE C4, not UTF-8 or UTF-16
        {u"decode", u"1tDOxA==", u"中文"}, {u"Encode", u"abc", nullptr},
        {u"DECODE", u"YWJj", nullptr},     {u"", u"abc", nullptr},
        {u"encode ", u"abc", nullptr},
    };
    for (const Case& c : cases) {
        const Variant v = login_->Base64Code(QString::fromUtf16(c.modo), QString::fromUtf16(c.source));
        const std::string trace = QString::fromUtf16(c.modo).toStdString() + " "
            + QString::fromUtf16(c.source).toStdString();
        if (!c.result) {
            EXPECT_TRUE(v.isEmpty()) << trace;
            continue;
        }
        ASSERT_TRUE(v.isText()) << trace;
        EXPECT_EQ(v.text(), std::u16string(c.result)) << trace;
    }
}

TEST_F(LoginWindowTest, Base64CodeRoundTripsWhatGbkHolds)
{
    for (const char16_t* text : {u"", u"a", u"ab", u"登录窗口 Login 123", u"“Zentarro”客户营销管理软件"}) {
        const Variant encoded = login_->Base64Code(QStringLiteral("encode"), QString::fromUtf16(text));
        ASSERT_TRUE(encoded.isText());
        const Variant decoded = login_->Base64Code(QStringLiteral("decode"), QString::fromStdU16String(encoded.text()));
        ASSERT_TRUE(decoded.isText());
        EXPECT_EQ(decoded.text(), std::u16string(text));
    }
}

} // namespace
} // namespace talvo
