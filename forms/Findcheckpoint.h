// TFindCheckPointForm: the dialog that asks the tracking server which check point lies at given coordinates.
#pragma once

#include "forms/CheckPointDialog.h"
#include "platform/ole/Types.h"

class QPushButton;

// Shown with ShowModal; while a script is set (tests), the script types, finds and closes in place of the user.
class TFindCheckPointForm : public TCheckPointDialog<TFindCheckPointForm> {
    Q_OBJECT
public:
    explicit TFindCheckPointForm(QWidget* parent = nullptr);

    // Asks the server for the check point at the typed coordinates and shows its name, address and ID (empty
    // fields when there is none or the console is not connected).
    void FindButtonClick(QObject* Sender = nullptr);
    // The index of the check point the last successful search made the server's current one; 0 before any.
    LONG FoundIndex() const { return m_foundIndex; }

    QPushButton* FindButton;

private:
    LONG m_foundIndex = 0;
};

// The instance created at start-up; it is never shown (the find command makes a dialog of its own).
extern TFindCheckPointForm* FindCheckPointForm;
