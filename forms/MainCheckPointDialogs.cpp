// The main window's commands that open the check point dialogs: add a check point, change the server's current
// one, and find the check point at given coordinates.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Checkpointproperties.h"
#include "forms/Findcheckpoint.h"
#include "forms/MaskEdit.h"
#include "forms/ServerText.h"
#include "platform/ole/Bstr.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <cmath>

namespace {

// Without a connection (see Read) writes are dropped, as for a dialog closed after a disconnect.
template <class T> void Write(void (TNavilonixAutomation::*set)(T), T value) {
    if (Automation)
        (Automation->*set)(value);
}

std::string Utf8(const QLineEdit* edit) {
    return edit->text().toStdString();
}

// A coordinate as the change dialog shows it. The mask holds no sign, so it shows the absolute value, notes a
// southern latitude or a western longitude beside it, and the stored sign goes back on whatever the edit holds on
// OK. A value the mask cannot show at all (see DegreesToCoordinateText) that is left untouched is written back
// as it was.
struct TShownCoordinate {
    double stored = 0.0;
    QString unshownText; // the edit's text when the value could not be shown, else null

    void Show(TMaskEdit* edit, double value, const char* negativeNote) {
        stored = value;
        const QString text = DegreesToCoordinateText(std::fabs(value));
        edit->SetText(text);
        edit->SetNote(value < 0.0 ? QString::fromUtf8(negativeNote) : QString());
        unshownText = text.isEmpty() ? edit->Text() : QString();
    }
};

// A coordinate edit's value on OK, read from its aligned text (as it reads once focus has left it, also when
// Enter closed the dialog from inside the edit).
double ReadCoordinate(const TMaskEdit* edit, double limit, const TShownCoordinate* shown = nullptr) {
    if (shown && !shown->unshownText.isNull() && edit->Text() == shown->unshownText)
        return shown->stored;
    const double value = CoordinateTextToDegrees(edit->AlignedText(), limit);
    return shown && shown->stored < 0.0 && value != 0.0 ? -value : value;
}

// What the properties dialog gives back on OK.
struct TCheckPointValues {
    double latitude = 0.0;
    double longitude = 0.0;
    LONG radius = DefaultRadius;
};

// Latitude, longitude and radius, converted in this order.
TCheckPointValues ReadValues(const TCheckPointPropertiesForm& dialog, const TShownCoordinate* lat = nullptr,
                             const TShownCoordinate* lng = nullptr) {
    TCheckPointValues values;
    values.latitude = ReadCoordinate(dialog.LatMaskEdit, MaxLatitude, lat);
    values.longitude = ReadCoordinate(dialog.LngMaskEdit, MaxLongitude, lng);
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
    OleCheck(Automation->AddCheckPoint(BStr(Utf8(dialog.NameEdit)).get(), BStr(Utf8(dialog.AddressEdit)).get(),
                                       BStr(Utf8(dialog.IDEdit)).get(), values.latitude, values.longitude,
                                       values.radius));
    FillChPList();
}

void TMainForm::ChangeCheckPointButtonClick(QObject*) {
    TCheckPointPropertiesForm dialog(this);
    dialog.setWindowTitle(QStringLiteral("Редактирование контрольной точки"));
    // The server's current check point, normally the list's selected row.
    dialog.ShowCurrentTexts();
    dialog.RadiusEdit->setText(QString::number(Read(&TNavilonixAutomation::get_CheckPointRadius)));
    TShownCoordinate lat, lng;
    lat.Show(dialog.LatMaskEdit, Read(&TNavilonixAutomation::get_CheckPointLatitude), "ю. ш.");
    lng.Show(dialog.LngMaskEdit, Read(&TNavilonixAutomation::get_CheckPointLongitude), "з. д.");

    if (dialog.ShowModal() != QDialog::Accepted)
        return;
    const TCheckPointValues values = ReadValues(dialog, &lat, &lng);
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
    // A successful find made the found check point the server's current one, which Change and Delete act on:
    // the list then shows it highlighted.
    const LONG found = dialog.FoundIndex();
    if (found < 1 || !Automation)
        return;
    const QList<QTreeWidgetItem*> selected = ChPListView->selectedItems();
    if (selected.size() != 1 || selected.front()->data(0, Qt::UserRole).toInt() != found)
        FillChPList();
}
