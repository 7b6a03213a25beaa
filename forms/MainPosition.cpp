// The vehicle position commands of the control sheet: the vehicle file and device inputs with their drop-down
// lists, and the commands that have the server show a vehicle's last position or track, request its online data
// and report the server's current position.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/Formats.h"
#include "forms/ServerText.h"
#include "forms/UiSeam.h"
#include "platform/ole/Bstr.h"
#include "platform/rtl/Conversion.h"

#include <algorithm>

namespace {

// Markers of missing values.
constexpr double NoPosition = -777.0;
constexpr double NoAltitude = -1000.0;

// Suspends a combo box's updates and removes its items (its edit text stays); updates resume when the scope
// ends, also when an error ends the fill.
class TListRefill {
public:
    explicit TListRefill(TComboBox* box) : m_box(box) {
        m_box->setUpdatesEnabled(false);
        m_box->ClearItems();
    }
    TListRefill(const TListRefill&) = delete;
    TListRefill& operator=(const TListRefill&) = delete;
    ~TListRefill() { m_box->setUpdatesEnabled(true); }

private:
    TComboBox* m_box;
};

std::string EditText(const TComboBox* box) {
    return box->Text().toStdString();
}

} // namespace

void TMainForm::SetUpPositionControls() {
    GroupsComboBox->SetSorted(true);
    GroupsComboBox->setMaxVisibleItems(16);
    GroupsComboBox->SetMaxLength(0);
    CarsComboBox->SetSorted(true);
    CarsComboBox->setMaxVisibleItems(16);
    // Typing only: device numbers set by the program or picked from the list keep their seven digits.
    CarsComboBox->SetMaxLength(5);
}

void TMainForm::GroupsComboBoxDropDown(QObject*) {
    const TListRefill refill(GroupsComboBox);
    if (!Automation)
        return;
    const LONG groupsNum = std::max<LONG>(Automation->get_GroupsNum(), 0);
    for (LONG g = 1; g <= groupsNum; ++g) {
        Automation->set_GroupIndex(g);
        GroupsComboBox->AddItem(QText(Automation->get_GroupFileName()), static_cast<int>(g));
    }
}

void TMainForm::CarsComboBoxDropDown(QObject*) {
    const TListRefill refill(CarsComboBox);
    if (!Automation)
        return;
    // The file is passed as it stands: the list shows whatever the server then reports.
    Automation->SetGroupIndexByFileName(BStr(EditText(GroupsComboBox)).get());
    const LONG carsNum = std::max<LONG>(Automation->get_GroupCarsNum(), 0);
    for (LONG v = 1; v <= carsNum; ++v) {
        Automation->set_CarIndex(v);
        CarsComboBox->AddItem(QString::fromStdString(FormatDeviceNumber(Automation->get_CarDevice())),
                              static_cast<int>(v));
    }
}

void TMainForm::LastPositionButtonClick(QObject*) {
    const LONG device = StrToInt(EditText(CarsComboBox));
    Automation->GoToCarLastPosition(BStr(EditText(GroupsComboBox)).get(), device);
}

void TMainForm::LastTrackButtonClick(QObject*) {
    const LONG device = StrToInt(EditText(CarsComboBox));
    Automation->GoToCarLastTrack(BStr(EditText(GroupsComboBox)).get(), device);
}

void TMainForm::OnlineDataButtonClick(QObject*) {
    const LONG device = StrToInt(EditText(CarsComboBox));
    Automation->ReceiveOnlineData(device);
}

void TMainForm::CurrentPositionButtonClick(QObject*) {
    std::string message = Text(Automation->get_CurrentTime());
    const double latitude = Automation->get_CurrentLatitude();
    const double longitude = Automation->get_CurrentLongitude();
    const double altitude = Automation->get_CurrentAltitude();
    if (latitude != NoPosition && longitude != NoPosition) {
        if (!message.empty())
            message += "\r\n";
        message += FormatPosition(latitude, longitude);
    }
    if (altitude != NoAltitude) {
        if (!message.empty())
            message += "\r\n";
        message += "Высота: " + FormatAltitude(altitude);
    }
    if (!message.empty())
        Application->MessageBox(QString::fromStdString(message), QStringLiteral("Позиция"), MB_OK);
}
