// TMainForm: the console's main window. Its implementation is split by subsystem: MainLayout.cpp (construction
// and layout), MainConnection.cpp (connecting, disconnecting, server events, computing poll), MainTree.cpp,
// MainPanels.cpp and MainPosition.cpp (groups tree, information panels, position commands) and the later
// check point and trip files.
#pragma once

#include "automation/Component.h"
#include "platform/ole/Types.h"

#include <QMainWindow>
#include <QMetaObject>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimeEdit;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TComboBox;
class TFileDialog;
class TInterfaceSheet;
class TNavilonixAutomation;
class TStatusHints;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- Window frame ---
    QFrame* ControlPanel;
    QPushButton* ConnectButton;
    QPushButton* DisconnectButton;
    QPushButton* ShowApplicationButton;
    QPushButton* HideApplicationButton;
    QLabel* VersionLabel;
    QLabel* VersionPanel;
    QStatusBar* StatusBar;
    QFrame* MainPanel;
    QSplitter* BSplitter;
    QFrame* DevicesTripsPanel;
    QSplitter* VSplitter;
    QFrame* GroupsListPanel;
    QLabel* GroupsListLabel;
    QTreeWidget* GroupsList;
    QFrame* RightPanel;
    QFrame* GroupInfoPanel;
    QLabel* GroupLabel;
    QTreeWidget* GroupInfoListView;
    QFrame* InfoPanel;
    QSplitter* ISplitter;
    QFrame* SubInfoPanel;
    QLabel* InfoLabel;
    QTreeWidget* InfoListView;
    QFrame* OnlinePanel;
    QLabel* OnlineLabel;
    QTreeWidget* OnlineListView;
    QFrame* CheckPointsPanel;
    QTabWidget* PageControl;
    QWidget* ControlSheet;
    QWidget* CheckPointsSheet;
    QWidget* TripsInfoSheet;
    TInterfaceSheet* InterfaceSheet; // every member, the server's events and the call log

    // --- Control sheet: vehicle inputs and position commands ---
    QLabel* GroupsLabel;
    TComboBox* GroupsComboBox;
    QLabel* CarsLabel;
    TComboBox* CarsComboBox;
    QPushButton* LastPositionButton;
    QPushButton* LastTrackButton;
    QPushButton* CurrentPositionButton;
    QPushButton* OnlineDataButton;
    QFrame* Bevel1;

    // --- Control sheet: computing ---
    QGroupBox* ComputingGroupBox;
    QLabel* PeriodFromLabel;
    QTimeEdit* FirstTimePicker;
    QDateEdit* FirstDatePicker;
    QLabel* PeriodToLabel;
    QTimeEdit* LastTimePicker;
    QDateEdit* LastDatePicker;
    QLabel* Label3;
    QRadioButton* GSMSourceButton;
    QRadioButton* USBSourceButton;
    QCheckBox* TakeTripsSetupBox;
    QPushButton* ComputingButton;
    QFrame* Bevel2;
    QLabel* ComputingStatusLabel;
    QLabel* ComputingStatusInfoLabel;
    QProgressBar* ComputingProgressBar;
    QLabel* ComputingResultLabel;
    QLabel* ComputingResultInfoLabel;
    QPushButton* ComputingResultButton;
    QTimer* ComputingTimer;

    // --- Control sheet: vehicle check point parameters ---
    QGroupBox* SetChPPrmsGroupBox;
    QCheckBox* DefaultChPPrmsBox;
    QLabel* CheckPointsLabel;
    TComboBox* CheckPointsBox;
    QCheckBox* CallPointsByParkBox;
    QLineEdit* CallPointsByParkTimeEdit;
    QCheckBox* CallPointsBySensBox;
    QComboBox* CallPointsBySensIndexBox;
    QLineEdit* CallPointsBySensTimeEdit;
    QLabel* GeoZonesLabel;
    TComboBox* GeoZonesBox;
    QPushButton* SetChPPrmsButton;

    // --- Check point list sheet ---
    QTreeWidget* ChPListView;
    QPushButton* LoadChPFromFileButton;
    QPushButton* SaveChPToFileButton;
    QPushButton* ClearCheckPointsButton;
    QPushButton* AddCheckPointButton;
    QPushButton* ChangeCheckPointButton;
    QPushButton* DeleteCheckPointButton;
    QPushButton* FindCheckPointButton;
    TFileDialog* LoadChPDialog;
    TFileDialog* SaveChPDialog;

    // --- Trips sheet ---
    QTreeWidget* TripsListView;
    QComboBox* EntriesTypeBox;
    QPushButton* EntriesButton;
    QPushButton* ExportToFileButton;
    TFileDialog* ExportTrackDialog;

    // The remembered selection of the groups tree: the group's vehicle file name and the vehicle's device number
    // (0 for a group or no selection).
    std::string SelectedGroupFile;
    LONG SelectedDevice = 0;
    // Whether a vehicle is remembered at all: device number 0 is a vehicle like any other, not "no vehicle".
    bool SelectedVehicle = false;

    // --- Connection, server events and the computing poll (MainConnection.cpp) ---
    void ConnectButtonClick(QObject* Sender = nullptr);
    void DisconnectButtonClick(QObject* Sender = nullptr);
    void ShowApplicationButtonClick(QObject* Sender = nullptr);
    void HideApplicationButtonClick(QObject* Sender = nullptr);
    // The window's close handler: disconnects; the window then closes.
    void FormClose(QObject* Sender = nullptr);
    void AutomationChangeCarsLists(TObject* Sender);
    void AutomationChangeParameters(TObject* Sender);
    void AutomationReceiveOnlineData(TObject* Sender);
    void AutomationCloseServer(TObject* Sender);
    void AutomationEndComputing(TObject* Sender);
    void ComputingTimerTimer(QObject* Sender = nullptr);

    // Runs a handler so that no error escapes into Qt: an error ends the handler and is shown with the
    // application's standard error box.
    static void Guarded(const std::function<void()>& handler);

    // --- Groups tree, information panels and position commands ---
