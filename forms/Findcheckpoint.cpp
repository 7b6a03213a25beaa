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

namespace {

TFindCheckPointForm::TScript& Script() {
    static TFindCheckPointForm::TScript script;
    return script;
}

} // namespace

TFindCheckPointForm::TFindCheckPointForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FindCheckPointForm"));
    setWindowTitle(QStringLiteral("Поиск контрольной точки"));
    setFont(ConsoleFont());
    setFixedSize(394, 128);

    Panel = Named<QFrame>("Panel", this);
    Panel->setGeometry(0, 0, 394, 88);
    OKButton = Named<QPushButton>("OKButton", "OK", this);
    OKButton->setGeometry(176, 96, 100, 25);
    OKButton->setAutoDefault(false);
    CancelButton = Named<QPushButton>("CancelButton", "Отмена", this);
    CancelButton->setGeometry(284, 96, 100, 25);
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

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(FindButton, &QPushButton::clicked, this,
            [this] { TMainForm::Guarded([this] { FindButtonClick(FindButton); }); });
    LatMaskEdit->setFocus();
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

int TFindCheckPointForm::ShowModal() {
    setResult(QDialog::Rejected);
    if (Script()) {
        Script()(*this);
        return result();
    }
    LatMaskEdit->setFocus();
    return exec();
}

void TFindCheckPointForm::SetScript(TScript script) {
    Script() = std::move(script);
}
