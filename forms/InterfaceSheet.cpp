#include "forms/InterfaceSheet.h"

#include "automation/CallLog.h"
#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/ArrayTableModel.h"
#include "forms/CallLogModel.h"
#include "forms/Controls.h"
#include "forms/Formats.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/rtl/Conversion.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>

namespace {

// The most events the list keeps; the oldest go first.
constexpr int kMaxEvents = 10000;

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const char* KindText(TMemberKind kind) {
    switch (kind) {
    case TMemberKind::Read:
        return "чтение";
    case TMemberKind::Write:
        return "запись";
    case TMemberKind::Method:
        return "метод";
    }
    return "";
}

// The table names parameters it has no name for Param1, Param2, ...: those are shown by type and position.
bool PositionalName(std::string_view name) {
    if (name.substr(0, 5) != "Param" || name.size() == 5)
        return false;
    for (const char c : name.substr(5))
        if (c < '0' || c > '9')
            return false;
    return true;
}

QString ParameterCaption(const TMemberParam& param, int position) {
    const QString type = QString::fromLatin1(MemberTypeName(param.type));
    if (PositionalName(param.name))
        return QStringLiteral("%1. %2").arg(position).arg(type);
    return QStringLiteral("%1 (%2)").arg(Text(param.name), type);
}

QString SignatureText(const TMemberInfo& member) {
    if (member.kind != TMemberKind::Method)
        return QString::fromLatin1(MemberTypeName(member.params[0].type));
    QStringList params;
    for (int i = 0; i < member.paramCount; ++i) {
        const TMemberParam& param = member.params[i];
        const QString type = QString::fromLatin1(MemberTypeName(param.type));
        params << (PositionalName(param.name) ? type : Text(param.name) + ": " + type);
    }
    return params.isEmpty() ? QStringLiteral("без параметров") : params.join(", ");
}

QString Microseconds(std::int64_t nanoseconds) {
    return QLocale(QLocale::Russian).toString(static_cast<double>(nanoseconds) / 1000.0, 'f', 1) + " мкс";
}

std::string Trimmed(const QString& text) {
    return text.trimmed().toStdString();
}

// A typed value from an edit's text; false with a message when the text is not a value of the type.
bool ParseArgument(TMemberType type, const QString& text, Variant& value, QString& error) {
    if (type == TMemberType::Long) {
        std::int32_t number = 0;
        if (!TryStrToInt(Trimmed(text), number)) {
            error = QStringLiteral("«%1» — не целое число long (от -2147483648 до 2147483647)").arg(text);
            return false;
        }
        value = Variant(LONG{number});
        return true;
    }
    if (type == TMemberType::Double) {
        std::string number = Trimmed(text);
        // Either decimal separator is taken.
        for (char& c : number)
            if (c == ',')
                c = '.';
        double real = 0;
        const char* end = number.data() + number.size();
        const auto [ptr, ec] = std::from_chars(number.data(), end, real);
        if (number.empty() || ec != std::errc() || ptr != end || !std::isfinite(real)) {
            error = QStringLiteral("«%1» — не число double").arg(text);
            return false;
        }
        value = Variant(real);
        return true;
    }
    value = Variant(std::string_view(text.toStdString()));
    return true;
}

} // namespace

TInterfaceSheet::TInterfaceSheet(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* splitter = m_splitter = Named<QSplitter>("InterfaceSplitter", Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);

    auto* membersPanel = Named<QWidget>("MembersPanel");
    CreateMembersPanel(membersPanel);
    splitter->addWidget(membersPanel);

    auto* middle = Named<QSplitter>("MemberEventsSplitter", Qt::Vertical);
    middle->setChildrenCollapsible(false);
    auto* memberPanel = Named<QWidget>("MemberPanel");
    CreateMemberPanel(memberPanel);
    middle->addWidget(memberPanel);
    auto* eventsPanel = Named<QWidget>("EventsPanel");
    CreateEventsPanel(eventsPanel);
    middle->addWidget(eventsPanel);
    // Most of the height, and all the height the sheet gains, goes to the arguments, which a method of nine
    // parameters needs; the events list keeps a few rows.
    middle->setStretchFactor(0, 1);
    middle->setStretchFactor(1, 0);
    middle->setSizes({300, 100});
    splitter->addWidget(middle);

    auto* logPanel = Named<QWidget>("CallLogPanel");
    CreateCallLogPanel(logPanel);
    splitter->addWidget(logPanel);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 0);
    splitter->setStretchFactor(2, 1);

    ConnectHandlers();

    // The list sees every event as the wrapper's sink delivers it; the main window's handlers run as before.
    QPointer<TInterfaceSheet> self(this);
    m_previousObserver = SetEventObserver([self](DISPID dispId) {
        if (self)
            self->EventReceived(dispId);
    });
    SetConnected(false);
}

