// Connecting to the tracking server and letting it go, the server's events and the computing poll.
#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/InterfaceSheet.h"
#include "forms/Main.h"
#include "platform/ole/Bstr.h"
#include "platform/ole/Registry.h"
#include "platform/rtl/Exceptions.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

TMainForm* MainForm = nullptr;
TNavilonixAutomation* Automation = nullptr;

namespace {

// The tree's selected node when it is a vehicle node (level 1), else none.
QTreeWidgetItem* SelectedVehicleNode(const QTreeWidget* tree) {
    QTreeWidgetItem* node = tree->currentItem();
    if (!node || !node->isSelected() || !node->parent())
        return nullptr;
    return node;
}

} // namespace

void TMainForm::ConnectAutomation() {
    if (Automation)
        return;
    // Owned by the application object, which disposes of it at the end if it still exists then.
    Automation = new TNavilonixAutomation(Application);
    // The sender may be destroyed before a deferred handler runs; the handlers do not use it.
    Automation->OnChangeCarsLists = [this](TObject* Sender) {
        RunServerEvent([this, Sender] { AutomationChangeCarsLists(Sender); });
    };
    Automation->OnChangeParameters = [this](TObject* Sender) {
        RunServerEvent([this, Sender] { AutomationChangeParameters(Sender); });
    };
    Automation->OnEndComputing = [this](TObject* Sender) {
        RunServerEvent([this, Sender] { AutomationEndComputing(Sender); });
    };
    Automation->OnReceiveOnlineData = [this](TObject* Sender) {
        RunServerEvent([this, Sender] { AutomationReceiveOnlineData(Sender); });
    };
    Automation->OnCloseServer = [this](TObject* Sender) {
        RunServerEvent([this, Sender] { AutomationCloseServer(Sender); });
    };
    Automation->RemoteMachineName = m_remoteMachine;
    Automation->Connect();
    ComputingTimerTimer(ComputingTimer);
}

void TMainForm::DisconnectAutomation() {
    if (!Automation)
        return;
    Automation->Disconnect();
    FreeAndNil(Automation);
    ShowRemoteMachine();
    ComputingTimerTimer(ComputingTimer);
}

void TMainForm::SetRemoteMachine(const std::string& machine) {
    m_remoteMachine = machine;
    if (!RemoteMachineLabel) {
        // A normal status bar item: hints, shown as temporary messages, cover it while they are shown.
        RemoteMachineLabel = new QLabel(StatusBar);
        RemoteMachineLabel->setObjectName("RemoteMachineLabel");
        StatusBar->addWidget(RemoteMachineLabel, 1);
        // A link that breaks, or a server that goes, is shown as soon as the runtime notices it.
        if (ComTransport* transport = CoGetTransport())
            transport->SetObjectLostHandler([form = QPointer<TMainForm>(this)] {
                if (form)
                    form->ShowRemoteMachine();
            });
    }
    ShowRemoteMachine();
}

void TMainForm::ShowRemoteMachine() {
    if (!RemoteMachineLabel)
        return;
    const QString machine = QString::fromStdString(m_remoteMachine);
    if (!Automation || !Automation->Connected())
        RemoteMachineLabel->setText(" Компьютер сервера: " + machine);
    else if (!CoIsHandlerConnected(Automation->GetDefaultInterface()))
        RemoteMachineLabel->setText(" Связь с компьютером " + machine + " потеряна");
    else
        RemoteMachineLabel->setText(" Подключено к компьютеру " + machine);
}

void TMainForm::ConnectButtonClick(QObject*) {
    // A server that has gone (killed, or its link broken) cannot answer: pressing the button again is the way back.
    // The window lets the lost server go as Disconnect does, and a new wrapper connects, instead of every read
    // failing on the lost object; a connect that fails then leaves the window disconnected, not showing old data.
    if (Automation && Automation->Connected() && !CoIsHandlerConnected(Automation->GetDefaultInterface()))
        DisconnectButtonClick(DisconnectButton);
    ConnectAutomation();
    // A wrapper left unconnected by a failed connect tries again here, before anything is enabled: a second
    // failure leaves the window as it was. A fresh connection shows the computing status, as a first one does.
    if (!Automation->Connected()) {
        Automation->Connect();
        ComputingTimerTimer(ComputingTimer);
    }
    ShowApplicationButton->setEnabled(true);
    HideApplicationButton->setEnabled(true);
    BStr version(Automation->get_CurrentVersion());
    VersionPanel->setText(QString::fromStdString(version.utf8()));
    ShowRemoteMachine();
    FillGroupsList();
    for (QPushButton* button : {LastPositionButton, LastTrackButton, CurrentPositionButton, OnlineDataButton,
                                SetChPPrmsButton, ComputingButton, LoadChPFromFileButton, SaveChPToFileButton,
                                ClearCheckPointsButton, AddCheckPointButton, FindCheckPointButton})
        button->setEnabled(true);
    InterfaceSheet->SetConnected(true);
    FillTripsList();
}

