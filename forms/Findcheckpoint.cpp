#include "forms/Findcheckpoint.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Checkpointproperties.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/MaskEdit.h"
#include "platform/ole/Bstr.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFindCheckPointForm* FindCheckPointForm = nullptr;

namespace {

template <class T, class... A> T* Named(const char* name, A&&... args) {
    T* control = new T(std::forward<A>(args)...);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

QLabel* MakeLabel(const char* name, const QString& caption, QWidget* parent, int left, int top, int width) {
    auto* label = Named<QLabel>(name, caption, parent);
    label->setGeometry(left, top, width, 21);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* MakeEdit(const char* name, QWidget* parent, int left, int top) {
    auto* edit = Named<QLineEdit>(name, parent);
    edit->setGeometry(left, top, 124, 21);
    return edit;
}

TFindCheckPointForm::TScript& Script() {
    static TFindCheckPointForm::TScript script;
    return script;
}

// A text property of the server, or an empty text when the connection went during the search (the server's
// close event can arrive while an earlier call waits for its answer).
QString ReadText(BSTR (TNavilonixAutomation::*get)()) {
    return Automation ? QString::fromStdString(BStr((Automation->*get)()).utf8()) : QString();
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
    LatLabel = MakeLabel("LatLabel", "Широта:", Panel, 8, 8, 52);
    LngLabel = MakeLabel("LngLabel", "Долгота:", Panel, 8, 32, 52);
    LatMaskEdit = MakeCoordinateEdit("LatMaskEdit", Panel, 60, 8);
    LngMaskEdit = MakeCoordinateEdit("LngMaskEdit", Panel, 60, 32);
    FindButton = Named<QPushButton>("FindButton", "Найти", Panel);
    FindButton->setGeometry(60, 56, 100, 25);
    FindButton->setDefault(true);
    NameLabel = MakeLabel("NameLabel", "Название:", Panel, 200, 8, 60);
    NameEdit = MakeEdit("NameEdit", Panel, 260, 8);
    AddressLabel = MakeLabel("AddressLabel", "Адрес:", Panel, 200, 32, 60);
    AddressEdit = MakeEdit("AddressEdit", Panel, 260, 32);
    IDLabel = MakeLabel("IDLabel", "ID:", Panel, 200, 56, 60);
    IDEdit = MakeEdit("IDEdit", Panel, 260, 56);
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