// The selected member: its title, an edit per argument, the call button with the round trip, and the result.
void TInterfaceSheet::CreateMemberPanel(QWidget* panel) {
    auto* memberLayout = new QVBoxLayout(panel);
    memberLayout->setContentsMargins(0, 0, 0, 0);
    memberLayout->setSpacing(4);
    MemberTitleLabel = Named<QLabel>("MemberTitleLabel", "Выберите член интерфейса", panel);
    MemberTitleLabel->setWordWrap(true);
    memberLayout->addWidget(MemberTitleLabel);
    MemberArgumentsScroll = Named<QScrollArea>("MemberArgumentsScroll", panel);
    MemberArgumentsScroll->setWidgetResizable(true);
    MemberArgumentsScroll->setFrameShape(QFrame::NoFrame);
    MemberArgumentsScroll->setAccessibleName(QStringLiteral("Аргументы"));
    MemberArgumentsPanel = Named<QWidget>("MemberArgumentsPanel");
    new QFormLayout(MemberArgumentsPanel);
    MemberArgumentsScroll->setWidget(MemberArgumentsPanel);
    memberLayout->addWidget(MemberArgumentsScroll, 8);
    MemberArgumentsScroll->hide(); // until a member with arguments is selected
    auto* callRow = new QHBoxLayout();
    MemberCallButton = Named<QPushButton>("MemberCallButton", "Вызвать", panel);
    MemberCallButton->setAutoDefault(false);
    MemberCallButton->setEnabled(false);
    MemberTimeLabel = Named<QLabel>("MemberTimeLabel", panel);
    callRow->addWidget(MemberCallButton);
    callRow->addWidget(MemberTimeLabel, 1);
    memberLayout->addLayout(callRow);
    MemberResultText = Named<TTextPane>("MemberResultText", 8, panel);
    MemberResultText->setAccessibleName(QStringLiteral("Результат"));
    memberLayout->addWidget(MemberResultText);
    ArrayModel = new TArrayTableModel(this);
    ArrayView = Named<QTableView>("ArrayView", panel);
    ArrayView->setModel(ArrayModel);
    ArrayView->setAccessibleName(QStringLiteral("Элементы массива"));
    ArrayView->verticalHeader()->setDefaultSectionSize(ArrayView->fontMetrics().height() + 4);
    ArrayView->hide();
    memberLayout->addWidget(ArrayView, 16);
    // With neither arguments nor an array shown, the rest of the height stays below the result, not between rows.
    memberLayout->addStretch(1);
}

void TInterfaceSheet::ConnectHandlers() {
    connect(MemberFilterEdit, &QLineEdit::textChanged, this,
            [this] { ::Guarded([this] { MemberFilterEditChange(); }); });
    connect(MembersListView, &QTreeWidget::currentItemChanged, this,
            [this] { ::Guarded([this] { MembersListViewChange(); }); });
    // Double-click and Enter, not the style's "activated", which some desktops give to a single click: a click
    // only selects.
    connect(MembersListView, &QTreeWidget::itemDoubleClicked, this,
            [this] { ::Guarded([this] { MembersListViewActivate(); }); });
    MemberFilterEdit->installEventFilter(this);
    MembersListView->installEventFilter(this);
    connect(MemberCallButton, &QPushButton::clicked, this, [this] { ::Guarded([this] { MemberCallButtonClick(); }); });
    connect(ClearEventsButton, &QPushButton::clicked, this,
            [this] { ::Guarded([this] { ClearEventsButtonClick(); }); });
    connect(PauseLogButton, &QPushButton::clicked, this, [this] { ::Guarded([this] { PauseLogButtonClick(); }); });
    connect(ClearLogButton, &QPushButton::clicked, this, [this] { ::Guarded([this] { ClearLogButtonClick(); }); });
    connect(SaveLogButton, &QPushButton::clicked, this, [this] { ::Guarded([this] { SaveLogButtonClick(); }); });
    // The log's view follows the log only while it is seen: a hidden sheet costs the calls nothing.
    connect(CallLogTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            ::Guarded([this] { CallLogRefresh(); });
    });
}

