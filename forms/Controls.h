// Small controls the console windows share: the makers of named controls, the combo box with a drop-down event,
// the read-only text pane, the status-bar hints, the list views' set-up and the file dialog settings object.
#pragma once

#include <QComboBox>
#include <QFont>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QRect;
class QStatusBar;
class QTreeWidget;
class QWidget;

// Creates a control with these constructor arguments and gives it its name.
template <class T, class... A> T* Named(const char* name, A&&... args) {
    T* control = new T(std::forward<A>(args)...);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}
// A caption left-aligned and centred vertically in its rectangle.
QLabel* MakeLabel(const char* name, const QString& caption, QWidget* parent, const QRect& geometry);
QLineEdit* MakeEdit(const char* name, QWidget* parent, const QRect& geometry);

// A combo box that announces its drop-down before the list opens (so the list can be filled then), keeps its
// edit text when its items are cleared or refilled, limits what the user types (texts set by the program are
// never cut) and can keep its items sorted by text.
class TComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComboBox(QWidget* parent = nullptr, bool editable = true);

    void SetSorted(bool sorted) { m_sorted = sorted; }
    bool Sorted() const { return m_sorted; }
    // The most characters the user may type; 0 means no limit.
    void SetMaxLength(int length) { m_maxLength = length; }
    int MaxLength() const { return m_maxLength; }

    // Adds an item with a data value, at its place in text order when the box is sorted; returns its index.
    // The edit text stays as it was.
    int AddItem(const QString& text, const QVariant& data = {});
    // Removes every item; the edit text stays.
    void ClearItems();
    QString Text() const;
    void SetText(const QString& text);

    void showPopup() override;

signals:
    // Emitted before the list drops down.
    void DropDown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool AcceptsTyping(int added) const;
    bool m_sorted = false;
    int m_maxLength = 0;
};

// The windows' font: Tahoma of 11 pixels (8 points), or the closest sans-serif face of similar width that the
// machine has. CaptionFont is the same for the caption panels, led by MS Sans Serif.
QFont ConsoleFont();
QFont CaptionFont();

// Where a window whose outer rectangle (frame included) is `frame` goes on a screen's free `area`: where it is
// when it fits; otherwise moved into the area, and shrunk to the area where it is larger.
QRect FitIntoArea(const QRect& frame, const QRect& area);
// Moves (and if need be shrinks) a top-level window into the free area of its screen by FitIntoArea.
void FitOnScreen(QWidget* window);

// Sets a control's hint: shown in the status bar while the mouse is over the control, never as a tooltip, and read
// by screen readers as the control's description.
void SetHint(QWidget* control, const QString& hint);

// Gives each control that a label is the buddy of the label's caption (without its accelerator mark and closing
// colon) as its accessible name, which screen readers read; names set by hand are kept. Run once a window's
// controls exist.
void NameControlsForScreenReaders(QWidget* window);

// Shows the hint of the control under the mouse pointer in a status bar (the control's status tip, or that of
// the nearest enclosing control that has one); an empty hint clears the bar.
class TStatusHints : public QObject {
    Q_OBJECT
public:
    explicit TStatusHints(QStatusBar* bar);
    ~TStatusHints() override;
    // The hint shown for a control (the control's own, else its nearest ancestor's within the window).
    static QString HintOf(const QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QStatusBar> m_bar;
};

// One column of a report-style list view: caption, width (-1: takes the rest of the row) and alignment.
struct TListColumn {
    QString caption;
    int width = -1;
    Qt::Alignment alignment = Qt::AlignLeft;
};

// Makes a tree widget a report-style list: the given columns, no root decoration, read-only, one whole row
// selected at a time, the selection kept visible when the list loses focus. Cells take their column's
// alignment unless an item sets its own.
void SetupListView(QTreeWidget* view, const std::vector<TListColumn>& columns);
// Keeps a view's selection drawn in the active colours when the view loses focus.
void KeepSelectionVisible(QWidget* view);

// Read-only, selectable text that wraps anywhere, so a long value without spaces wraps too (a label would widen its
// window to the width of that value), and is as tall as its lines up to `maxLines`, then scrolls. Hidden while
// empty.
class TTextPane final : public QPlainTextEdit {
public:
    explicit TTextPane(int maxLines, QWidget* parent = nullptr);
    QString text() const { return toPlainText(); }
    void setText(const QString& text);
    void clear() { setText({}); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitHeight();
    int m_maxLines;
};

// Suspends a view's redrawing until the scope ends, also when an error ends a fill part-way.
class TBulkUpdate {
public:
    explicit TBulkUpdate(QWidget* view);
    TBulkUpdate(const TBulkUpdate&) = delete;
    TBulkUpdate& operator=(const TBulkUpdate&) = delete;
    ~TBulkUpdate();

private:
    QWidget* m_view;
};

enum class TFileDialogKind { Open, Save };

// The settings of an open or save file dialog, kept between uses; Execute shows it (through the console's
// dialog seam) and stores the picked file name and filter.
class TFileDialog : public QObject {
    Q_OBJECT
public:
    TFileDialog(TFileDialogKind kind, QObject* parent);

    TFileDialogKind Kind;
    QString Title;
    // Pairs of description and pattern separated by '|': "Files (*.chp)|*.chp|All files (*)|*".
    QString Filter;
    // 1-based, as the user picked it.
    int FilterIndex = 1;
    // Added to a typed name without an extension (without the dot).
    QString DefaultExt;
    QString InitialDir;
    QString FileName;
    bool OverwritePrompt = false;
    bool FileMustExist = false;
    bool PathMustExist = false;

    // The Qt name filters of Filter ("Files (*.chp)").
    QStringList NameFilters() const;
    // Shows the dialog; true when the user accepted a file (FileName and FilterIndex then hold the choice).
    bool Execute(QWidget* parent);
};
