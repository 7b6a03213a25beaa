// The "Интерфейс" sheet of the main window: every member of the server's interface with a typed read, write or
// call that reports failures in place, the events the server sends, and the log of every call the console makes.
#pragma once

#include "platform/ole/Variant.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class TArrayTableModel;
class TCallLogModel;
class TTextPane;
class TFileDialog;
struct TMemberInfo;

class TInterfaceSheet : public QWidget {
    Q_OBJECT
public:
    explicit TInterfaceSheet(QWidget* parent = nullptr);
    ~TInterfaceSheet() override;

    // --- Members ---
    QLineEdit* MemberFilterEdit;
    QTreeWidget* MembersListView; // slot, name, kind, type or parameters; the slot is each row's data value
    QLabel* MemberTitleLabel;
    QScrollArea* MemberArgumentsScroll; // holds the panel below; hidden for a member without arguments
    QWidget* MemberArgumentsPanel;      // one edit per argument of the selected member
    std::vector<QLineEdit*> ArgumentEdits;
    QPushButton* MemberCallButton; // "Прочитать", "Записать" or "Вызвать"
    TTextPane* MemberResultText;   // the value, or the failure in red
    QLabel* MemberTimeLabel;       // the round trip in microseconds
    QTableView* ArrayView;         // the elements of an array read, else hidden
    TArrayTableModel* ArrayModel;

    // --- Events ---
    QTreeWidget* EventsListView; // time, dispatch identifier, name
    QPushButton* ClearEventsButton;

    // --- Call log ---
    QTableView* CallLogView;
    TCallLogModel* CallLogModel;
    QPushButton* PauseLogButton; // checked: nothing is recorded
    QPushButton* ClearLogButton;
    QPushButton* SaveLogButton;
    QLabel* CallLogFooterLabel;
    TFileDialog* SaveLogDialog;
    QTimer* CallLogTimer;

    // The connection came or went: the member commands follow it.
    void SetConnected(bool connected);
    // Selects the member of a slot in the list (clearing the filter if it hides it); false for an unknown slot.
    bool SelectMember(int slot);
    const TMemberInfo* SelectedMember() const { return m_member; }

    // Handlers.
    void MemberFilterEditChange();
    void MembersListViewChange();
    // Enter on the filter or the list, or a double-click: to the first argument, or the call itself for a member
    // without any.
    void MembersListViewActivate();
    void MemberCallButtonClick();
    void ClearEventsButtonClick();
    void PauseLogButtonClick();
    void ClearLogButtonClick();
    void SaveLogButtonClick();
    // Brings the call log's rows and footer up to date (also run by CallLogTimer).
    void CallLogRefresh();

    // Texts of typed values as the sheet shows them.
    static std::string LongText(LONG value);
    static std::string DoubleText(double value, const TMemberInfo& member);
    static std::string BstrText(BSTR value);
    static std::string VariantText(const VARIANT& value);

protected:
    void showEvent(QShowEvent* event) override;
    // The filter passes the keys that move through the list to it, and Enter to the selected member.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMembersPanel(QWidget* panel);
    void CreateMemberPanel(QWidget* panel);
    void CreateEventsPanel(QWidget* panel);
    void CreateCallLogPanel(QWidget* panel);
    void ConnectHandlers();
    void FillMembersList();
    void ShowMember(const TMemberInfo* member);
    void ShowResult(const QString& text, bool failed);
    void ShowValue(const TMemberInfo& member, const VARIANT& value);
    void EventReceived(DISPID dispId);

    std::function<void(DISPID)> m_previousObserver;
    const TMemberInfo* m_member = nullptr;
    bool m_connected = false;
    QSplitter* m_splitter = nullptr;
    bool m_splitPlaced = false; // the columns' widths are set once, at the first showing; then they are the user's
};
