// The main window's start-up state, connection lifecycle, server events and computing poll, against the fake
// server object reached through GetActiveObject.
#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/ole/Registry.h"
#include "platform/rtl/Exceptions.h"
#include "tests/support/FakeAutomation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005);

// Everything the connection lifecycle changes, in one comparable record.
struct WindowState {
    QString version;
    std::map<QString, bool> enabled;
    QString status;
    QString result;
    int progress = 0;
    bool timerActive = false;
    int treeNodes = 0;
    int groupsItems = 0;
    int carsItems = 0;
    QString groupsText;
    QString carsText;
    bool groupInfoVisible = false;
    bool infoVisible = false;
    int checkPoints = 0;
    int trips = 0;
    std::string selectedGroupFile;
    LONG selectedDevice = 0;
    QWidget* page = nullptr;
    bool operator==(const WindowState&) const = default;
};

std::vector<QWidget*> Commands(const TMainForm& form) {
    return {form.ConnectButton,          form.DisconnectButton,       form.ShowApplicationButton,
            form.HideApplicationButton,  form.LastPositionButton,     form.LastTrackButton,
            form.CurrentPositionButton,  form.OnlineDataButton,       form.SetChPPrmsButton,
            form.ComputingButton,        form.ComputingResultButton,  form.LoadChPFromFileButton,
            form.SaveChPToFileButton,    form.ClearCheckPointsButton, form.AddCheckPointButton,
            form.ChangeCheckPointButton, form.DeleteCheckPointButton, form.FindCheckPointButton,
            form.EntriesTypeBox,         form.EntriesButton,          form.ExportToFileButton};
}

WindowState StateOf(const TMainForm& form) {
    WindowState state;
    state.version = form.VersionPanel->text();
    for (QWidget* command : Commands(form))
        state.enabled[command->objectName()] = command->isEnabled();
    state.status = form.ComputingStatusInfoLabel->text();
    state.result = form.ComputingResultInfoLabel->text();
    state.progress = form.ComputingProgressBar->value();
    state.timerActive = form.ComputingTimer->isActive();
    state.treeNodes = form.GroupsList->topLevelItemCount();
    state.groupsItems = form.GroupsComboBox->count();
    state.carsItems = form.CarsComboBox->count();
    state.groupsText = form.GroupsComboBox->Text();
    state.carsText = form.CarsComboBox->Text();
    state.groupInfoVisible = form.GroupInfoPanel->isVisibleTo(form.RightPanel);
    state.infoVisible = form.InfoPanel->isVisibleTo(form.RightPanel);
    state.checkPoints = form.ChPListView->topLevelItemCount();
    state.trips = form.TripsListView->topLevelItemCount();
    state.selectedGroupFile = form.SelectedGroupFile;
    state.selectedDevice = form.SelectedDevice;
    state.page = form.PageControl->currentWidget();
    return state;
}

std::vector<QString> EnabledCommands(const TMainForm& form) {
    std::vector<QString> names;
    for (QWidget* command : Commands(form))
        if (command->isEnabled())
            names.push_back(command->objectName());
    return names;
}

std::vector<QString> Names(std::initializer_list<const char*> names) {
    std::vector<QString> result;
    for (const char* name : names)
        result.push_back(QString::fromLatin1(name));
    return result;
}

int InstanceCount() {
    return TNavilonixAutomation::ClassServerData().InstanceCount;
}

std::ptrdiff_t IndexOf(const std::vector<std::string>& calls, const std::string& call) {
    const auto it = std::find(calls.begin(), calls.end(), call);
    return it == calls.end() ? -1 : it - calls.begin();
}

class MainConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        UiSeam::Reset();
        Fake = FakeAutomation::Create();
        Fake->Set("CurrentVersion", std::string("3.1.4"));
        Fake->RegisterAsActive();
        m_instancesBefore = InstanceCount();
        Form = std::make_unique<TMainForm>();
    }

    void TearDown() override {
        if (Automation)
            FreeAndNil(Automation);
        Form.reset();
        Fake->Revoke();
        Fake = nullptr;
        UiSeam::Reset();
        EXPECT_EQ(InstanceCount(), m_instancesBefore);
    }

    void Connect() {
        Form->ConnectButton->click();
        ASSERT_NE(Automation, nullptr);
    }

    // Lets the event loop run until the condition holds or a second has passed.
    template <class F> bool WaitFor(F condition) {
        QDeadlineTimer deadline(1000);
        while (!condition() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return condition();
    }

    ComPtr<FakeAutomation> Fake;
    std::unique_ptr<TMainForm> Form;
    int m_instancesBefore = 0;
};

