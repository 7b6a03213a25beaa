// The main window's commands that open the check point dialogs: add a check point, change the server's current
// one, and find the check point at given coordinates.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Checkpointproperties.h"
#include "forms/Findcheckpoint.h"
#include "forms/MaskEdit.h"
#include "platform/ole/Bstr.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

// The server's close event can arrive while a call waits for its answer and empty `Automation` in the middle of
// a command: reads then give empty values and writes are dropped, as for a dialog closed after a disconnect.
template <class T> T Read(T (TNavilonixAutomation::*get)()) {
    return Automation ? (Automation->*get)() : T{};
}

QString ReadText(BSTR (TNavilonixAutomation::*get)()) {
    return QString::fromStdString(BStr(Read(get)).utf8());
}

template <class T> void Write(void (TNavilonixAutomation::*set)(T), T value) {
    if (Automation)
        (Automation->*set)(value);
}

std::string Utf8(const QLineEdit* edit) {
    return edit->text().toStdString();
}

// What the properties dialog gives back on OK.
struct TCheckPointValues {
    double latitude = 0.0;
    double longitude = 0.0;
    LONG radius = DefaultRadius;
};

// Latitude, longitude and radius, converted in this order. A coordinate filled from a value the mask cannot
// show (see DegreesToCoordinateText) and left untouched keeps that value instead of becoming 0.
TCheckPointValues ReadValues(const TCheckPointPropertiesForm& dialog, const QString& shownLat = {},
                             double storedLat = 0.0, const QString& shownLng = {}, double storedLng = 0.0) {
    TCheckPointValues values;
    const auto keep = [](const QString& shown, const TMaskEdit* edit) {
        return shown.isNull() ? false : edit->Text() == shown;
    };
    values.latitude = keep(shownLat, dialog.LatMaskEdit)
                          ? storedLat
                          : CoordinateTextToDegrees(dialog.LatMaskEdit->Text(), MaxLatitude);
    values.longitude = keep(shownLng, dialog.LngMaskEdit)
                           ? storedLng
                           : CoordinateTextToDegrees(dialog.LngMaskEdit->Text(), MaxLongitude);
    values.radius = RadiusTextToRadius(dialog.RadiusEdit->text());
    return values;
}

} // namespace

void TMainForm::ConnectCheckPointDialogHandlers() {
    OnClick(AddCheckPointButton, &TMainForm::AddCheckPointButtonClick);
    OnClick(ChangeCheckPointButton, &TMainForm::ChangeCheckPointButtonClick);
    OnClick(FindCheckPointButton, &TMainForm::FindCheckPointButtonClick);
}

void TMainForm::AddCheckPointButtonClick(QObject*) {
    TCheckPointPropertiesForm dialog(this);
    dialog.setWindowTitle(QStringLiteral("Добавление контрольной точки"));
    if (dialog.ShowModal() != QDialog::Accepted)
        return;
    const TCheckPointValues values = ReadValues(dialog);
    // The server may have gone while the dialog was open.
    if (!Automation)
        return;
    Automation->AddCheckPoint(BStr(Utf8(dialog.NameEdit)).get(), BStr(Utf8(dialog.AddressEdit)).get(),
                              BStr(Utf8(dialog.IDEdit)).get(), values.latitude, values.longitude, values.radius);
    FillChPList();
}

void TMainForm::ChangeCheckPointButtonClick(QObject*) {
    TCheckPointPropertiesForm dialog(this);
    dialog.setWindowTitle(QStringLiteral("Редактирование контрольной точки"));
    // The server's current check point, normally the list's selected row.
    dialog.NameEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointName));
    dialog.AddressEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointAddress));
    dialog.IDEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointID));
    dialog.RadiusEdit->setText(QString::number(Read(&TNavilonixAutomation::get_CheckPointRadius)));
    const double storedLat = Read(&TNavilonixAutomation::get_CheckPointLatitude);
    dialog.LatMaskEdit->SetText(DegreesToCoordinateText(storedLat));
    const double storedLng = Read(&TNavilonixAutomation::get_CheckPointLongitude);
    dialog.LngMaskEdit->SetText(DegreesToCoordinateText(storedLng));
    // Texts of coordinates the mask cannot show; a null text for those it shows.
    const QString unshownLat = DegreesToCoordinateText(storedLat).isEmpty() ? dialog.LatMaskEdit->Text() : QString();
    const QString unshownLng = DegreesToCoordinateText(storedLng).isEmpty() ? dialog.LngMaskEdit->Text() : QString();

    if (dialog.ShowModal() != QDialog::Accepted)
        return;
    const TCheckPointValues values = ReadValues(dialog, unshownLat, storedLat, unshownLng, storedLng);
    if (!Automation)
        return;
    Write<BSTR>(&TNavilonixAutomation::set_CheckPointName, BStr(Utf8(dialog.NameEdit)).get());
    Write<BSTR>(&TNavilonixAutomation::set_CheckPointAddress, BStr(Utf8(dialog.AddressEdit)).get());
    Write<BSTR>(&TNavilonixAutomation::set_CheckPointID, BStr(Utf8(dialog.IDEdit)).get());
    Write<double>(&TNavilonixAutomation::set_CheckPointLatitude, values.latitude);
    Write<double>(&TNavilonixAutomation::set_CheckPointLongitude, values.longitude);
    Write<LONG>(&TNavilonixAutomation::set_CheckPointRadius, values.radius);
    FillChPList();
}

void TMainForm::FindCheckPointButtonClick(QObject*) {
    // A fresh dialog at each press; OK and Cancel both just close it.
    TFindCheckPointForm dialog(this);
    dialog.ShowModal();
}
