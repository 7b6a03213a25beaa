// TCheckPointDialog: what the check point dialogs share. The window of 394 × 128 with a panel for the fields over
// OK and Cancel, and the modal showing that tests can play instead: while a script is set for a dialog class,
// ShowModal shows nothing and runs the script, which fills the dialog and closes it in place of the user.
#pragma once

#include "forms/Controls.h"

#include <QDialog>
#include <QFrame>
#include <QPushButton>

#include <functional>
#include <utility>

// TForm is the dialog class itself, which the scripts are given.
template <class TForm> class TCheckPointDialog : public QDialog {
public:
    using TScript = std::function<void(TForm&)>;

    // Shows the dialog modally, with the focus in its first control, and returns QDialog::Accepted or
    // QDialog::Rejected. A script that closes nothing leaves the result Rejected, as the title-bar button does.
    int ShowModal() {
        setResult(QDialog::Rejected);
        if (Script()) {
            Script()(static_cast<TForm&>(*this));
            return result();
        }
        if (m_firstControl)
            m_firstControl->setFocus();
        return exec();
    }
    // The script that plays every dialog of this class from now on; an empty one shows them again.
    static void SetScript(TScript script) { Script() = std::move(script); }

    QFrame* Panel;
    QPushButton* OKButton;
    QPushButton* CancelButton;

protected:
    // `name` is the window's object name. OK accepts and Cancel rejects.
    TCheckPointDialog(const char* name, QWidget* parent) : QDialog(parent) {
        setObjectName(QString::fromLatin1(name));
        setFont(ConsoleFont());
        setFixedSize(394, 128);
        Panel = Named<QFrame>("Panel", this);
        Panel->setGeometry(0, 0, 394, 88);
        OKButton = Named<QPushButton>("OKButton", QStringLiteral("OK"), this);
        OKButton->setGeometry(176, 96, 100, 25);
        CancelButton = Named<QPushButton>("CancelButton", QStringLiteral("Отмена"), this);
        CancelButton->setGeometry(284, 96, 100, 25);
        connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
        connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    }

    // The control that has the focus when the dialog opens; it takes the focus at once too.
    void SetFirstControl(QWidget* control) {
        m_firstControl = control;
        control->setFocus();
    }

private:
    static TScript& Script() {
        static TScript script;
        return script;
    }

    QWidget* m_firstControl = nullptr;
};
