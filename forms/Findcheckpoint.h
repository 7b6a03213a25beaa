// TFindCheckPointForm: the dialog that asks the tracking server which check point lies at given coordinates.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TFindCheckPointForm : public QDialog {
    Q_OBJECT
public:
    explicit TFindCheckPointForm(QWidget* parent = nullptr);

    QFrame* Panel;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QLabel* LatLabel;
    QLabel* LngLabel;
    QLineEdit* LatMaskEdit;
    QLineEdit* LngMaskEdit;
    QPushButton* FindButton;
    QLabel* NameLabel;
    QLineEdit* NameEdit;
    QLabel* AddressLabel;
    QLineEdit* AddressEdit;
    QLabel* IDLabel;
    QLineEdit* IDEdit;
};

// The instance created at start-up; it is never shown (the find command makes a dialog of its own).
extern TFindCheckPointForm* FindCheckPointForm;
