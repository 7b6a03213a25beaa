// The main window's construction: layout, captions, hints, sizes and initial states of every control.
#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/InterfaceSheet.h"
#include "forms/Main.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent, const QString& hint = {}) {
    auto* button = Named<QPushButton>(name, caption, parent);
    button->setFixedSize(100, 25);
    button->setAutoDefault(false);
    if (!hint.isEmpty())
        SetHint(button, hint);
    return button;
}

// A borderless, left-aligned caption in the highlight colour.
QLabel* MakeCaption(const char* name, const QString& caption, QWidget* parent) {
    auto* label = Named<QLabel>(name, caption, parent);
    label->setFont(CaptionFont());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setFixedHeight(21);
    label->setForegroundRole(QPalette::Highlight);
    return label;
}

QFrame* MakePanel(const char* name, QWidget* parent) {
    auto* panel = Named<QFrame>(name, parent);
    panel->setFrameShape(QFrame::NoFrame);
    return panel;
}

// A splitter that fills `panel`, without margins.
QSplitter* MakeSplitter(const char* name, Qt::Orientation orientation, QWidget* panel) {
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = Named<QSplitter>(name, orientation, panel);
    splitter->setHandleWidth(6);
    splitter->setChildrenCollapsible(false);
    splitter->setOpaqueResize(true);
    layout->addWidget(splitter);
    return splitter;
}

// Puts the two panes in a splitter with their first sizes; the pane `stretching` (0 or 1) takes what the splitter
// gains or loses.
void SetPanes(QSplitter* splitter, QWidget* first, QWidget* second, int stretching, const QList<int>& sizes) {
    splitter->addWidget(first);
    splitter->addWidget(second);
    splitter->setStretchFactor(0, stretching == 0 ? 1 : 0);
    splitter->setStretchFactor(1, stretching == 1 ? 1 : 0);
    splitter->setSizes(sizes);
}

// Lays a caption over a list that takes the rest of the panel's height; returns the panel's layout.
QVBoxLayout* StackCaptionOverList(QWidget* panel, QLabel* caption, QWidget* list) {
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(caption);
    layout->addWidget(list, 1);
    return layout;
}

TComboBox* MakeFileBox(const char* name, QWidget* parent, const QRect& geometry, const QString& hint) {
    auto* box = Named<TComboBox>(name, parent);
    box->setGeometry(geometry);
    box->SetSorted(true);
    box->setMaxVisibleItems(16);
    SetHint(box, hint);
    return box;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Тестовая программа управления НавиЛОКСом"));
    setFont(ConsoleFont());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    setCentralWidget(client);

    CreateControlPanel();
    clientLayout->addWidget(ControlPanel);
    CreateMainPanel();
    clientLayout->addWidget(MainPanel, 1);

    StatusBar = Named<QStatusBar>("StatusBar", this);
    StatusBar->setFixedHeight(19);
    StatusBar->setSizeGripEnabled(false);
    setStatusBar(StatusBar);
    m_hints = new TStatusHints(StatusBar);

    CreateDialogs();
    CreateInfoRows();
    SetUpPositionControls();
    ConnectHandlers();
    NameControls();

    resize(826, 628);
    move(520, 137);
    ConnectButton->setFocus();
}

TMainForm::~TMainForm() = default;

void TMainForm::showEvent(QShowEvent* event) {
    if (!std::exchange(m_placedOnScreen, true))
        FitOnScreen(this);
    QMainWindow::showEvent(event);
}

void TMainForm::CreateControlPanel() {
    ControlPanel = MakePanel("ControlPanel", nullptr);
    ControlPanel->setFixedHeight(41);
    auto* row = new QHBoxLayout(ControlPanel);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(0);

    ConnectButton = MakeButton("ConnectButton", "Подключиться", ControlPanel, " Подключиться к COM серверу");
    DisconnectButton = MakeButton("DisconnectButton", "Отключиться", ControlPanel, " Отключиться от COM сервера");
    ShowApplicationButton = MakeButton("ShowApplicationButton", "Показать", ControlPanel, " Показать приложение");
    HideApplicationButton = MakeButton("HideApplicationButton", "Скрыть", ControlPanel, " Скрыть приложение");
    ShowApplicationButton->setEnabled(false);
    HideApplicationButton->setEnabled(false);
    // Lefts 8, 116, 236 and 344.
    row->addWidget(ConnectButton);
    row->addSpacing(8);
    row->addWidget(DisconnectButton);
    row->addSpacing(20);
    row->addWidget(ShowApplicationButton);
    row->addSpacing(8);
    row->addWidget(HideApplicationButton);
    row->addStretch(1);

    VersionLabel = MakeCaption("VersionLabel", "Версия программы:", ControlPanel);
    VersionLabel->setFixedWidth(112);
    VersionPanel = Named<QLabel>("VersionPanel", "- - -", ControlPanel);
    VersionPanel->setFixedSize(100, 21);
    VersionPanel->setFrameShape(QFrame::Panel);
    VersionPanel->setFrameShadow(QFrame::Sunken);
    VersionPanel->setAlignment(Qt::AlignCenter);
    row->addWidget(VersionLabel);
    row->addWidget(VersionPanel);
}

