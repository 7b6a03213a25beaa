// TCheckPointDialog: what the check point dialogs share. The window of 394 × 128 with a panel over OK and Cancel;
// on the panel a check point's name, address and ID in one column and its latitude and longitude in another; and
// the modal showing that tests can play instead: while a script is set for a dialog class, ShowModal shows nothing
// and runs the script, which fills the dialog and closes it in place of the user.
#pragma once

#include <QDialog>

#include <functional>
#include <utility>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TMaskEdit;

// The window and its controls; TCheckPointDialog adds the scripts.
class TCheckPointDialogFrame : public QDialog {
public:
    QFrame* Panel;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QLabel* NameLabel;
    QLineEdit* NameEdit;
    QLabel* AddressLabel;
    QLineEdit* AddressEdit;
    QLabel* IDLabel;
    QLineEdit* IDEdit;
    QLabel* LatLabel;
    TMaskEdit* LatMaskEdit;
    QLabel* LngLabel;
    TMaskEdit* LngMaskEdit;

    // Shows the name, address and ID of the server's current check point (empty texts without a connection).
    void ShowCurrentTexts();

protected:
    // `name` is the window's object name. The name, address and ID rows (a label 60 wide, then the edit) stand in
    // the column at `namesLeft`, the latitude and longitude rows (a label 52 wide) in the column at
    // `coordinatesLeft`; each label is its edit's buddy. OK accepts and Cancel rejects.
    TCheckPointDialogFrame(const char* name, int namesLeft, int coordinatesLeft, QWidget* parent);

    // The control that has the focus when the dialog opens; it takes the focus at once too.
    void SetFirstControl(QWidget* control);
    // Runs `script` in place of the user when there is one, else shows the dialog modally with the focus in its
    // first control; returns QDialog::Accepted or QDialog::Rejected.
    int ShowModalOrPlay(const std::function<void()>& script);

private:
    QWidget* m_firstControl = nullptr;
};

// TForm is the dialog class itself, which the scripts are given.
template <class TForm> class TCheckPointDialog : public TCheckPointDialogFrame {
public:
    using TScript = std::function<void(TForm&)>;

    // Shows the dialog modally and returns QDialog::Accepted or QDialog::Rejected. A script that closes nothing
    // leaves the result Rejected, as the title-bar button does.
    int ShowModal() {
        if (!Script())
            return ShowModalOrPlay({});
        return ShowModalOrPlay([this] { Script()(static_cast<TForm&>(*this)); });
    }
    // The script that plays every dialog of this class from now on; an empty one shows them again.
    static void SetScript(TScript script) { Script() = std::move(script); }

protected:
    using TCheckPointDialogFrame::TCheckPointDialogFrame;

private:
    static TScript& Script() {
        static TScript script;
        return script;
    }
};
