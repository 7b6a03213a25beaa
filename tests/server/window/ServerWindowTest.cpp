// The server's window over an in-process object: its commands raise events, closing it closes the server, and the
// map shows what the object asks for.
#include "server/ServerWindow.h"
#include "../ObjectFixture.h"
#include "server/MapView.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTreeWidget>

using namespace navilonix::server;
using navilonix::server::testing::TempFolder;

namespace {

class ServerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        object_ = NavilonixObject::create(
            NavilonixObject::Options{WorkPaths{folder_.path()}, &window_, std::chrono::milliseconds(0), true});
        window_.setObject(object_.get());
        ComPtr<IConnectionPoint> point;
        ASSERT_TRUE(sink_.AdviseOn(static_cast<IConnectionPointContainer*>(object_.get()), point, cookie_));
    }
    void TearDown() override {
        object_->detachHost();
        object_.reset();
    }
    QAction* action(const char* name) { return window_.findChild<QAction*>(QString::fromLatin1(name)); }

    TempFolder folder_;
    ServerWindow window_;
    RecordingSink sink_;
    DWORD cookie_ = 0;
    ComPtr<NavilonixObject> object_;
};

} // namespace

TEST_F(ServerWindowTest, TheEventCommandsRaiseTheirEventsToEveryClient) {
    ASSERT_NE(action("RaiseChangeCarsListsAction"), nullptr);
    action("RaiseChangeCarsListsAction")->trigger();
    action("RaiseChangeParametersAction")->trigger();
    action("RaiseReceiveOnlineDataAction")->trigger();
    EXPECT_EQ(sink_.dispIds(),
              (std::vector<DISPID>{DISPID_OnChangeCarsLists, DISPID_OnChangeParameters, DISPID_OnReceiveOnlineData}));
    EXPECT_EQ(window_.clients(), 1u);
}

TEST_F(ServerWindowTest, ClosingTheWindowAsksToCloseTheServerInsteadOfHidingIt) {
    int requests = 0;
    window_.setCloseHandler([&]() { ++requests; });
    window_.show();
    EXPECT_FALSE(window_.close());
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(window_.isVisible());
    action("CloseServerAction")->trigger();
    EXPECT_EQ(requests, 2);
    window_.allowClose();
    EXPECT_TRUE(window_.close());
}

TEST_F(ServerWindowTest, ShowAndHideFollowTheAutomationCalls) {
    EXPECT_FALSE(window_.isVisible());
    object_->ShowApplication();
    EXPECT_TRUE(window_.isVisible());
    object_->HideApplication();
    EXPECT_FALSE(window_.isVisible());
}

TEST_F(ServerWindowTest, TheFleetAndTheLogShowWhatTheServerServes) {
    QApplication::processEvents();
    auto* fleet = window_.findChild<QTreeWidget*>(QStringLiteral("FleetTree"));
    ASSERT_NE(fleet, nullptr);
    EXPECT_EQ(fleet->topLevelItemCount(), 4);
    int vehicles = 0;
    for (int i = 0; i < fleet->topLevelItemCount(); ++i)
        vehicles += fleet->topLevelItem(i)->childCount();
    EXPECT_EQ(vehicles, 12);
    object_->GoToCarLastTrack(BStr("taxi.grp").get(), 21305);
    // However long a line the server makes, the window lays out only its start, with its length.
    window_.log(std::string(1'000'000, 'x'));
    window_.show();
    auto* log = window_.findChild<QPlainTextEdit*>(QStringLiteral("LogView"));
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->toPlainText().contains(QStringLiteral("GoToCarLastTrack(\"taxi.grp\", 21305)")));
    const QString last = log->document()->lastBlock().text();
    EXPECT_LT(last.size(), 1100);
    EXPECT_TRUE(last.endsWith(QStringLiteral("(1000000 bytes)"))) << last.right(40).toStdString();
    // The map draws the track without trouble at any size.
    auto* map = window_.findChild<MapView*>(QStringLiteral("MapView"));
    ASSERT_NE(map, nullptr);
    map->resize(400, 300);
    const QImage image = map->grab().toImage();
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 0);
    // NVX_SCREENSHOT_DIR: keep pictures of the window for a person to look at.
    if (const char* folder = std::getenv("NVX_SCREENSHOT_DIR")) {
        window_.resize(1100, 720);
        window_.show();
        QApplication::processEvents();
        window_.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/server-track.png"));
        object_->GoToCarLastPosition(BStr("taxi.grp").get(), 21305);
        QApplication::processEvents();
        window_.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/server-position.png"));
    }
}

TEST_F(ServerWindowTest, TheLogKeepsTheLatestLinesInOrderWhileHiddenAndBringsNewOnesWhileShown) {
    auto* log = window_.findChild<QPlainTextEdit*>(QStringLiteral("LogView"));
    ASSERT_NE(log, nullptr);
    for (int i = 0; i < 6000; ++i)
        window_.log("line " + std::to_string(i));
    window_.show();
    // The view holds its 5,000 lines: the latest, oldest first, each with its time.
    const QTextDocument* document = log->document();
    ASSERT_EQ(document->blockCount(), 5000);
    const QRegularExpression timed(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d line 1000$"));
    EXPECT_TRUE(timed.match(document->firstBlock().text()).hasMatch()) << document->firstBlock().text().toStdString();
    EXPECT_TRUE(document->findBlockByNumber(1).text().endsWith(QStringLiteral(" line 1001")));
    EXPECT_TRUE(document->lastBlock().text().endsWith(QStringLiteral(" line 5999")));
    // While the window is shown, a new line reaches the view with the next batch.
    window_.log("after the window was shown");
    const QDeadlineTimer deadline(10'000);
    while (!document->lastBlock().text().endsWith(QStringLiteral(" after the window was shown")) &&
           !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(document->lastBlock().text().endsWith(QStringLiteral(" after the window was shown")));
    EXPECT_EQ(document->blockCount(), 5000);
    // A batch of many lines pushes out as many of the oldest, and the rest keep their order.
    for (int i = 0; i < 3000; ++i)
        window_.log("more " + std::to_string(i));
    while (!document->lastBlock().text().endsWith(QStringLiteral(" more 2999")) && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(document->blockCount(), 5000);
    EXPECT_TRUE(document->firstBlock().text().endsWith(QStringLiteral(" line 4001")))
        << document->firstBlock().text().toStdString();
    EXPECT_TRUE(document->findBlockByNumber(1999).text().endsWith(QStringLiteral(" after the window was shown")));
    EXPECT_TRUE(document->findBlockByNumber(2000).text().endsWith(QStringLiteral(" more 0")));
}

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("TZ", "UTC", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
