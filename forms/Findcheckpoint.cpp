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

TFindCheckPointForm::TFindCheckPointForm(QWidget* parent) : TCheckPointDialog("FindCheckPointForm", 200, 8, parent) {
    setWindowTitle(QStringLiteral("Поиск контрольной точки"));
    OKButton->setAutoDefault(false);
    CancelButton->setAutoDefault(false);
    FindButton = Named<QPushButton>("FindButton", "Найти", Panel);
    FindButton->setGeometry(60, 56, 100, 25);
    FindButton->setDefault(true);
    for (QLineEdit* edit : {NameEdit, AddressEdit, IDEdit}) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::ClickFocus); // skipped by Tab
    }
    setTabOrder(LatMaskEdit, LngMaskEdit);
    setTabOrder(LngMaskEdit, FindButton);
    setTabOrder(FindButton, OKButton);
    setTabOrder(OKButton, CancelButton);
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
    ShowCurrentTexts();
}
