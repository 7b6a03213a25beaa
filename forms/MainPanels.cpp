// The information panels beside the groups tree: the group list, the device list and the online list. Their rows
// are fixed; the fills only write the values of the selected group or vehicle read from the server.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Formats.h"
#include "forms/ServerText.h"
#include "platform/rtl/Conversion.h"
#include "platform/rtl/DateTimeFormat.h"

#include <QTreeWidget>

#include <exception>
#include <initializer_list>

namespace {

// Suspends a list's redrawing for the scope; it is resumed also when an error ends the fill.
class TUpdatesSuspended {
public:
    explicit TUpdatesSuspended(QWidget* control) : m_control(control) { m_control->setUpdatesEnabled(false); }
    TUpdatesSuspended(const TUpdatesSuspended&) = delete;
    TUpdatesSuspended& operator=(const TUpdatesSuspended&) = delete;
    ~TUpdatesSuspended() { m_control->setUpdatesEnabled(true); }

private:
    QWidget* m_control;
};

// Rows of the online list.
enum TOnlineRow {
    rowSource = 0,
    rowLastTime = 1,
    rowLastATime = 2,
    rowLatitude = 3,
    rowLongitude = 4,
    rowCourse = 5,
    rowState = 6,
    rowInput1 = 8,
    rowInput2 = 9,
    rowInput3 = 10,
    rowInput8 = 15,
};

// Markers of missing values.
constexpr double NoPosition = -777.0;
constexpr LONG NoInputs = -1;
// Devices numbered below this one have two inputs only.
constexpr LONG FirstEightInputDevice = 21999;

void AddRows(QTreeWidget* list, std::initializer_list<const char*> captions) {
    for (const char* caption : captions) {
        auto* row = new QTreeWidgetItem(list);
        if (*caption) {
            row->setText(0, QString::fromUtf8(caption));
        } else {
            // A separator: a blank row that cannot be selected and is never written.
            row->setFlags(Qt::ItemIsEnabled);
        }
    }
}

void SetValue(QTreeWidget* list, int row, const std::string& value) {
    if (QTreeWidgetItem* item = list->topLevelItem(row))
        item->setText(1, QString::fromStdString(value));
}

void ClearValues(QTreeWidget* list, std::initializer_list<int> rows) {
    for (int row : rows)
        SetValue(list, row, {});
}

const char* InputText(LONG flags, LONG mask) {
    return (flags & mask) ? "Включен" : "Выключен";
}

// The date forms a server in other regional settings than the user's writes (another machine, or a server
// started by the bus without the user's environment): the C locale's month-first "MM/dd/yyyy" and the
// day-first "dd.MM.yyyy" of the period texts, both with a 24-hour "hh:mm:ss".
bool TryServerDateTime(const std::string& text, TDateTime& value) {
    if (TryStrToDateTime(text, value))
        return true;
    TFormatSettings settings = TFormatSettings::Invariant();
    if (TryStrToDateTime(text, value, settings))
        return true;
    settings.DateSeparator = ".";
    settings.ShortDateFormat = "dd.MM.yyyy";
    return TryStrToDateTime(text, value, settings);
}

// A record time of the server shown as "dd.mm.yy - hh:mm:ss"; empty when it cannot be read or is no date and
// time in any of those forms.
std::string RecordTime(BSTR (TNavilonixAutomation::*read)()) {
    try {
        const std::string text = Text((Automation->*read)());
        TDateTime value = 0;
        if (TryServerDateTime(text, value))
            return FormatRecordTime(value);
    } catch (const std::exception&) {
        // An unreadable time shows empty; the rest of the list is still filled.
    }
    return {};
}

} // namespace

void TMainForm::CreateInfoRows() {
    AddRows(GroupInfoListView, {"Название", "Адрес", "Контактная информация", "Файл ТС", "Число ТС"});
    AddRows(InfoListView, {"Номер устройства", "", "Марка/Модель", "Номер ТС", "Маршрут", "Водители",
                           "Отображаемое имя", "Номер телефона", "", "Контрольные точки", "Геозоны"});
    AddRows(OnlineListView,
            {"Источник данных", "Последняя запись", "Последняя точка", "Широта", "Долгота", "Направление", "Состояние",
             "", "Датчик 1", "Датчик 2", "Датчик 3", "Датчик 4", "Датчик 5", "Датчик 6", "Датчик 7", "Датчик 8"});
}

