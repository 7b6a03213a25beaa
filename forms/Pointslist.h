// TPointsListForm: the window that lists one kind of entries of a trip (check point passages, stops, speeding,
// ...). The main window's "Записи…" command creates it, fills its list, shows it modally and destroys it.
#pragma once

#include <QDialog>

#include <functional>

class QFrame;
class QTreeWidget;

class TPointsListForm : public QDialog {
    Q_OBJECT
public:
    explicit TPointsListForm(QWidget* parent = nullptr);

    QFrame* Panel;
    QTreeWidget* PointsListView;

    // Sees every key pressed in the window before its controls do: Escape (27) closes the window; every other
    // key is left to the focused control (Key is then unchanged).
    void FormKeyPress(QObject* Sender, char16_t& Key);

    // Shows the window modally, centred over its parent, with the list focused; returns when it closes.
    void ShowModal();

    // For tests: runs once the window is on screen, inside its modal loop, so that a test can read it and close
    // it (with Escape, say). With the dialog seam in scripted mode and no hook set, the window closes as soon
    // as it is shown, so that nothing waits for a person.
    using TShownHook = std::function<void(TPointsListForm&)>;
    static void SetShownHook(TShownHook hook);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The entries window while it is shown; empty otherwise.
extern TPointsListForm* PointsListForm;