TInterfaceSheet::~TInterfaceSheet() {
    SetEventObserver(std::move(m_previousObserver));
}

void TInterfaceSheet::CreateMembersPanel(QWidget* panel) {
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    MemberFilterEdit = Named<QLineEdit>("MemberFilterEdit", panel);
    MemberFilterEdit->setPlaceholderText("Фильтр по имени");
    MemberFilterEdit->setClearButtonEnabled(true);
    SetHint(MemberFilterEdit, " Оставить в списке члены, в имени которых есть этот текст");
    MemberFilterEdit->setAccessibleName(QStringLiteral("Фильтр членов интерфейса"));
    layout->addWidget(MemberFilterEdit);
    MembersListView = Named<QTreeWidget>("MembersListView", panel);
    SetupListView(MembersListView, {{"Слот", 36, Qt::AlignRight}, {"Имя", 130}, {"Вид", 52}, {"Тип или параметры"}});
    MembersListView->setAccessibleName(QStringLiteral("Члены интерфейса"));
    layout->addWidget(MembersListView, 1);
    FillMembersList();
}

void TInterfaceSheet::CreateEventsPanel(QWidget* panel) {
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* row = new QHBoxLayout();
    row->addWidget(Named<QLabel>("EventsLabel", "События сервера:", panel), 1);
    ClearEventsButton = Named<QPushButton>("ClearEventsButton", "Очистить", panel);
    ClearEventsButton->setAutoDefault(false);
    SetHint(ClearEventsButton, " Очистить список событий");
    row->addWidget(ClearEventsButton);
    layout->addLayout(row);
    EventsListView = Named<QTreeWidget>("EventsListView", panel);
    SetupListView(EventsListView, {{"Время", 90}, {"DISPID", 50, Qt::AlignRight}, {"Событие"}});
    EventsListView->setAccessibleName(QStringLiteral("События сервера"));
    layout->addWidget(EventsListView, 1);
}

void TInterfaceSheet::CreateCallLogPanel(QWidget* panel) {
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* row = new QHBoxLayout();
    row->addWidget(Named<QLabel>("CallLogLabel", "Журнал вызовов:", panel), 1);
    PauseLogButton = Named<QPushButton>("PauseLogButton", "Пауза", panel);
    PauseLogButton->setCheckable(true);
    PauseLogButton->setAutoDefault(false);
    SetHint(PauseLogButton, " Приостановить или возобновить запись вызовов");
    ClearLogButton = Named<QPushButton>("ClearLogButton", "Очистить", panel);
    ClearLogButton->setAutoDefault(false);
    SetHint(ClearLogButton, " Очистить журнал вызовов");
    SaveLogButton = Named<QPushButton>("SaveLogButton", "Сохранить CSV…", panel);
    SaveLogButton->setAutoDefault(false);
    SetHint(SaveLogButton, " Сохранить журнал вызовов в файл CSV");
    row->addWidget(PauseLogButton);
    row->addWidget(ClearLogButton);
    row->addWidget(SaveLogButton);
    layout->addLayout(row);

    CallLogModel = new TCallLogModel(CallLog(), this);
    CallLogView = Named<QTableView>("CallLogView", panel);
    CallLogView->setModel(CallLogModel);
    CallLogView->setSelectionBehavior(QAbstractItemView::SelectRows);
    CallLogView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CallLogView->setWordWrap(false);
    CallLogView->verticalHeader()->hide();
    // Rows of one height: the view then never measures the rows it does not show.
    CallLogView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    CallLogView->verticalHeader()->setDefaultSectionSize(CallLogView->fontMetrics().height() + 4);
    CallLogView->horizontalHeader()->setStretchLastSection(false);
    const int widths[TCallLogModel::ColumnCount] = {48, 84, 150, 160, 150, 60};
    for (int column = 0; column < TCallLogModel::ColumnCount; ++column)
        CallLogView->setColumnWidth(column, widths[column]);
    CallLogView->setAccessibleName(QStringLiteral("Журнал вызовов"));
    layout->addWidget(CallLogView, 1);
    CallLogFooterLabel = Named<QLabel>("CallLogFooterLabel", panel);
    // Wraps rather than asks for its whole line: the slowest member's name would widen the log, and the window.
    CallLogFooterLabel->setWordWrap(true);
    layout->addWidget(CallLogFooterLabel);

    SaveLogDialog = Named<TFileDialog>("SaveLogDialog", TFileDialogKind::Save, this);
    SaveLogDialog->Title = "Сохранение журнала вызовов";
    SaveLogDialog->Filter = "Файлы CSV (*.csv)|*.csv";
    SaveLogDialog->DefaultExt = "csv";
    SaveLogDialog->FileName = "calls";
    SaveLogDialog->OverwritePrompt = true;

    CallLogTimer = Named<QTimer>("CallLogTimer", this);
    CallLogTimer->setInterval(250);
    CallLogTimer->start();
    CallLogRefresh();
}