public:
    // The tree's change handler: follows the selection with the panels and the vehicle inputs.
    void GroupsListChange();
    void GroupsComboBoxDropDown(QObject* Sender = nullptr);
    void CarsComboBoxDropDown(QObject* Sender = nullptr);
    void LastPositionButtonClick(QObject* Sender = nullptr);
    void LastTrackButtonClick(QObject* Sender = nullptr);
    void OnlineDataButtonClick(QObject* Sender = nullptr);
    void CurrentPositionButtonClick(QObject* Sender = nullptr);

private:
    // Rebuilds the tree from the server and restores the remembered selection.
    void FillGroupsList();
    // Shows the panel of the selected node and remembers the selection.
    void ShowSelectionInfo();
    void FillGroupInfo(QTreeWidgetItem* Node);
    void FillDeviceInfo(QTreeWidgetItem* Node);
    void FillOnlineInfo(QTreeWidgetItem* Node);
    // Creates the fixed rows of the three information list views (called by the constructor).
    void CreateInfoRows();
    // The tree's change handler is attached while the tree is not being rebuilt (MainLayout.cpp).
    void AttachGroupsListChange();
    void DetachGroupsListChange();
    bool GroupsListChangeAttached() const { return static_cast<bool>(m_groupsListChange); }
    // Group nodes are drawn bold, vehicle nodes in the tree's normal font (set on each node as it is added).
    void GroupsListCustomDrawItem(QTreeWidgetItem* Node);
    // A node's data value (the group's or vehicle's 1-based position at the last rebuild) and its level (0 for a
    // group, 1 for a vehicle).
    static LONG NodeData(const QTreeWidgetItem* Node);
    static int NodeLevel(const QTreeWidgetItem* Node);
    // Sorting, drop-down rows and typing limits of the vehicle file and device inputs (called by the constructor).
    void SetUpPositionControls();
    // --- end of groups tree, information panels and position commands ---

    // --- Trip computing and trips list (MainComputing.cpp) ---
public:
    void ComputingButtonClick(QObject* Sender = nullptr);
    void ComputingResultButtonClick(QObject* Sender = nullptr);
    // The trips list's selection handler: a row that becomes selected makes its trip the server's current one
    // and sets the export button by the trip's track points; unselection does nothing.
    void TripsListViewSelectItem(QObject* Sender, QTreeWidgetItem* Item, bool Selected);

