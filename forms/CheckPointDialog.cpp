#include "forms/CheckPointDialog.h"

#include "forms/Checkpointproperties.h"
#include "forms/Controls.h"
#include "forms/MaskEdit.h"
#include "forms/ServerText.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TCheckPointDialogFrame::TCheckPointDialogFrame(const char* name, int namesLeft, int coordinatesLeft, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QString::fromLatin1(name));
    setFont(ConsoleFont());
    setFixedSize(394, 128);
    Panel = Named<QFrame>("Panel", this);
    Panel->setGeometry(0, 0, 394, 88);
    OKButton = Named<QPushButton>("OKButton", QStringLiteral("OK"), this);
    OKButton->setGeometry(176, 96, 100, 25);
    CancelButton = Named<QPushButton>("CancelButton", QStringLiteral("Отмена"), this);
    CancelButton->setGeometry(284, 96, 100, 25);

    const int edits = namesLeft + 60;
    NameLabel = MakeLabel("NameLabel", QStringLiteral("Название:"), Panel, {namesLeft, 8, 60, 21});
    NameEdit = MakeEdit("NameEdit", Panel, {edits, 8, 124, 21});
    AddressLabel = MakeLabel("AddressLabel", QStringLiteral("Адрес:"), Panel, {namesLeft, 32, 60, 21});
    AddressEdit = MakeEdit("AddressEdit", Panel, {edits, 32, 124, 21});
    IDLabel = MakeLabel("IDLabel", QStringLiteral("ID:"), Panel, {namesLeft, 56, 60, 21});
    IDEdit = MakeEdit("IDEdit", Panel, {edits, 56, 124, 21});
    LatLabel = MakeLabel("LatLabel", QStringLiteral("Широта:"), Panel, {coordinatesLeft, 8, 52, 21});
    LatMaskEdit = MakeCoordinateEdit("LatMaskEdit", Panel, coordinatesLeft + 52, 8);
    LngLabel = MakeLabel("LngLabel", QStringLiteral("Долгота:"), Panel, {coordinatesLeft, 32, 52, 21});
    LngMaskEdit = MakeCoordinateEdit("LngMaskEdit", Panel, coordinatesLeft + 52, 32);
    NameLabel->setBuddy(NameEdit);
    AddressLabel->setBuddy(AddressEdit);
    IDLabel->setBuddy(IDEdit);
    LatLabel->setBuddy(LatMaskEdit);
    LngLabel->setBuddy(LngMaskEdit);

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TCheckPointDialogFrame::ShowCurrentTexts() {
    NameEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointName));
    AddressEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointAddress));
    IDEdit->setText(ReadText(&TNavilonixAutomation::get_CheckPointID));
}

void TCheckPointDialogFrame::SetFirstControl(QWidget* control) {
    m_firstControl = control;
    control->setFocus();
}

int TCheckPointDialogFrame::ShowModalOrPlay(const std::function<void()>& script) {
    setResult(QDialog::Rejected);
    if (script) {
        script();
        return result();
    }
    if (m_firstControl)
        m_firstControl->setFocus();
    return exec();
}