TEST_F(MainConnectionTest, StartUpShowsTheWindowDisconnected) {
    EXPECT_EQ(Form->windowTitle(), "Тестовая программа управления НавиЛОКСом");
    EXPECT_EQ(Application->Title(), "НавиЛОКС OLE");
    EXPECT_EQ(Automation, nullptr);
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 0);
    EXPECT_FALSE(Form->GroupInfoPanel->isVisibleTo(Form->RightPanel));
    EXPECT_FALSE(Form->InfoPanel->isVisibleTo(Form->RightPanel));
    EXPECT_EQ(EnabledCommands(*Form), Names({"ConnectButton", "DisconnectButton"}));
    EXPECT_EQ(Form->PageControl->currentWidget(), Form->ControlSheet);
    EXPECT_TRUE(Form->SelectedGroupFile.empty());
    EXPECT_EQ(Form->SelectedDevice, 0);
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    EXPECT_EQ(Form->ComputingTimer->interval(), 100);
    EXPECT_TRUE(Form->ComputingStatusInfoLabel->text().isEmpty());
    EXPECT_TRUE(Form->ComputingResultInfoLabel->text().isEmpty());
    EXPECT_EQ(Form->ComputingProgressBar->value(), 0);
    // The inputs that stay usable while disconnected.
    const std::vector<QWidget*> inputs = {Form->GroupsComboBox, Form->CarsComboBox, Form->TakeTripsSetupBox,
                                          Form->CheckPointsBox};
    for (QWidget* input : inputs)
        EXPECT_TRUE(input->isEnabled()) << input->objectName().toStdString();
    // Nothing is read from the server before Connect.
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST_F(MainConnectionTest, ControlsCarryTheirNamesHintsAndNoTooltips) {
    const std::map<QString, QString> hints = {
        {"ConnectButton", " Подключиться к COM серверу"},
        {"DisconnectButton", " Отключиться от COM сервера"},
        {"ShowApplicationButton", " Показать приложение"},
        {"HideApplicationButton", " Скрыть приложение"},
        {"ComputingResultButton", " Перейти на вкладку \"Список рейсов\""},
        {"LoadChPFromFileButton", " Загрузить список КТ из файла"},
        {"ExportToFileButton", " Экспортировать трек в файл"},
        {"CurrentPositionButton", ""},
    };
    for (const auto& [name, hint] : hints) {
        auto* control = Form->findChild<QWidget*>(name);
        ASSERT_NE(control, nullptr) << name.toStdString();
        EXPECT_EQ(control->statusTip(), hint) << name.toStdString();
        EXPECT_TRUE(control->toolTip().isEmpty()) << name.toStdString();
    }
    EXPECT_EQ(Form->ConnectButton->objectName(), "ConnectButton");
    EXPECT_EQ(Form->ComputingTimer->objectName(), "ComputingTimer");
    EXPECT_EQ(Form->PageControl->tabText(0), "Управление");
    EXPECT_EQ(Form->PageControl->tabText(1), "Список КТ");
    EXPECT_EQ(Form->PageControl->tabText(2), "Список рейсов");
    EXPECT_EQ(Form->ComputingGroupBox->title(), " Расчёт ");
    EXPECT_EQ(Form->SetChPPrmsGroupBox->title(), " Параметры КТ ");
    EXPECT_EQ(Form->ExportTrackDialog->FilterIndex, 2);
    EXPECT_EQ(Form->ExportTrackDialog->FileName, "Track");
}

TEST_F(MainConnectionTest, WindowIsLaidOutWithTheRequiredSizes) {
    Form->show();
    ASSERT_TRUE(WaitFor([&] { return Form->isVisible(); }));
    EXPECT_EQ(Form->centralWidget()->width(), 826);
    EXPECT_EQ(Form->focusWidget(), Form->ConnectButton);
    EXPECT_EQ(Form->ControlPanel->height(), 41);
    EXPECT_EQ(Form->StatusBar->height(), 19);
    EXPECT_EQ(Form->ConnectButton->geometry(), QRect(8, 8, 100, 25));
    EXPECT_EQ(Form->DisconnectButton->x(), 116);
    EXPECT_EQ(Form->ShowApplicationButton->x(), 236);
    EXPECT_EQ(Form->HideApplicationButton->x(), 344);
    EXPECT_EQ(Form->VersionPanel->size(), QSize(100, 21));
    EXPECT_EQ(Form->VersionPanel->geometry().right(), Form->ControlPanel->width() - 1 - 8);
    EXPECT_EQ(Form->VersionLabel->geometry().right() + 1, Form->VersionPanel->x());
    EXPECT_EQ(Form->GroupsListPanel->width(), 240);
    EXPECT_EQ(Form->CheckPointsPanel->height(), 276);
    EXPECT_EQ(Form->BSplitter->handleWidth(), 6);
    EXPECT_FALSE(Form->VSplitter->childrenCollapsible());
    EXPECT_EQ(Form->GroupsListPanel->minimumWidth(), 200);
    EXPECT_EQ(Form->GroupsListPanel->maximumWidth(), 800);
    EXPECT_EQ(Form->InfoListView->columnWidth(0), 128);
    EXPECT_EQ(Form->GroupInfoListView->columnWidth(0), 148);
    EXPECT_EQ(Form->ChPListView->columnWidth(1), 167);
    EXPECT_EQ(Form->TripsListView->columnCount(), 16);

    // A picture of the window for a person to look at.
    QDir().mkpath("screenshots");
    EXPECT_TRUE(Form->grab().save("screenshots/main-window.png"));
    Form->InfoPanel->show();
    EXPECT_TRUE(Form->grab().save("screenshots/main-window-info-panel.png"));
    EXPECT_EQ(Form->OnlinePanel->width(), 279);
    Form->PageControl->setCurrentWidget(Form->CheckPointsSheet);
    EXPECT_TRUE(Form->grab().save("screenshots/main-window-check-points.png"));
    // The buttons are anchored to the top right, beside the list.
    EXPECT_EQ(Form->LoadChPFromFileButton->y(), 8);
    EXPECT_EQ(Form->CheckPointsSheet->width() - Form->LoadChPFromFileButton->geometry().right() - 1, 8);
    EXPECT_EQ(Form->ChPListView->geometry().topLeft(), QPoint(8, 8));
    EXPECT_EQ(Form->AddCheckPointButton->y(), 104);
    EXPECT_EQ(Form->FindCheckPointButton->y(), 200);
    Form->PageControl->setCurrentWidget(Form->TripsInfoSheet);
    EXPECT_TRUE(Form->grab().save("screenshots/main-window-trips.png"));
    EXPECT_EQ(Form->TripsInfoSheet->width() - Form->TripsListView->geometry().right() - 1, 116);
}