private:
    // Wires the handlers of this region (called by the constructor).
    void ConnectComputingHandlers();
    // Refills the trips list from the server.
    void FillTripsList();
    // --- end of trip computing and trips list ---

    // --- Check point list page and vehicle check point parameters (MainCheckPoints.cpp) ---
public:
    // The list's selection handler: a selected row becomes the server's current check point.
    void ChPListViewSelectItem(QObject* Sender, QTreeWidgetItem* Item, bool Selected);
    void LoadChPFromFileButtonClick(QObject* Sender = nullptr);
    void SaveChPToFileButtonClick(QObject* Sender = nullptr);
    void ClearCheckPointsButtonClick(QObject* Sender = nullptr);
    void DeleteCheckPointButtonClick(QObject* Sender = nullptr);
    // The drop-down handler of both the check point and the geozone file boxes: both get the names of the
    // server's check point files.
    void CheckPointsBoxDropDown(QObject* Sender = nullptr);
    void SetChPPrmsButtonClick(QObject* Sender = nullptr);

private:
    void ConnectCheckPointHandlers();
    // Refills the check point list from the server.
    void FillChPList();
    // Runs a check point file dialog in the server's check point folder; the bare name of the chosen file
    // (no folder, no extension), or nothing when the dialog was cancelled or the connection went meanwhile.
    bool ChooseChPFile(TFileDialog& dialog, std::string& name);
    // --- end of check point list page and vehicle check point parameters ---

    // --- Check point dialogs (MainCheckPointDialogs.cpp) ---
public:
    // Enter a new check point, edit the server's current one, and ask the server which check point lies at
    // given coordinates; each in a modal dialog of its own.
    void AddCheckPointButtonClick(QObject* Sender = nullptr);
    void ChangeCheckPointButtonClick(QObject* Sender = nullptr);
    void FindCheckPointButtonClick(QObject* Sender = nullptr);

private:
    void ConnectCheckPointDialogHandlers();
    // --- end of check point dialogs ---

    // --- Trip entries and track export (MainEntries.cpp) ---
public:
    // Shows the current trip's entries of the kind picked in EntriesTypeBox in a window of their own, modally.
    void EntriesButtonClick(QObject* Sender = nullptr);
    // Asks for a file name and has the server write the current trip's track there, as PLT or KML by the
    // filter picked.
    void ExportToFileButtonClick(QObject* Sender = nullptr);

private:
    void ConnectEntriesHandlers();
    // --- end of trip entries and track export ---

    // --- The server on another machine (MainConnection.cpp) ---
public:
    // Connects to the server on `machine` ("[user@]host[:port]") instead of this machine's, and names it in the
    // status bar whenever no hint is shown there.
    void SetRemoteMachine(const std::string& machine);
    QLabel* RemoteMachineLabel = nullptr;

private:
    void ShowRemoteMachine();
    std::string m_remoteMachine;
    // --- end of the server on another machine ---

protected:
    void closeEvent(QCloseEvent* event) override;
    // The first show keeps the designed position and size where they fit the screen, else moves the window into it.
    void showEvent(QShowEvent* event) override;

private:
    friend struct TMainFormTestAccess;

    void ConnectAutomation();
    void DisconnectAutomation();

    void CreateControlPanel();
    void CreateMainPanel();
    void CreateGroupsListPanel();
    void CreateRightPanel();
    void CreatePageControl();
    void CreateControlSheet();
    void CreateVehicleCommands(QWidget* sheet);
    void CreateComputingBox(QWidget* sheet);
    void CreateCheckPointParametersBox(QWidget* sheet);
    void CreateCheckPointsSheet();
    void CreateTripsInfoSheet();
    void CreateDialogs();
    void ConnectHandlers();
    // Accessible names for screen readers: label buddies and the names of controls without a label.
    void NameControls();
    // Runs the handler, guarded, with the control as its sender when the button is clicked or the box drops down.
    void OnClick(QPushButton* button, void (TMainForm::*handler)(QObject*));
    void OnDropDown(TComboBox* box, void (TMainForm::*handler)(QObject*));

    QMetaObject::Connection m_groupsListChange;
    TStatusHints* m_hints = nullptr;
    bool m_placedOnScreen = false;
};

// The main window, application-wide.
extern TMainForm* MainForm;
// The single automation object while connected; empty while disconnected.
extern TNavilonixAutomation* Automation;