void TInterfaceSheet::FillMembersList() {
    for (const TMemberInfo& member : kNavilonixMembers) {
        auto* item = new QTreeWidgetItem(MembersListView);
        item->setText(0, QString::number(member.slot));
        item->setText(1, Text(member.property));
        item->setText(2, QString::fromUtf8(KindText(member.kind)));
        item->setText(3, SignatureText(member));
        item->setData(0, Qt::UserRole, member.slot);
    }
}

void TInterfaceSheet::SetConnected(bool connected) {
    m_connected = connected;
    MemberCallButton->setEnabled(connected && m_member);
    MemberArgumentsPanel->setEnabled(connected);
}

bool TInterfaceSheet::SelectMember(int slot) {
    if (!FindNavilonixMember(slot))
        return false;
    for (int i = 0; i < MembersListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = MembersListView->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toInt() != slot)
            continue;
        if (item->isHidden())
            MemberFilterEdit->clear();
        MembersListView->setCurrentItem(item);
        return true;
    }
    return false;
}

void TInterfaceSheet::MemberFilterEditChange() {
    const QString filter = MemberFilterEdit->text().trimmed();
    for (int i = 0; i < MembersListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = MembersListView->topLevelItem(i);
        const TMemberInfo* member = FindNavilonixMember(item->data(0, Qt::UserRole).toInt());
        const bool shown = filter.isEmpty() || Text(member->property).contains(filter, Qt::CaseInsensitive) ||
                           Text(member->name).contains(filter, Qt::CaseInsensitive);
        item->setHidden(!shown);
    }
    // The first match is selected while the selected member is filtered out, so that Enter goes straight to it.
    QTreeWidgetItem* current = MembersListView->currentItem();
    if (current && !current->isHidden())
        return;
    for (int i = 0; i < MembersListView->topLevelItemCount(); ++i)
        if (QTreeWidgetItem* item = MembersListView->topLevelItem(i); !item->isHidden()) {
            MembersListView->setCurrentItem(item);
            break;
        }
}

void TInterfaceSheet::MembersListViewActivate() {
    if (!m_member)
        return;
    if (!ArgumentEdits.empty()) {
        ArgumentEdits.front()->setFocus();
        ArgumentEdits.front()->selectAll();
    } else if (MemberCallButton->isEnabled()) {
        MemberCallButton->click();
    }
}

