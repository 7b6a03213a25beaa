#include "forms/Findcheckpoint.h"

#include "forms/Controls.h"

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

// Whole degrees, whole minutes and thousandths of a minute; every digit optional.
QLineEdit* MakeCoordinateEdit(const char* name, QWidget* parent, int left, int top) {
    QLineEdit* edit = MakeEdit(name, parent, left, top);
    edit->setInputMask(QStringLiteral("000° 00,000’; "));
    return edit;
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

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    LatMaskEdit->setFocus();
}