void TMainForm::CreateMainPanel() {
    MainPanel = MakePanel("MainPanel", nullptr);
    BSplitter = MakeSplitter("BSplitter", Qt::Vertical, MainPanel);

    // Top: the groups tree on the left, the information panels on the right.
    DevicesTripsPanel = MakePanel("DevicesTripsPanel", nullptr);
    DevicesTripsPanel->setMinimumHeight(100);
    VSplitter = MakeSplitter("VSplitter", Qt::Horizontal, DevicesTripsPanel);
    CreateGroupsListPanel();
    CreateRightPanel();
    SetPanes(VSplitter, GroupsListPanel, RightPanel, 1, {240, 580});

    // Bottom: the page control.
    CreatePageControl();
    SetPanes(BSplitter, DevicesTripsPanel, CheckPointsPanel, 0, {286, 276});
}

void TMainForm::CreateGroupsListPanel() {
    GroupsListPanel = MakePanel("GroupsListPanel", nullptr);
    GroupsListPanel->setMinimumWidth(200);
    GroupsListPanel->setMaximumWidth(800);
    GroupsListLabel = MakeCaption("GroupsListLabel", "Список групп:", GroupsListPanel);
    GroupsList = Named<QTreeWidget>("GroupsList", GroupsListPanel);
    GroupsList->setHeaderHidden(true);
    GroupsList->setColumnCount(1);
    GroupsList->setIndentation(19);
    GroupsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GroupsList->setSelectionMode(QAbstractItemView::SingleSelection);
    KeepSelectionVisible(GroupsList);
    StackCaptionOverList(GroupsListPanel, GroupsListLabel, GroupsList)->setContentsMargins(8, 8, 8, 8);
}

void TMainForm::CreateRightPanel() {
    RightPanel = MakePanel("RightPanel", nullptr);
    RightPanel->setMinimumWidth(100);
    auto* rightLayout = new QVBoxLayout(RightPanel);
    rightLayout->setContentsMargins(0, 8, 8, 8);

    GroupInfoPanel = MakePanel("GroupInfoPanel", RightPanel);
    GroupLabel = MakeCaption("GroupLabel", "Информация о группе:", GroupInfoPanel);
    GroupInfoListView = Named<QTreeWidget>("GroupInfoListView", GroupInfoPanel);
    SetupListView(GroupInfoListView, {{"Параметр", 148}, {"Значение", -1}});
    StackCaptionOverList(GroupInfoPanel, GroupLabel, GroupInfoListView);

    InfoPanel = MakePanel("InfoPanel", RightPanel);
    ISplitter = MakeSplitter("ISplitter", Qt::Horizontal, InfoPanel);
    SubInfoPanel = MakePanel("SubInfoPanel", nullptr);
    SubInfoPanel->setMinimumWidth(100);
    InfoLabel = MakeCaption("InfoLabel", "Информация об устройстве:", SubInfoPanel);
    InfoListView = Named<QTreeWidget>("InfoListView", SubInfoPanel);
    SetupListView(InfoListView, {{"Параметр", 128}, {"Значение", -1}});
    StackCaptionOverList(SubInfoPanel, InfoLabel, InfoListView);
    OnlinePanel = MakePanel("OnlinePanel", nullptr);
    OnlinePanel->setMinimumWidth(100);
    OnlineLabel = MakeCaption("OnlineLabel", "Online данные:", OnlinePanel);
    OnlineListView = Named<QTreeWidget>("OnlineListView", OnlinePanel);
    SetupListView(OnlineListView, {{"Параметр", 128}, {"Значение", -1}});
    StackCaptionOverList(OnlinePanel, OnlineLabel, OnlineListView);
    SetPanes(ISplitter, SubInfoPanel, OnlinePanel, 0, {287, 279});

    // Both fill the right panel; at most one is shown at a time.
    rightLayout->addWidget(GroupInfoPanel, 1);
    rightLayout->addWidget(InfoPanel, 1);
    GroupInfoPanel->hide();
    InfoPanel->hide();
}