void TMainForm::FillGroupInfo(QTreeWidgetItem* Node) {
    const TUpdatesSuspended suspended(GroupInfoListView);
    if (!Node || !Automation) {
        ClearValues(GroupInfoListView, {0, 1, 2, 3, 4});
        return;
    }
    Automation->set_GroupIndex(NodeData(Node));
    SetValue(GroupInfoListView, 0, Text(Automation->get_GroupName()));
    SetValue(GroupInfoListView, 1, Text(Automation->get_GroupAddress()));
    SetValue(GroupInfoListView, 2, Text(Automation->get_GroupContacts()));
    SetValue(GroupInfoListView, 3, Text(Automation->get_GroupFileName()));
    SetValue(GroupInfoListView, 4, IntToStr(Automation->get_GroupCarsNum()));
}

void TMainForm::FillDeviceInfo(QTreeWidgetItem* Node) {
    const TUpdatesSuspended suspended(InfoListView);
    if (!Node || !Automation) {
        ClearValues(InfoListView, {0, 2, 3, 4, 5, 6, 7, 9, 10});
        return;
    }
    Automation->set_GroupIndex(NodeData(Node->parent()));
    Automation->set_CarIndex(NodeData(Node));
    SetValue(InfoListView, 0, FormatDeviceNumber(Automation->get_CarDevice()));
    SetValue(InfoListView, 2, Text(Automation->get_CarModel()));
    SetValue(InfoListView, 3, Text(Automation->get_CarNumber()));
    SetValue(InfoListView, 4, Text(Automation->get_CarRoute()));
    SetValue(InfoListView, 5, Text(Automation->get_CarDrivers()));
    SetValue(InfoListView, 6, Text(Automation->get_CarAlias()));
    SetValue(InfoListView, 7, Text(Automation->get_CarTelNum()));
    SetValue(InfoListView, 9, Text(Automation->get_CarCheckPointsFile()));
    SetValue(InfoListView, 10, Text(Automation->get_CarGeoZonesFile()));
}

void TMainForm::FillOnlineInfo(QTreeWidgetItem* Node) {
    const TUpdatesSuspended suspended(OnlineListView);
    if (!Node || !Automation) {
        ClearValues(OnlineListView, {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15});
        return;
    }
    Automation->set_GroupIndex(NodeData(Node->parent()));
    Automation->set_CarIndex(NodeData(Node));

    SetValue(OnlineListView, rowSource, "GPRS");
    SetValue(OnlineListView, rowLastTime, RecordTime(&TNavilonixAutomation::get_CarLastTime));
    SetValue(OnlineListView, rowLastATime, RecordTime(&TNavilonixAutomation::get_CarLastATime));

    const double latitude = Automation->get_CarLatitude();
    if (latitude != NoPosition) {
        // A southern latitude or western longitude shows its absolute value with its own hemisphere.
        SetValue(OnlineListView, rowLatitude, FormatLatitude(latitude));
        SetValue(OnlineListView, rowLongitude, FormatLongitude(Automation->get_CarLongitude()));
        SetValue(OnlineListView, rowCourse, FormatCourse(Automation->get_CarCourse()));
        // The parking duration in days; a text that is not a time ends the fill with the conversion error.
        const TDateTime parkTime = StrToTime(Text(Automation->get_CarParkTime()));
        std::string state;
        if (parkTime == 0) {
            const double speed = Automation->get_CarSpeed();
            if (speed >= 0)
                state = "скорость " + FormatSpeed(speed);
        } else if (parkTime > OneHour) {
            state = "стоянка > 1 ч";
        } else {
            state = "стоянка " + FormatDuration(parkTime);
        }
        SetValue(OnlineListView, rowState, state);
    } else {
        ClearValues(OnlineListView, {rowLatitude, rowLongitude, rowCourse, rowState});
    }

    const LONG flags = Automation->get_CarFlags();
    if (flags == NoInputs) {
        ClearValues(OnlineListView, {8, 9, 10, 11, 12, 13, 14, 15});
        return;
    }
    SetValue(OnlineListView, rowInput1, InputText(flags, 0x2));
    SetValue(OnlineListView, rowInput2, InputText(flags, 0x1));
    const bool eightInputs = Automation->get_CarDevice() >= FirstEightInputDevice;
    for (int row = rowInput3, bit = 4; row <= rowInput8; ++row, ++bit)
        SetValue(OnlineListView, row, eightInputs ? InputText(flags, LONG{1} << bit) : "-");
}