TEST_F(MainConnectionTest, WindowThatWouldRunOffTheScreenIsMovedOntoIt) {
    // At 520, 137 the designed 826 × 628 runs off the right edge of a screen 1280 pixels wide.
    Form->show();
    ASSERT_TRUE(WaitFor([&] { return Form->isVisible(); }));
    const QRect area = Form->screen()->availableGeometry();
    ASSERT_EQ(area, QRect(0, 0, 1280, 1024));
    const QRect frame = Form->frameGeometry();
    EXPECT_TRUE(area.contains(frame)) << frame.x() << ", " << frame.y() << " " << frame.width() << " x "
                                      << frame.height();
    EXPECT_EQ(frame.right(), area.right());
    EXPECT_EQ(frame.top(), 137);
    EXPECT_EQ(Form->size(), QSize(826, 628));
}

TEST_F(MainConnectionTest, DisconnectBeforeAnyConnectResetsAndCallsNothing) {
    Form->VersionPanel->setText("1.0");
    Form->GroupsComboBox->AddItem("a.grp", 1);
    Form->GroupsComboBox->SetText("typed.grp");
    Form->CarsComboBox->SetText("0001234");
    Form->ComputingResultInfoLabel->setText("OK");
    Form->ComputingResultButton->setEnabled(true);
    Form->PageControl->setCurrentWidget(Form->TripsInfoSheet);

    Form->DisconnectButton->click();

    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_EQ(Automation, nullptr);
    EXPECT_EQ(InstanceCount(), m_instancesBefore);
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");
    EXPECT_EQ(Form->GroupsComboBox->count(), 0);
    EXPECT_TRUE(Form->GroupsComboBox->Text().isEmpty());
    EXPECT_TRUE(Form->CarsComboBox->Text().isEmpty());
    EXPECT_TRUE(Form->ComputingResultInfoLabel->text().isEmpty());
    EXPECT_EQ(EnabledCommands(*Form), Names({"ConnectButton", "DisconnectButton"}));
    // The selected sheet is not the connection's business.
    EXPECT_EQ(Form->PageControl->currentWidget(), Form->TripsInfoSheet);
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(MainConnectionTest, ConnectReadsTheVersionAndEnablesTheCommands) {
    Connect();
    EXPECT_EQ(Form->VersionPanel->text(), "3.1.4");
    EXPECT_EQ(EnabledCommands(*Form),
              Names({"ConnectButton", "DisconnectButton", "ShowApplicationButton", "HideApplicationButton",
                     "LastPositionButton", "LastTrackButton", "CurrentPositionButton", "OnlineDataButton",
                     "SetChPPrmsButton", "ComputingButton", "LoadChPFromFileButton", "SaveChPToFileButton",
                     "ClearCheckPointsButton", "AddCheckPointButton", "FindCheckPointButton"}));
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Готов");
    EXPECT_EQ(Fake->SinkCount(), 1u);
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
    // The check point list is not read on connect.
    EXPECT_TRUE(Fake->CallsOf("get_CheckPointsNum").empty());
}

TEST_F(MainConnectionTest, ConnectStepsReachTheServerInOrder) {
    Connect();
    const std::vector<std::string>& calls = Fake->Calls();
    ASSERT_GE(calls.size(), 4u);
    // Connect (with its event connection), then the computing poll, then the version, then the tree.
    EXPECT_EQ(calls[0], "Advise");
    EXPECT_EQ(calls[1], "get_ComputingBusy");
    EXPECT_EQ(calls[2], "get_CurrentVersion");
    const std::ptrdiff_t tree = IndexOf(calls, "WaitForInitializing()");
    EXPECT_GT(tree, 2);
    EXPECT_GT(IndexOf(calls, "get_GroupsNum"), tree);
}

TEST_F(MainConnectionTest, ConnectTwiceCreatesOneWrapperAndRereadsTheVersion) {
    Connect();
    TNavilonixAutomation* first = Automation;
    Fake->Set("CurrentVersion", std::string("3.2.0"));
    Fake->ClearCalls();

    Form->ConnectButton->click();

    EXPECT_EQ(Automation, first);
    EXPECT_EQ(InstanceCount(), m_instancesBefore + 1);
    EXPECT_EQ(Form->VersionPanel->text(), "3.2.0");
    EXPECT_TRUE(Fake->CallsOf("Advise").empty());
    EXPECT_EQ(Fake->CallsOf("get_CurrentVersion").size(), 1u);
    EXPECT_EQ(Fake->CallsOf("WaitForInitializing").size(), 1u);
    // The poll belongs to the creation and does not run again.
    EXPECT_TRUE(Fake->CallsOf("get_ComputingBusy").empty());
}

TEST_F(MainConnectionTest, DisconnectReleasesTheServerAndResetsTheWindow) {
    const WindowState atStart = StateOf(*Form);
    Connect();
    Form->ComputingResultInfoLabel->setText("OK");
    Form->ComputingResultButton->setEnabled(true);
    Form->ChangeCheckPointButton->setEnabled(true);
    Form->ExportToFileButton->setEnabled(true);
    new QTreeWidgetItem(Form->ChPListView, QStringList{"КТ"});
    Fake->ClearCalls();

    Form->DisconnectButton->click();

    EXPECT_EQ(Automation, nullptr);
    EXPECT_EQ(InstanceCount(), m_instancesBefore);
    EXPECT_EQ(Fake->Calls(), std::vector<std::string>{"Unadvise"});
    EXPECT_EQ(Fake->SinkCount(), 0u);
    EXPECT_EQ(StateOf(*Form), atStart);
}

TEST_F(MainConnectionTest, FirstServerCallAfterAConnectFailureConnects) {
    Fake->Revoke();
    Form->ConnectButton->click();
    ASSERT_NE(Automation, nullptr);
    Fake->RegisterAsActive();

    // The wrapper exists, so the creation is skipped; the version read connects it.
    Form->ConnectButton->click();

    EXPECT_EQ(Form->VersionPanel->text(), "3.1.4");
    EXPECT_EQ(Fake->Calls().front(), "Advise");
    EXPECT_TRUE(Form->LastPositionButton->isEnabled());
    EXPECT_EQ(InstanceCount(), m_instancesBefore + 1);
}

TEST_F(MainConnectionTest, ServerCloseEventLeavesTheWindowAsDisconnectDoes) {
    Connect();
    Form->DisconnectButton->click();
    const WindowState afterDisconnect = StateOf(*Form);
    Connect();
    ASSERT_EQ(Fake->SinkCount(), 1u);

    Fake->RaiseEvent(DISPID_OnCloseServer);

    EXPECT_EQ(Automation, nullptr);
    EXPECT_EQ(InstanceCount(), m_instancesBefore);
    EXPECT_EQ(Fake->SinkCount(), 0u);
    EXPECT_EQ(StateOf(*Form), afterDisconnect);
    // The wrapper destroyed inside its own event returned cleanly: nothing was reported.
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(MainConnectionTest, ClosingTheWindowWhileConnectedDisconnectsFirst) {
    Connect();
    Form->show();
    Fake->ClearCalls();

    EXPECT_TRUE(Form->close());

    EXPECT_EQ(Automation, nullptr);
    EXPECT_EQ(InstanceCount(), m_instancesBefore);
    EXPECT_EQ(Fake->Calls(), std::vector<std::string>{"Unadvise"});
}

TEST_F(MainConnectionTest, ClosingTheWindowWhileDisconnectedCallsNothing) {
    Form->show();
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(MainConnectionTest, ConnectWithoutAServerShowsClassNotRegistered) {
    Fake->Revoke();

    Form->ConnectButton->click();

    ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u);
    const UiSeam::TShown box = UiSeam::LastShown();
    EXPECT_EQ(box.caption, "НавиЛОКС OLE");
    EXPECT_EQ(box.flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(box.text, "Class not registered, ClassID: {7166C02F-CFCE-4856-AB71-40F9329297BB}");
    // The remaining steps did not run; the wrapper stays created with its handlers.
    EXPECT_NE(Automation, nullptr);
    EXPECT_EQ(EnabledCommands(*Form), Names({"ConnectButton", "DisconnectButton"}));
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST_F(MainConnectionTest, SecondConnectWithoutAServerLeavesTheButtonsAsTheyWere) {
    Fake->Revoke();
    Form->ConnectButton->click();
    Form->ConnectButton->click();

    ASSERT_EQ(UiSeam::ShownBoxes().size(), 2u);
    EXPECT_EQ(UiSeam::LastShown().text, "Class not registered, ClassID: {7166C02F-CFCE-4856-AB71-40F9329297BB}");
    EXPECT_EQ(EnabledCommands(*Form), Names({"ConnectButton", "DisconnectButton"}));
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");

    // Once the server is there, the next press connects and shows the computing status as a first connect does.
    Fake->RegisterAsActive();
    Form->ConnectButton->click();
    EXPECT_EQ(Form->VersionPanel->text(), "3.1.4");
    EXPECT_TRUE(Form->ShowApplicationButton->isEnabled());
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Готов");
}

TEST_F(MainConnectionTest, PollShowsBusyWithPercentsThenReady) {
    Fake->Set("ComputingBusy", LONG{1});
    Fake->Set("ComputingPercents", LONG{42});
    Connect();
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Занят");
    EXPECT_EQ(Form->ComputingProgressBar->value(), 42);
    EXPECT_TRUE(Form->ComputingTimer->isActive());

    // The timer polls on its own; an idle server stops it.
    Fake->Set("ComputingPercents", LONG{77});
    ASSERT_TRUE(WaitFor([&] { return Form->ComputingProgressBar->value() == 77; }));
    Fake->Set("ComputingBusy", LONG{0});
    ASSERT_TRUE(WaitFor([&] { return !Form->ComputingTimer->isActive(); }));
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Готов");
    EXPECT_EQ(Form->ComputingProgressBar->value(), 0);

    Form->DisconnectButton->click();
    EXPECT_TRUE(Form->ComputingStatusInfoLabel->text().isEmpty());
    EXPECT_FALSE(Form->ComputingTimer->isActive());
}

TEST_F(MainConnectionTest, PollKeepsOutOfRangePercentsInsideTheBar) {
    Connect();
    Form->ComputingProgressBar->setValue(50);
    Fake->Set("ComputingBusy", LONG{1});
    Fake->Set("ComputingPercents", LONG{250});
    Form->ComputingTimerTimer();
    EXPECT_EQ(Form->ComputingProgressBar->value(), 100);
    Fake->Set("ComputingPercents", LONG{-5});
    Form->ComputingTimerTimer();
    EXPECT_EQ(Form->ComputingProgressBar->value(), 0);
}

TEST_F(MainConnectionTest, PollWhileDisconnectedStopsTheTimerAndEmptiesTheStatus) {
    Form->ComputingTimer->start();
    Form->ComputingStatusInfoLabel->setText("Занят");
    Form->ComputingProgressBar->setValue(30);
    Form->ComputingTimerTimer();
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    EXPECT_TRUE(Form->ComputingStatusInfoLabel->text().isEmpty());
    EXPECT_EQ(Form->ComputingProgressBar->value(), 0);
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST_F(MainConnectionTest, EndEventShowsTheResult) {
    Connect();
    Form->ComputingTimer->start();
    Fake->Set("ComputingCheck", LONG{1});
    Fake->ClearCalls();

    Fake->RaiseEvent(DISPID_OnEndComputing);

    EXPECT_EQ(Form->ComputingResultInfoLabel->text(), "OK");
    EXPECT_TRUE(Form->ComputingResultButton->isEnabled());
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Готов");
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    // The poll, the check, then the trips list's fill (no trips here).
    EXPECT_EQ(Fake->Calls(),
              (std::vector<std::string>{"get_ComputingBusy", "get_ComputingCheck", "get_TripsNum", "get_TripIndex"}));

    Fake->Set("ComputingCheck", LONG{0});
    new QTreeWidgetItem(Form->TripsListView, QStringList{"1"});
    Fake->RaiseEvent(DISPID_OnEndComputing);
    EXPECT_TRUE(Form->ComputingResultInfoLabel->text().isEmpty());
    EXPECT_FALSE(Form->ComputingResultButton->isEnabled());
    // The trips list is refilled whatever the check said.
    EXPECT_EQ(Form->TripsListView->topLevelItemCount(), 0);
}

TEST_F(MainConnectionTest, EndEventWhileDisconnectedOnlyPolls) {
    Form->ComputingResultInfoLabel->setText("OK");
    Form->ComputingResultButton->setEnabled(true);
    new QTreeWidgetItem(Form->TripsListView, QStringList{"1"});
    Form->ComputingTimer->start();
    Form->ComputingStatusInfoLabel->setText("Занят");
    Form->ComputingProgressBar->setValue(30);

    Form->AutomationEndComputing(nullptr);

    EXPECT_EQ(Form->ComputingResultInfoLabel->text(), "OK");
    EXPECT_TRUE(Form->ComputingResultButton->isEnabled());
    EXPECT_EQ(Form->TripsListView->topLevelItemCount(), 1);
    EXPECT_TRUE(Form->ComputingStatusInfoLabel->text().isEmpty());
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    EXPECT_EQ(Form->ComputingProgressBar->value(), 0);
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST_F(MainConnectionTest, FailedReadAnsweredYesStopsTheHandlerWithThePromptsMessage) {
    Fake->Fail("get_CurrentVersion", kFail);
    UiSeam::SetNextAnswer(IDYES);

    Form->ConnectButton->click();

    const std::vector<UiSeam::TShown>& shown = UiSeam::ShownBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "HRCHECK: ");
    EXPECT_EQ(shown[0].flags, MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
    EXPECT_TRUE(shown[0].text.startsWith("'GetDefaultInterface()->get_CurrentVersion((BSTR*)&Value)': "));
    EXPECT_EQ(shown[1].caption, "НавиЛОКС OLE");
    EXPECT_EQ(shown[1].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(shown[0].text, shown[1].text + "\nPress [Y]es to terminate, [N]o to continue and [C]ancel to Debug");
    // Steps up to the failed read ran; the rest did not.
    EXPECT_TRUE(Form->ShowApplicationButton->isEnabled());
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");
    EXPECT_FALSE(Form->LastPositionButton->isEnabled());
    EXPECT_TRUE(Fake->CallsOf("WaitForInitializing").empty());
}

TEST_F(MainConnectionTest, FailedReadAnsweredNoGoesOnWithAnEmptyVersion) {
    Fake->Fail("get_CurrentVersion", kFail);
    UiSeam::SetNextAnswer(IDNO);

    Form->ConnectButton->click();

    ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u);
    EXPECT_EQ(UiSeam::LastShown().caption, "HRCHECK: ");
    EXPECT_TRUE(Form->VersionPanel->text().isEmpty());
    EXPECT_TRUE(Form->LastPositionButton->isEnabled());
}

TEST_F(MainConnectionTest, ErrorInAnEventHandlerIsShownAndGoesNoFurther) {
    Connect();
    Fake->Set("ComputingCheck", LONG{1});
    Fake->Fail("get_ComputingCheck", kFail);
    UiSeam::SetNextAnswer(IDYES);

    Fake->RaiseEvent(DISPID_OnEndComputing);

    ASSERT_EQ(UiSeam::ShownBoxes().size(), 2u);
    EXPECT_EQ(UiSeam::LastShown().flags, MB_OK | MB_ICONERROR);
    EXPECT_TRUE(UiSeam::LastShown().text.contains("get_ComputingCheck"));
    EXPECT_TRUE(Form->ComputingResultInfoLabel->text().isEmpty());
    // The console goes on: the wrapper still serves calls.
    EXPECT_NE(Automation, nullptr);
    Form->ShowApplicationButton->click();
    EXPECT_EQ(Fake->Calls().back(), "ShowApplication()");
}

TEST_F(MainConnectionTest, ShowAndHideCallTheServerAndChangeNothing) {
    Connect();
    const WindowState before = StateOf(*Form);
    Fake->ClearCalls();
    Form->ShowApplicationButton->click();
    Form->HideApplicationButton->click();
    EXPECT_EQ(Fake->Calls(), (std::vector<std::string>{"ShowApplication()", "HideApplication()"}));
    EXPECT_EQ(StateOf(*Form), before);
}

TEST_F(MainConnectionTest, EventsWithoutASelectedVehicleChangeNothing) {
    Connect();
    Fake->ClearCalls();
    Fake->RaiseEvent(DISPID_OnChangeParameters);
    Fake->RaiseEvent(DISPID_OnReceiveOnlineData);
    Fake->RaiseEvent(DISPID_OnEndFieldsComputing);
    Fake->RaiseEvent(200);
    Fake->RaiseEvent(207);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(MainConnectionTest, ChangedCarsListsRebuildTheTree) {
    Connect();
    Fake->ClearCalls();
    Fake->RaiseEvent(DISPID_OnChangeCarsLists);
    EXPECT_EQ(Fake->CallsOf("WaitForInitializing").size(), 1u);
    EXPECT_EQ(Fake->CallsOf("get_GroupsNum").size(), 1u);
}

TEST_F(MainConnectionTest, CloseEventDuringTheFailurePromptWaitsUntilTheHandlerHasReturned) {
    FakeGroup group;
    group.fields = {{"GroupName", std::string("Москва")}, {"GroupFileName", std::string("moscow.grp")}};
    group.cars.push_back({{"CarDevice", LONG{21999}}, {"CarModel", std::string("КамАЗ")}});
    Fake->SetFleet({group});
    Connect();
    QTreeWidgetItem* vehicle = Form->GroupsList->topLevelItem(0)->child(0);
    ASSERT_NE(vehicle, nullptr);

    // The server closes while the prompt for a failed read of the vehicle panel is on screen.
    Fake->Fail("get_CarNumber", kFail);
    int closes = 0;
    UiSeam::SetWhileShown([&](const UiSeam::TShown& shown) {
        if (shown.caption == "HRCHECK: " && closes++ == 0)
            Fake->RaiseEvent(DISPID_OnCloseServer);
    });
    UiSeam::SetNextAnswer(IDNO);
    Form->GroupsList->setCurrentItem(vehicle);

    // The panel fill went on to its end with the server still connected, then the close event disconnected.
    EXPECT_EQ(closes, 1);
    EXPECT_GE(IndexOf(Fake->Calls(), "Unadvise"), IndexOf(Fake->Calls(), "get_CarLastTime"));
    EXPECT_EQ(Automation, nullptr);
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 0);
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");
}

TEST_F(MainConnectionTest, EventRaisedInsideACallRunsFromTheEventLoopAfterTheHandler) {
    Connect();
    Fake->ClearCalls();
    // Raised from inside a server call of the rebuild (as an in-process server may): held back until the
    // handler has returned, then delivered by the event loop.
    int raised = 0;
    Fake->OnCall("get_GroupsNum", [&](std::vector<FakeValue>&, FakeValue&) {
        if (raised++ == 0)
            Fake->RaiseEvent(DISPID_OnChangeCarsLists);
        return false;
    });
    Form->ConnectButton->click();
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(Fake->CallsOf("WaitForInitializing").size(), 1u);
    EXPECT_EQ(Fake->Calls().back(), "get_TripIndex"); // the click ran to its end first
    ASSERT_TRUE(WaitFor([&] { return Fake->CallsOf("WaitForInitializing").size() == 2u; }));
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
    EXPECT_NE(Automation, nullptr);
}

// The server closes from inside a call of a fill, as an in-process server may: the fill ends with the server it
// started with, and the close event disconnects afterwards, from the event loop.
class CloseInsideAFillTest : public MainConnectionTest {
protected:
    void CloseInsideTheFirst(const char* member) {
        Fake->OnCall(member, [this, raised = false](std::vector<FakeValue>&, FakeValue&) mutable {
            if (!std::exchange(raised, true))
                Fake->RaiseEvent(DISPID_OnCloseServer);
            return false;
        });
    }

    void ExpectDisconnectedAfterwards() {
        ASSERT_TRUE(WaitFor([] { return Automation == nullptr; }));
        EXPECT_EQ(Form->VersionPanel->text(), "- - -");
        EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 0);
        EXPECT_EQ(Form->TripsListView->topLevelItemCount(), 0);
        EXPECT_FALSE(Form->ComputingTimer->isActive());
        EXPECT_TRUE(UiSeam::ShownBoxes().empty());
    }
};

TEST_F(CloseInsideAFillTest, TreeRebuild) {
    FakeGroup moscow;
    moscow.fields = {{"GroupName", std::string("Москва")}, {"GroupFileName", std::string("moscow.grp")}};
    moscow.cars = {{{"CarDevice", LONG{1}}, {"CarModel", std::string("КамАЗ")}},
                   {{"CarDevice", LONG{2}}, {"CarModel", std::string("ГАЗель")}}};
    FakeGroup buses = moscow;
    buses.fields["GroupName"] = std::string("Автобусы");
    Fake->SetFleet({moscow, buses});
    Connect();
    CloseInsideTheFirst("get_GroupCarsNum");

    Fake->RaiseEvent(DISPID_OnChangeCarsLists);

    ASSERT_NE(Automation, nullptr);
    ASSERT_EQ(Form->GroupsList->topLevelItemCount(), 2);
    EXPECT_EQ(Form->GroupsList->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(Form->GroupsList->topLevelItem(1)->childCount(), 2);
    ExpectDisconnectedAfterwards();
}

TEST_F(CloseInsideAFillTest, TripsFill) {
    const FakeRecord trip{{"TripStartRealTime", std::string("01.05.2009 08:00:00")},
                          {"TripEndRealTime", std::string("01.05.2009 09:00:00")}};
    Fake->SetList("TripsNum", "TripIndex", {trip, trip, trip});
    Connect();
    CloseInsideTheFirst("get_TripEndRealTime");

    Fake->RaiseEvent(DISPID_OnEndComputing);

    ASSERT_NE(Automation, nullptr);
    ASSERT_EQ(Form->TripsListView->topLevelItemCount(), 3);
    EXPECT_EQ(Form->TripsListView->topLevelItem(2)->text(2), "01.05.2009 09:00:00");
    EXPECT_EQ(Form->TripsListView->selectedItems().size(), 1);
    ExpectDisconnectedAfterwards();
}

TEST_F(CloseInsideAFillTest, Poll) {
    Connect();
    Fake->Set("ComputingBusy", LONG{1});
    Fake->Set("ComputingPercents", LONG{64});
    CloseInsideTheFirst("get_ComputingBusy");

    Form->ComputingTimerTimer();

    ASSERT_NE(Automation, nullptr);
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Занят");
    EXPECT_EQ(Form->ComputingProgressBar->value(), 64);
    ExpectDisconnectedAfterwards();
    EXPECT_TRUE(Form->ComputingStatusInfoLabel->text().isEmpty());
    EXPECT_EQ(Form->ComputingProgressBar->value(), 0);
}

// A poll read that fails while the timer runs, as when the server has died: the prompt's own message loop goes on
// running the timer, so a timer still running under the prompt would stack one prompt on another. The prompt's
// loop is stood in for by a tick of the timer for as long as it runs.
class FailingPollTest : public MainConnectionTest, public ::testing::WithParamInterface<int> {};

TEST_P(FailingPollTest, GivesOnePromptWhateverTheAnswer) {
    Fake->Set("ComputingBusy", LONG{1});
    Connect();
    ASSERT_TRUE(Form->ComputingTimer->isActive());
    Fake->Fail("get_ComputingBusy", static_cast<HRESULT>(0x800706BA));
    UiSeam::SetNextAnswer(GetParam());
    int prompts = 0;
    UiSeam::SetWhileShown([&](const UiSeam::TShown& shown) {
        if (shown.caption != "HRCHECK: " || ++prompts > 3)
            return;
        if (Form->ComputingTimer->isActive())
            QMetaObject::invokeMethod(Form->ComputingTimer, "timeout");
    });

    QMetaObject::invokeMethod(Form->ComputingTimer, "timeout");

    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    // Yes raises the error and Cancel, without a debugger, reports the break: one error box each.
    const std::size_t errorBoxes = GetParam() == IDNO ? 0u : 1u;
    EXPECT_EQ(UiSeam::ShownBoxes().size(), 1u + errorBoxes);
}

INSTANTIATE_TEST_SUITE_P(Answers, FailingPollTest, ::testing::Values(IDYES, IDNO, IDCANCEL),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == IDYES ? "Yes" : info.param == IDNO ? "No" : "Cancel");
                         });

} // namespace

namespace {

// Another machine, as the runtime's transport would reach it: hands out the fake or fails as a link would.
class RemoteTransport final : public ComTransport {
public:
    explicit RemoteTransport(FakeAutomation* fake) : m_fake(fake) {}
    HRESULT GetActiveObject(REFCLSID, IUnknown**) override { return MK_E_UNAVAILABLE; }
    HRESULT CreateInstance(REFCLSID, REFIID, void**, std::string*) override { return REGDB_E_CLASSNOTREG; }
    HRESULT CreateRemoteInstance(REFCLSID, const std::string& machine, REFIID iid, void** object,
                                 std::string* detail) override {
        machines.push_back(machine);
        if (!reachable) {
            *detail = "ssh: connect to host fleet-01 port 22: Connection refused";
            return RPC_S_SERVER_UNAVAILABLE_HR;
        }
        return static_cast<INavilonixAutomation*>(m_fake)->QueryInterface(iid, object);
    }
    HRESULT PublishClassObject(REFCLSID, IUnknown*) override { return S_OK; }
    void RevokeClassObject(REFCLSID) override {}
    HRESULT PublishActiveObject(REFCLSID, IUnknown*) override { return S_OK; }
    void RevokeActiveObject(REFCLSID) override {}
    bool IsConnected(IUnknown*) override { return linkUp; }
    void SetObjectLostHandler(std::function<void()> handler) override { lost = std::move(handler); }

    bool reachable = false;
    bool linkUp = true;
    std::function<void()> lost;
    std::vector<std::string> machines;

private:
    FakeAutomation* m_fake;
};

} // namespace

TEST_F(MainConnectionTest, AServerOnAnotherMachineIsUsedInsteadOfTheLocalOneAndNamedInTheStatusBar) {
    EXPECT_EQ(Form->RemoteMachineLabel, nullptr); // without a remote machine the status bar is as it was
    RemoteTransport remote(Fake.get());
    ComTransport* previous = CoSetTransport(&remote);
    Form->SetRemoteMachine("ops@fleet-01");
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Компьютер сервера: ops@fleet-01");

    // The link fails: SSH's words reach the user; the local server is not taken instead.
    Form->ConnectButton->click();
    EXPECT_EQ(UiSeam::LastShown().text,
              "The RPC server is unavailable, ClassID: {7166C02F-CFCE-4856-AB71-40F9329297BB}\n"
              "ops@fleet-01: ssh: connect to host fleet-01 port 22: Connection refused");
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Компьютер сервера: ops@fleet-01");

    remote.reachable = true;
    Form->ConnectButton->click();
    EXPECT_EQ(Form->VersionPanel->text(), "3.1.4");
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Подключено к компьютеру ops@fleet-01");
    EXPECT_EQ(remote.machines, (std::vector<std::string>{"ops@fleet-01", "ops@fleet-01"}));
    EXPECT_EQ(Fake->SinkCount(), 1u);

    Form->DisconnectButton->click();
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Компьютер сервера: ops@fleet-01");
    EXPECT_EQ(Form->StatusBar->currentMessage(), ""); // the label is no hint
    CoSetTransport(previous);
}

TEST_F(MainConnectionTest, ALostLinkIsShownInTheStatusBarUntilDisconnectAndAFreshConnectShowsTheMachineAgain) {
    RemoteTransport remote(Fake.get());
    remote.reachable = true;
    ComTransport* previous = CoSetTransport(&remote);
    Form->SetRemoteMachine("ops@fleet-01");
    Form->ConnectButton->click();
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Подключено к компьютеру ops@fleet-01");

    // The runtime reports the loss from its event loop; the window keeps its controls, as on a local server's loss.
    remote.linkUp = false;
    ASSERT_TRUE(remote.lost);
    remote.lost();
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Связь с компьютером ops@fleet-01 потеряна");
    EXPECT_EQ(Form->VersionPanel->text(), "3.1.4");

    Form->DisconnectButton->click();
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Компьютер сервера: ops@fleet-01");
    remote.linkUp = true;
    Form->ConnectButton->click();
    EXPECT_EQ(Form->RemoteMachineLabel->text(), " Подключено к компьютеру ops@fleet-01");
    CoSetTransport(previous);
}

TEST_F(MainConnectionTest, ConnectAfterTheServerIsLostConnectsAnewInsteadOfReadingFromTheLostObject) {
    RemoteTransport remote(Fake.get());
    remote.reachable = true;
    ComTransport* previous = CoSetTransport(&remote);
    Form->SetRemoteMachine("ops@fleet-01");
    Form->ConnectButton->click();
    remote.linkUp = false;
    remote.lost();

    // Pressing Подключиться again is the way back: no failure prompt for each property of the lost object. (The fake
    // hands out the same object again, so the transport still calls it lost afterwards.)
    const std::size_t shown = UiSeam::ShownBoxes().size();
    Form->ConnectButton->click();
    EXPECT_EQ(UiSeam::ShownBoxes().size(), shown);
    EXPECT_EQ(remote.machines.size(), 2u);
    EXPECT_EQ(Fake->SinkCount(), 1u); // the old wrapper's sink was withdrawn

    // When the new connect fails too, the window no longer shows the lost server's data as if it were connected.
    remote.lost();
    remote.reachable = false;
    Form->ConnectButton->click();
    EXPECT_EQ(UiSeam::ShownBoxes().size(), shown + 1); // the connect error, and nothing else
    EXPECT_EQ(Form->VersionPanel->text(), "- - -");
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 0);
    EXPECT_FALSE(Form->ComputingButton->isEnabled());
    CoSetTransport(previous);
}