bool TInterfaceSheet::eventFilter(QObject* watched, QEvent* event) {
    if ((watched != MemberFilterEdit && watched != MembersListView) || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (watched == MembersListView)
            break;
        QCoreApplication::sendEvent(MembersListView, event);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ::Guarded([this] { MembersListViewActivate(); });
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TInterfaceSheet::MembersListViewChange() {
    QTreeWidgetItem* item = MembersListView->currentItem();
    ShowMember(item ? FindNavilonixMember(item->data(0, Qt::UserRole).toInt()) : nullptr);
}

void TInterfaceSheet::ShowMember(const TMemberInfo* member) {
    if (member == m_member)
        return;
    m_member = member;
    auto* form = static_cast<QFormLayout*>(MemberArgumentsPanel->layout());
    while (form->rowCount() > 0)
        form->removeRow(0);
    ArgumentEdits.clear();
    MemberResultText->clear();
    MemberTimeLabel->clear();
    ArrayView->hide();
    ArrayModel->Show(nullptr);
    if (!member) {
        MemberArgumentsScroll->hide();
        MemberTitleLabel->setText("Выберите член интерфейса");
        SetConnected(m_connected);
        return;
    }
    MemberTitleLabel->setText(
        QStringLiteral("<b>%1</b> — слот %2, %3, %4")
            .arg(Text(member->name))
            .arg(member->slot)
            .arg(QString::fromUtf8(KindText(member->kind)), SignatureText(*member).toHtmlEscaped()));
    if (member->kind != TMemberKind::Read) {
        for (int i = 0; i < member->paramCount; ++i) {
            auto* edit = new QLineEdit(MemberArgumentsPanel);
            edit->setObjectName(QStringLiteral("ArgumentEdit%1").arg(i + 1));
            form->addRow(ParameterCaption(member->params[i], i + 1), edit);
            connect(edit, &QLineEdit::returnPressed, MemberCallButton, &QPushButton::click);
            ArgumentEdits.push_back(edit);
        }
    }
    MemberArgumentsScroll->setVisible(!ArgumentEdits.empty()); // a read's value gets the room
    const char* captions[] = {"Прочитать", "Записать", "Вызвать"};
    MemberCallButton->setText(QString::fromUtf8(captions[static_cast<int>(member->kind)]));
    SetConnected(m_connected);
}

void TInterfaceSheet::ShowResult(const QString& text, bool failed) {
    MemberResultText->setStyleSheet(failed ? QStringLiteral("color: #c00000;") : QString());
    MemberResultText->setText(text);
    ArrayView->hide();
    ArrayModel->Show(nullptr);
}

void TInterfaceSheet::MemberCallButtonClick() {
    const TMemberInfo* member = m_member;
    if (!member)
        return;
    MemberTimeLabel->clear();
    // Every argument is checked before anything is sent.
    std::vector<Variant> arguments;
    for (std::size_t i = 0; i < ArgumentEdits.size(); ++i) {
        QString error;
        Variant value;
        if (!ParseArgument(member->params[i].type, ArgumentEdits[i]->text(), value, error)) {
            ShowResult(ParameterCaption(member->params[i], static_cast<int>(i) + 1) + ": " + error +
                           ". Ничего не отправлено.",
                       true);
            ArgumentEdits[i]->setFocus();
            ArgumentEdits[i]->selectAll();
            return;
        }
        arguments.push_back(std::move(value));
    }
    if (!Automation) {
        ShowResult("Нет подключения к серверу. Ничего не отправлено.", true);
        return;
    }
    Variant result;
    HRESULT hr = S_OK;
    const auto start = std::chrono::steady_clock::now();
    try {
        hr = Automation->CallMember(member->slot, arguments, result);
    } catch (const std::exception& error) {
        // Failing to reach the server is shown here too, not in a box.
        ShowResult(QString::fromStdString(error.what()), true);
        return;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    MemberTimeLabel->setText("Время: " +
                             Microseconds(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()));
    if (FAILED(hr)) {
        ShowResult("Ошибка " + QString::fromStdString(ResultCodeText(hr)), true);
        return;
    }
    switch (member->kind) {
    case TMemberKind::Read:
        ShowValue(*member, *result.get());
        break;
    case TMemberKind::Write:
        ShowResult("Записано, " + QString::fromStdString(hr == S_OK ? std::string("S_OK") : ResultCodeText(hr)), false);
        break;
    case TMemberKind::Method:
        ShowResult("Выполнено, " + QString::fromStdString(hr == S_OK ? std::string("S_OK") : ResultCodeText(hr)),
                   false);
        break;
    }
}

void TInterfaceSheet::ShowValue(const TMemberInfo& member, const VARIANT& value) {
    switch (member.params[0].type) {
    case TMemberType::Long:
        ShowResult(QString::fromStdString(LongText(value.lVal)), false);
        return;
    case TMemberType::Double:
        ShowResult(QString::fromStdString(DoubleText(value.dblVal, member)), false);
        return;
    case TMemberType::Bstr:
        ShowResult(QString::fromStdString(BstrText(value.bstrVal)), false);
        return;
    case TMemberType::Variant:
        ShowResult(QString::fromStdString(VariantText(value)), false);
        // An array's elements as a table under its type and shape.
        if ((value.vt & VT_ARRAY) && !(value.vt & VT_BYREF) && value.parray) {
            if (ArrayModel->Show(value.parray)) {
                MemberResultText->setText(MemberResultText->text() + ", " + ArrayModel->Shape());
                ArrayView->show();
            } else {
                ShowResult(QString::fromStdString(VariantText(value)) + ", элементы не прочитаны", true);
            }
        }
        return;
    }
}

std::string TInterfaceSheet::LongText(LONG value) {
    return std::to_string(value);
}

std::string TInterfaceSheet::DoubleText(double value, const TMemberInfo& member) {
    TLoggedValue logged;
    logged.type = TMemberType::Double;
    logged.real = value;
    std::string text = LoggedValueText(logged);
    // Latitudes and longitudes also in the console's degree-minute form (not the markers of missing values).
    if (member.property.find("Latitude") != std::string_view::npos && std::fabs(value) <= 90)
        text += "  (" + FormatLatitude(value) + ")";
    else if (member.property.find("Longitude") != std::string_view::npos && std::fabs(value) <= 180)
        text += "  (" + FormatLongitude(value) + ")";
    return text;
}

std::string TInterfaceSheet::BstrText(BSTR value) {
    return "\"" + BstrToUtf8(value) + "\" (длина " + std::to_string(SysStringLen(value)) + ")";
}

std::string TInterfaceSheet::VariantText(const VARIANT& value) {
    std::string text = "тип " + VarTypeName(value.vt);
    if (value.vt == VT_BSTR)
        return text + ", значение " + BstrText(value.bstrVal);
    if (const std::string shown = VariantValueText(TCallLog::Logged(value)); !shown.empty())
        text += ", значение " + shown;
    return text;
}

void TInterfaceSheet::EventReceived(DISPID dispId) {
    const char* name = "неизвестное событие";
    for (const TNavilonixEventInfo& event : kNavilonixEvents)
        if (event.dispId == dispId)
            name = event.name;
    auto* item = new QTreeWidgetItem();
    item->setText(0, QTime::currentTime().toString("hh:mm:ss.zzz"));
    item->setText(1, QString::number(dispId));
    item->setText(2, QString::fromUtf8(name));
    EventsListView->addTopLevelItem(item);
    while (EventsListView->topLevelItemCount() > kMaxEvents)
        delete EventsListView->takeTopLevelItem(0);
    EventsListView->scrollToItem(item);
}

void TInterfaceSheet::ClearEventsButtonClick() {
    EventsListView->clear();
}

void TInterfaceSheet::PauseLogButtonClick() {
    CallLog().SetRecording(!PauseLogButton->isChecked());
    CallLogRefresh();
}

void TInterfaceSheet::ClearLogButtonClick() {
    CallLog().Clear();
    CallLogRefresh();
}

void TInterfaceSheet::SaveLogButtonClick() {
    CallLogRefresh();
    if (!SaveLogDialog->Execute(window()))
        return;
    const std::string path = SaveLogDialog->FileName.toStdString();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        WriteCallLogCsv(CallLog(), file);
    file.close();
    if (!file)
        UiSeam::ShowMessageBox(window(), QStringLiteral("Не удалось записать файл «%1».").arg(SaveLogDialog->FileName),
                               Application ? Application->Title() : QString(), MB_OK | MB_ICONERROR);
}

void TInterfaceSheet::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_splitPlaced && m_splitter->width() > 0) {
        // Widths given before the sheet has its own are shrunk by the splitter at will (in the window's first size
        // the members list kept a third of a name); placed now, the list and the member keep a usable width and
        // the log takes the rest.
        m_splitPlaced = true;
        const int total = m_splitter->width() - 2 * m_splitter->handleWidth();
        const int members = std::clamp(total * 32 / 100, 220, 300);
        const int member = std::clamp(total * 28 / 100, 210, 280);
        m_splitter->setSizes({members, member, std::max(total - members - member, 0)});
    }
    ::Guarded([this] { CallLogRefresh(); });
}

void TInterfaceSheet::CallLogRefresh() {
    QScrollBar* bar = CallLogView->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    if (CallLogModel->Refresh() && atEnd)
        CallLogView->scrollToBottom();
    const TCallLogModel::TSummary figures = CallLogModel->Figures();
    const QLocale russian(QLocale::Russian);
    QString footer =
        QStringLiteral("Вызовов: %1, всего %2, в среднем %3")
            .arg(russian.toString(static_cast<qulonglong>(figures.count)), Microseconds(figures.total),
                 Microseconds(figures.count ? figures.total / static_cast<std::int64_t>(figures.count) : 0));
    if (const TMemberInfo* slowest = FindNavilonixMember(figures.slowestSlot))
        footer += QStringLiteral(", самый медленный: %1 (%2)").arg(Text(slowest->name), Microseconds(figures.slowest));
    if (!CallLog().Recording())
        footer += QStringLiteral(" — запись приостановлена");
    CallLogFooterLabel->setText(footer);
}