void TMainForm::DisconnectButtonClick(QObject*) {
    DisconnectAutomation();
    ShowApplicationButton->setEnabled(false);
    HideApplicationButton->setEnabled(false);
    VersionPanel->setText("- - -");
    GroupsList->clear();
    GroupsComboBox->ClearItems();
    CarsComboBox->ClearItems();
    ShowSelectionInfo();
    for (QPushButton* button : {LastPositionButton, LastTrackButton, CurrentPositionButton, OnlineDataButton,
                                SetChPPrmsButton, ComputingButton})
        button->setEnabled(false);
    ComputingResultInfoLabel->clear();
    ComputingResultButton->setEnabled(false);
    ChPListView->clear();
    for (QPushButton* button : {LoadChPFromFileButton, SaveChPToFileButton, ClearCheckPointsButton, AddCheckPointButton,
                                ChangeCheckPointButton, DeleteCheckPointButton, FindCheckPointButton})
        button->setEnabled(false);
    TripsListView->clear();
    EntriesTypeBox->setEnabled(false);
    EntriesButton->setEnabled(false);
    ExportToFileButton->setEnabled(false);
    InterfaceSheet->SetConnected(false);
}

void TMainForm::ShowApplicationButtonClick(QObject*) {
    Automation->ShowApplication();
}

void TMainForm::HideApplicationButtonClick(QObject*) {
    Automation->HideApplication();
}

void TMainForm::FormClose(QObject*) {
    DisconnectAutomation();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    Guarded([this] { FormClose(this); });
    QMainWindow::closeEvent(event);
}

void TMainForm::AutomationChangeCarsLists(TObject*) {
    FillGroupsList();
}

void TMainForm::AutomationChangeParameters(TObject*) {
    if (QTreeWidgetItem* node = SelectedVehicleNode(GroupsList))
        FillDeviceInfo(node);
}

void TMainForm::AutomationReceiveOnlineData(TObject*) {
    if (QTreeWidgetItem* node = SelectedVehicleNode(GroupsList)) {
        FillDeviceInfo(node);
        FillOnlineInfo(node);
    }
}

void TMainForm::AutomationCloseServer(TObject*) {
    // Destroys the automation object from inside its own event; the wrapper is built to survive that.
    DisconnectButtonClick(DisconnectButton);
}

void TMainForm::AutomationEndComputing(TObject*) {
    ComputingTimerTimer(ComputingTimer);
    if (!Automation)
        return;
    if (Automation->get_ComputingCheck() != 0) {
        ComputingResultInfoLabel->setText("OK");
        ComputingResultButton->setEnabled(true);
    } else {
        ComputingResultInfoLabel->clear();
        ComputingResultButton->setEnabled(false);
    }
    FillTripsList();
}

void TMainForm::ComputingTimerTimer(QObject*) {
    // Stopped before any read: a failed read shows the failure prompt, whose message loop would otherwise run the
    // next ticks and stack one prompt on another. Only a server that reports itself busy starts it again.
    ComputingTimer->stop();
    if (!Automation) {
        ComputingStatusInfoLabel->clear();
        ComputingProgressBar->setValue(0);
        return;
    }
    if (Automation->get_ComputingBusy() != 0) {
        ComputingStatusInfoLabel->setText("Занят");
        // The bar ignores values outside its range; a server's out-of-range figure shows as the nearest end.
        ComputingProgressBar->setValue(std::clamp<LONG>(Automation->get_ComputingPercents(), 0, 100));
        ComputingTimer->start();
    } else {
        ComputingStatusInfoLabel->setText("Готов");
        ComputingProgressBar->setValue(0);
    }
}
