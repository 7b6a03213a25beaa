#include "forms/Findcheckpoint.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Checkpointproperties.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/MaskEdit.h"
#include "forms/ServerText.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFindCheckPointForm* FindCheckPointForm = nullptr;

TFindCheckPointForm::TFindCheckPointForm(QWidget* parent) : TCheckPointDialog("FindCheckPointForm", parent) {
    setWindowTitle(QStringLiteral("Поиск контрольной точки"));
    OKButton->setAutoDefault(false);
    CancelButton->setAutoDefault(false);
    LatLabel = MakeLabel("LatLabel", "Широта:", Panel, {8, 8, 52, 21});
    LngLabel = MakeLabel("LngLabel", "Долгота:", Panel, {8, 32, 52, 21});
    LatMaskEdit = MakeCoordinateEdit("LatMaskEdit", Panel, 60, 8);
    LngMaskEdit = MakeCoordinateEdit("LngMaskEdit", Panel, 60, 32);
    FindButton = Named<QPushButton>("FindButton", "Найти", Panel);
    FindButton->setGeometry(60, 56, 100, 25);
    FindButton->setDefault(true);
    NameLabel = MakeLabel("NameLabel", "Название:", Panel, {200, 8, 60, 21});
    NameEdit = MakeEdit("NameEdit", Panel, {260, 8, 124, 21});
    AddressLabel = MakeLabel("AddressLabel", "Адрес:", Panel, {200, 32, 60, 21});
    AddressEdit = MakeEdit("AddressEdit", Panel, {260, 32, 124, 21});
    IDLabel = MakeLabel("IDLabel", "ID:", Panel, {200, 56, 60, 21});
    IDEdit = MakeEdit("IDEdit", Panel, {260, 56, 124, 21});
    for (QLineEdit* edit : {NameEdit, AddressEdit, IDEdit}) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::ClickFocus); // skipped by Tab
    }
    setTabOrder(LatMaskEdit, LngMaskEdit);
    setTabOrder(LngMaskEdit, FindButton);
    setTabOrder(FindButton, OKButton);
    setTabOrder(OKButton, CancelButton);

    LatLabel->setBuddy(LatMaskEdit);
    LngLabel->setBuddy(LngMaskEdit);
    NameLabel->setBuddy(NameEdit);
    AddressLabel->setBuddy(AddressEdit);
    IDLabel->setBuddy(IDEdit);
    NameControlsForScreenReaders(this);

    connect(FindButton, &QPushButton::clicked, this,
            [this] { TMainForm::Guarded([this] { FindButtonClick(FindButton); }); });
    SetFirstControl(LatMaskEdit);
}

void TFindCheckPointForm::FindButtonClick(QObject*) {
    // The aligned texts: Enter runs the search with the focus still in a coordinate edit.
    const double latitude = CoordinateTextToDegrees(LatMaskEdit->AlignedText(), MaxLatitude);
    const double longitude = CoordinateTextToDegrees(LngMaskEdit->AlignedText(), MaxLongitude);
    LONG found = 0;
    if (Automation) {
        OleCheck(Automation->SetCurrentCoords(latitude, longitude));
        found = Automation->get_CurrentCheckPointIndex();
    }
    if (found < 1 || !Automation) {
        NameEdit->clear();
        AddressEdit->clear();
        IDEdit->clear();
        return;
    }
    Automation->set_CheckPointIndex(found);
    m_foundIndex = found;
    NameEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointName));
    AddressEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointAddress));
    IDEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointID));
}