void TMainForm::CreatePageControl() {
    CheckPointsPanel = MakePanel("CheckPointsPanel", nullptr);
    CheckPointsPanel->setMinimumHeight(100);
    auto* pagesLayout = new QVBoxLayout(CheckPointsPanel);
    pagesLayout->setContentsMargins(4, 0, 4, 4);
    PageControl = Named<QTabWidget>("PageControl", CheckPointsPanel);
    pagesLayout->addWidget(PageControl);
    CreateControlSheet();
    CreateCheckPointsSheet();
    CreateTripsInfoSheet();
    PageControl->addTab(ControlSheet, "Управление");
    PageControl->addTab(CheckPointsSheet, "Список КТ");
    PageControl->addTab(TripsInfoSheet, "Список рейсов");
    InterfaceSheet = Named<TInterfaceSheet>("InterfaceSheet");
    PageControl->addTab(InterfaceSheet, "Интерфейс");
    PageControl->setCurrentWidget(ControlSheet);
}

void TMainForm::CreateControlSheet() {
    ControlSheet = Named<QWidget>("ControlSheet");
    CreateVehicleCommands(ControlSheet);
    CreateComputingBox(ControlSheet);
    CreateCheckPointParametersBox(ControlSheet);
}

// The vehicle inputs and the position commands.
void TMainForm::CreateVehicleCommands(QWidget* sheet) {
    GroupsLabel = MakeLabel("GroupsLabel", "Файл ТС:", sheet, {8, 8, 48, 21});
    GroupsComboBox = Named<TComboBox>("GroupsComboBox", sheet);
    GroupsComboBox->setGeometry(60, 8, 164, 21);
    GroupsComboBox->SetSorted(true);
    GroupsComboBox->setMaxVisibleItems(16);
    CarsLabel = MakeLabel("CarsLabel", "Номер:", sheet, {236, 8, 40, 21});
    CarsComboBox = Named<TComboBox>("CarsComboBox", sheet);
    CarsComboBox->setGeometry(280, 8, 97, 21);
    CarsComboBox->SetSorted(true);
    CarsComboBox->setMaxVisibleItems(16);
    CarsComboBox->SetMaxLength(5);
    LastPositionButton = MakeButton("LastPositionButton", "Последнее МП", sheet, " Показать последнее местоположение");
    LastTrackButton = MakeButton("LastTrackButton", "Последний трек", sheet, " Показать последний трек");
    CurrentPositionButton = MakeButton("CurrentPositionButton", "Текущая позиция", sheet);
    OnlineDataButton = MakeButton("OnlineDataButton", "Online данные", sheet);
    int left = 388;
    for (QPushButton* button : {LastPositionButton, LastTrackButton, CurrentPositionButton, OnlineDataButton}) {
        button->move(left, 6);
        button->setEnabled(false);
        left += 104;
    }
    Bevel1 = Named<QFrame>("Bevel1", sheet);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 36, 792, 2);
}

// Computing: inputs on the left, status on the right.
void TMainForm::CreateComputingBox(QWidget* sheet) {
    ComputingGroupBox = Named<QGroupBox>("ComputingGroupBox", " Расчёт ", sheet);
    ComputingGroupBox->setGeometry(8, 44, 472, 180);
    QWidget* box = ComputingGroupBox;
    PeriodFromLabel = MakeLabel("PeriodFromLabel", "Начало:", box, {8, 20, 48, 21});
    FirstTimePicker = Named<QTimeEdit>("FirstTimePicker", QTime(0, 0), box);
    FirstTimePicker->setDisplayFormat("H:mm");
    FirstTimePicker->setGeometry(60, 20, 56, 21);
    FirstDatePicker = Named<QDateEdit>("FirstDatePicker", QDate(2009, 5, 1), box);
    FirstDatePicker->setDisplayFormat("d.MM.yy ddd");
    FirstDatePicker->setCalendarPopup(true);
    FirstDatePicker->setGeometry(120, 20, 108, 21);
    PeriodToLabel = MakeLabel("PeriodToLabel", "Конец:", box, {8, 48, 48, 21});
    LastTimePicker = Named<QTimeEdit>("LastTimePicker", QTime(0, 0), box);
    LastTimePicker->setDisplayFormat("H:mm");
    LastTimePicker->setGeometry(60, 48, 56, 21);
    LastDatePicker = Named<QDateEdit>("LastDatePicker", QDate(2009, 9, 1), box);
    LastDatePicker->setDisplayFormat("d.MM.yy ddd");
    LastDatePicker->setCalendarPopup(true);
    LastDatePicker->setGeometry(120, 48, 108, 21);
    Label3 = MakeLabel("Label3", "Источник данных:", box, {8, 76, 96, 21});
    GSMSourceButton = Named<QRadioButton>("GSMSourceButton", "GSM", box);
    GSMSourceButton->setGeometry(112, 76, 56, 21);
    GSMSourceButton->setChecked(true);
    SetHint(GSMSourceButton, " Источник данных");
    USBSourceButton = Named<QRadioButton>("USBSourceButton", "USB", box);
    USBSourceButton->setGeometry(172, 76, 56, 21);
    SetHint(USBSourceButton, " Источник данных");
    TakeTripsSetupBox = Named<QCheckBox>("TakeTripsSetupBox", "Разбивать на рейсы", box);
    TakeTripsSetupBox->setGeometry(8, 104, 220, 21);
    TakeTripsSetupBox->setChecked(true);
    SetHint(TakeTripsSetupBox, " Учитывать настройки рейсов ТС");
    ComputingButton = MakeButton("ComputingButton", "Выполнить", box, " Выполнить расчёт");
    ComputingButton->setGeometry(8, 146, 220, 25);
    ComputingButton->setFixedSize(220, 25);
    ComputingButton->setEnabled(false);
    Bevel2 = Named<QFrame>("Bevel2", box);
    Bevel2->setFrameShape(QFrame::VLine);
    Bevel2->setFrameShadow(QFrame::Sunken);
    Bevel2->setGeometry(235, 20, 2, 151);
    ComputingStatusLabel = MakeLabel("ComputingStatusLabel", "Состояние:", box, {244, 20, 64, 21});
    ComputingStatusInfoLabel = MakeLabel("ComputingStatusInfoLabel", "", box, {312, 20, 152, 21});
    ComputingProgressBar = Named<QProgressBar>("ComputingProgressBar", box);
    ComputingProgressBar->setGeometry(244, 48, 220, 17);
    ComputingProgressBar->setRange(0, 100);
    ComputingProgressBar->setValue(0);
    ComputingProgressBar->setTextVisible(false);
    ComputingResultLabel = MakeLabel("ComputingResultLabel", "Результат:", box, {244, 76, 64, 21});
    ComputingResultInfoLabel = MakeLabel("ComputingResultInfoLabel", "", box, {312, 76, 152, 21});
    ComputingResultButton =
        MakeButton("ComputingResultButton", "Перейти к списку рейсов", box, " Перейти на вкладку \"Список рейсов\"");
    ComputingResultButton->setFixedSize(220, 25);
    ComputingResultButton->move(244, 146);
    ComputingResultButton->setEnabled(false);
    ComputingTimer = Named<QTimer>("ComputingTimer", this);
    ComputingTimer->setInterval(100);
}

// The vehicle's check point parameters.
void TMainForm::CreateCheckPointParametersBox(QWidget* sheet) {
    SetChPPrmsGroupBox = Named<QGroupBox>("SetChPPrmsGroupBox", " Параметры КТ ", sheet);
    SetChPPrmsGroupBox->setGeometry(488, 44, 236, 180);
    QWidget* box = SetChPPrmsGroupBox;
    DefaultChPPrmsBox = Named<QCheckBox>("DefaultChPPrmsBox", "Применять параметры по умолчанию", box);
    DefaultChPPrmsBox->setGeometry(8, 20, 220, 21);
    SetHint(DefaultChPPrmsBox, " Индивидуальный список контрольных точек и геозон");
    CheckPointsLabel = MakeLabel("CheckPointsLabel", "Файл КТ:", box, {8, 44, 52, 21});
    SetHint(CheckPointsLabel, " Имя файла списка контрольных точек");
    CheckPointsBox = MakeFileBox("CheckPointsBox", box, {60, 44, 168, 21}, " Имя файла списка контрольных точек");
    const QString parkHint = " Контроль вызовов по остановкам не менее указанной продолжительности";
    CallPointsByParkBox = Named<QCheckBox>("CallPointsByParkBox", "Вызов — остановка, мин:", box);
    CallPointsByParkBox->setGeometry(8, 68, 160, 21);
    SetHint(CallPointsByParkBox, parkHint);
    CallPointsByParkTimeEdit = Named<QLineEdit>("CallPointsByParkTimeEdit", "5", box);
    CallPointsByParkTimeEdit->setGeometry(168, 68, 60, 21);
    CallPointsByParkTimeEdit->setMaxLength(2);
    SetHint(CallPointsByParkTimeEdit, parkHint);
    const QString sensorHint = " Контроль вызовов по включению указанного датчика";
    CallPointsBySensBox = Named<QCheckBox>("CallPointsBySensBox", "Вызов — вкл., с:", box);
    CallPointsBySensBox->setGeometry(8, 92, 112, 21);
    SetHint(CallPointsBySensBox, sensorHint);
    CallPointsBySensIndexBox = Named<QComboBox>("CallPointsBySensIndexBox", box);
    CallPointsBySensIndexBox->addItems({"Д1", "Д2", "Д3", "Д4", "Д5", "Д6", "Д7", "Д8"});
    CallPointsBySensIndexBox->setCurrentIndex(0);
    CallPointsBySensIndexBox->setGeometry(120, 92, 44, 21);
    SetHint(CallPointsBySensIndexBox, sensorHint);
    CallPointsBySensTimeEdit = Named<QLineEdit>("CallPointsBySensTimeEdit", "0", box);
    CallPointsBySensTimeEdit->setGeometry(168, 92, 60, 21);
    CallPointsBySensTimeEdit->setMaxLength(2);
    SetHint(CallPointsBySensTimeEdit, " Минимальная продолжительность включения датчика вызова");
    GeoZonesLabel = MakeLabel("GeoZonesLabel", "Файл ГЗ:", box, {8, 120, 52, 21});
    SetHint(GeoZonesLabel, " Имя файла списка геозон");
    GeoZonesBox = MakeFileBox("GeoZonesBox", box, {60, 120, 168, 21}, " Имя файла списка геозон");
    SetChPPrmsButton = MakeButton("SetChPPrmsButton", "Установить", box, " Установить параметры КТ и ГЗ");
    SetChPPrmsButton->setFixedSize(220, 25);
    SetChPPrmsButton->move(8, 148);
    SetChPPrmsButton->setEnabled(false);
}

void TMainForm::CreateCheckPointsSheet() {
    CheckPointsSheet = Named<QWidget>("CheckPointsSheet");
    auto* layout = new QHBoxLayout(CheckPointsSheet);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    ChPListView = Named<QTreeWidget>("ChPListView", CheckPointsSheet);
    SetupListView(ChPListView, {{"Название", 128},
                                {"Адрес", 167},
                                {"ID", 100},
                                {"Широта", 100, Qt::AlignRight},
                                {"Долгота", 100, Qt::AlignRight},
                                {"Радиус", 60, Qt::AlignRight}});
    ChPListView->resize(676, 216);
    layout->addWidget(ChPListView, 1);

    auto* buttons = new QVBoxLayout();
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(3);
    LoadChPFromFileButton =
        MakeButton("LoadChPFromFileButton", "Загрузить…", CheckPointsSheet, " Загрузить список КТ из файла");
    SaveChPToFileButton =
        MakeButton("SaveChPToFileButton", "Сохранить…", CheckPointsSheet, " Сохранить список КТ в файл");
    ClearCheckPointsButton = MakeButton("ClearCheckPointsButton", "Очистить", CheckPointsSheet, " Очистить список КТ");
    AddCheckPointButton = MakeButton("AddCheckPointButton", "Добавить…", CheckPointsSheet, " Добавить КТ в список");
    ChangeCheckPointButton =
        MakeButton("ChangeCheckPointButton", "Изменить…", CheckPointsSheet, " Редактировать текущую КТ");
    DeleteCheckPointButton = MakeButton("DeleteCheckPointButton", "Удалить", CheckPointsSheet, " Удалить текущую КТ");
    FindCheckPointButton =
        MakeButton("FindCheckPointButton", "Поиск КТ…", CheckPointsSheet, " Поиск КТ по координатам");
    // Tops 8, 36, 64; 104, 132, 160; 200.
    buttons->addWidget(LoadChPFromFileButton);
    buttons->addWidget(SaveChPToFileButton);
    buttons->addWidget(ClearCheckPointsButton);
    buttons->addSpacing(12);
    buttons->addWidget(AddCheckPointButton);
    buttons->addWidget(ChangeCheckPointButton);
    buttons->addWidget(DeleteCheckPointButton);
    buttons->addSpacing(12);
    buttons->addWidget(FindCheckPointButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    for (QPushButton* button : {LoadChPFromFileButton, SaveChPToFileButton, ClearCheckPointsButton, AddCheckPointButton,
                                ChangeCheckPointButton, DeleteCheckPointButton, FindCheckPointButton})
        button->setEnabled(false);
}

void TMainForm::CreateTripsInfoSheet() {
    TripsInfoSheet = Named<QWidget>("TripsInfoSheet");
    auto* layout = new QHBoxLayout(TripsInfoSheet);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    TripsListView = Named<QTreeWidget>("TripsListView", TripsInfoSheet);
    const Qt::Alignment right = Qt::AlignRight;
    SetupListView(TripsListView, {{"№", 28},
                                  {"Начало", 120, right},
                                  {"Окончание", 120, right},
                                  {"Прод-сть общая", 100, right},
                                  {"Прод-сть движ.", 100, right},
                                  {"S макс.", 60, right},
                                  {"S сред.", 60, right},
                                  {"Пробег", 60, right},
                                  {"НУТ1", 60, right},
                                  {"КУТ1", 60, right},
                                  {"НУТ2", 60, right},
                                  {"КУТ2", 60, right},
                                  {"МЧ1", 60, right},
                                  {"МЧ2", 60, right},
                                  {"Расход 1", 60, right},
                                  {"Расход 2", 60, right}});
    layout->addWidget(TripsListView, 1);

    auto* column = new QVBoxLayout();
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    EntriesTypeBox = Named<QComboBox>("EntriesTypeBox", TripsInfoSheet);
    EntriesTypeBox->addItems({"К. точки", "К. отрезки", "Геозоны",  "Г. отрезки", "Остановки", "Сигнал",   "Питание",
                              "Скорость", "Бак 1",      "Бак 2",    "Бак 3",      "Бак 4",     "Датчик 1", "Датчик 2",
                              "Датчик 3", "Датчик 4",   "Датчик 5", "Датчик 6",   "Датчик 7",  "Датчик 8"});
    EntriesTypeBox->setMaxVisibleItems(20);
    EntriesTypeBox->setCurrentIndex(0);
    EntriesTypeBox->setFixedWidth(100);
    EntriesTypeBox->setEnabled(false);
    EntriesButton = MakeButton("EntriesButton", "Записи…", TripsInfoSheet, " Показать список пройденных КО");
    EntriesButton->setEnabled(false);
    ExportToFileButton =
        MakeButton("ExportToFileButton", "Экспорт трека", TripsInfoSheet, " Экспортировать трек в файл");
    ExportToFileButton->setEnabled(false);
    column->addWidget(EntriesTypeBox);
    column->addWidget(EntriesButton);
    column->addWidget(ExportToFileButton);
    column->addStretch(1);
    layout->addLayout(column);
}

void TMainForm::CreateDialogs() {
    LoadChPDialog = Named<TFileDialog>("LoadChPDialog", TFileDialogKind::Open, this);
    LoadChPDialog->Title = "Загрузка файла контрольных точек";
    LoadChPDialog->Filter = "Файлы контрольных точек (*.chp)|*.chp";
    LoadChPDialog->DefaultExt = "chp";
    LoadChPDialog->PathMustExist = true;
    LoadChPDialog->FileMustExist = true;

    SaveChPDialog = Named<TFileDialog>("SaveChPDialog", TFileDialogKind::Save, this);
    SaveChPDialog->Title = "Сохранение файла контрольных точек";
    SaveChPDialog->Filter = "Файл контрольных точек (*.chp)|*.chp";
    SaveChPDialog->DefaultExt = "chp";
    SaveChPDialog->OverwritePrompt = true;

    ExportTrackDialog = Named<TFileDialog>("ExportTrackDialog", TFileDialogKind::Save, this);
    ExportTrackDialog->Title = "Экспорт трека";
    ExportTrackDialog->Filter = "Файл OziExplorer (*.plt)|*.plt|Файл Google Earth (*.kml)|*.kml";
    ExportTrackDialog->FilterIndex = 2;
    ExportTrackDialog->DefaultExt = "kml";
    ExportTrackDialog->FileName = "Track";
}

void TMainForm::NameControls() {
    // Captions and labels name the controls beside them; the rest are named here.
    GroupsListLabel->setBuddy(GroupsList);
    GroupLabel->setBuddy(GroupInfoListView);
    InfoLabel->setBuddy(InfoListView);
    OnlineLabel->setBuddy(OnlineListView);
    GroupsLabel->setBuddy(GroupsComboBox);
    CarsLabel->setBuddy(CarsComboBox);
    CheckPointsLabel->setBuddy(CheckPointsBox);
    GeoZonesLabel->setBuddy(GeoZonesBox);
    ComputingStatusLabel->setBuddy(ComputingProgressBar);
    FirstTimePicker->setAccessibleName(QStringLiteral("Время начала"));
    FirstDatePicker->setAccessibleName(QStringLiteral("Дата начала"));
    LastTimePicker->setAccessibleName(QStringLiteral("Время конца"));
    LastDatePicker->setAccessibleName(QStringLiteral("Дата конца"));
    CallPointsByParkTimeEdit->setAccessibleName(QStringLiteral("Остановка, мин"));
    CallPointsBySensIndexBox->setAccessibleName(QStringLiteral("Датчик вызова"));
    CallPointsBySensTimeEdit->setAccessibleName(QStringLiteral("Включение датчика, с"));
    ChPListView->setAccessibleName(QStringLiteral("Список КТ"));
    TripsListView->setAccessibleName(QStringLiteral("Список рейсов"));
    EntriesTypeBox->setAccessibleName(QStringLiteral("Вид записей"));
    PageControl->setAccessibleName(QStringLiteral("Вкладки"));
    NameControlsForScreenReaders(this);
}

void TMainForm::OnClick(QPushButton* button, void (TMainForm::*handler)(QObject*)) {
    connect(button, &QPushButton::clicked, this,
            [this, button, handler] { Guarded([&] { (this->*handler)(button); }); });
}

void TMainForm::OnDropDown(TComboBox* box, void (TMainForm::*handler)(QObject*)) {
    connect(box, &TComboBox::DropDown, this, [this, box, handler] { Guarded([&] { (this->*handler)(box); }); });
}

void TMainForm::ConnectHandlers() {
    OnClick(ConnectButton, &TMainForm::ConnectButtonClick);
    OnClick(DisconnectButton, &TMainForm::DisconnectButtonClick);
    OnClick(ShowApplicationButton, &TMainForm::ShowApplicationButtonClick);
    OnClick(HideApplicationButton, &TMainForm::HideApplicationButtonClick);
    OnClick(LastPositionButton, &TMainForm::LastPositionButtonClick);
    OnClick(LastTrackButton, &TMainForm::LastTrackButtonClick);
    OnClick(CurrentPositionButton, &TMainForm::CurrentPositionButtonClick);
    OnClick(OnlineDataButton, &TMainForm::OnlineDataButtonClick);
    OnDropDown(GroupsComboBox, &TMainForm::GroupsComboBoxDropDown);
    OnDropDown(CarsComboBox, &TMainForm::CarsComboBoxDropDown);
    connect(ComputingTimer, &QTimer::timeout, this,
            [this] { Guarded([this] { ComputingTimerTimer(ComputingTimer); }); });
    ConnectComputingHandlers();
    ConnectCheckPointHandlers();
    ConnectCheckPointDialogHandlers();
    ConnectEntriesHandlers();
    AttachGroupsListChange();
}

void TMainForm::AttachGroupsListChange() {
    if (m_groupsListChange)
        return;
    m_groupsListChange = connect(GroupsList, &QTreeWidget::currentItemChanged, this,
                                 [this] { Guarded([this] { GroupsListChange(); }); });
}

void TMainForm::DetachGroupsListChange() {
    disconnect(m_groupsListChange);
    m_groupsListChange = {};
}

void TMainForm::Guarded(const std::function<void()>& handler) {
    ::Guarded(handler);
}
