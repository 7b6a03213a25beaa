// TMaskEdit: a one-line edit whose text follows a fixed edit mask: digit places and literals, with the literals
// kept in the text and a blank shown for every empty digit place.
#pragma once

#include <QLineEdit>
#include <QString>

#include <functional>
#include <vector>

class QLabel;

class TMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    // The mask: '9' is an optional digit place, '0' a digit place, '\' makes the next character a literal and
    // every other character is a literal; a leading '!' right-aligns the digits of each field (a run of digit
    // places) with leading blanks. An optional ";<save literals>;<blank>" tail names the blank character
    // (a space by default).
    explicit TMaskEdit(const QString& editMask, QWidget* parent = nullptr);

    // The text with its literals and blanks, always as long as the mask.
    QString Text() const { return text(); }
    // The text with each field's digits closed up as the mask places them (to the right with '!'), as the edit
    // shows it once it has been left. Read values from this, so that a value does not depend on whether focus
    // left the edit before it was read.
    QString AlignedText() const;
    // Places a text in the mask: the digits up to each field's closing literal fill that field (right-aligned
    // when the mask asks for it); anything else is dropped, and fields without digits stay blank. Forgets the
    // undo history.
    void SetText(const QString& value);
    // The text of a mask with every digit place blank.
    QString BlankText() const;
    int MaskLength() const { return static_cast<int>(m_places.size()); }
    // A short note shown inside the edit at its right end (for instance the hemisphere of a coordinate); an
    // empty note shows nothing.
    void SetNote(const QString& note);
    QString Note() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct TPlace {
        bool digit = false;
        QChar literal;
    };
    struct TField {
        int first = 0;
        int width = 0;
    };
    struct TState {
        QString text;
        int cursor = 0;
    };

    bool IsDigitPlace(int position) const;
    // Whether a text has the mask's shape: its length, its literals in their places and a digit or a blank in
    // every digit place.
    bool Fits(const QString& value) const;
    // Places a whole coordinate text field by field into `placed`. Strict: a field with more digits than places
    // or a character that is neither a digit, a blank nor the mask's literal fails; lenient: those are dropped.
    bool PlaceFields(const QString& value, bool strict, QString& placed) const;
    // Replaces [from, to) of the shown text by `inserted`: the digit places of the range become blank, then a
    // text holding the mask's literals replaces the whole text field by field, and any other text (digits and
    // blanks only) fills the digit places from `from` on. Returns false, changing nothing, when the result would
    // not fit the mask.
    bool Replace(int from, int to, const QString& inserted);
    // The same on the selection, or at the cursor when nothing is selected.
    bool ReplaceSelection(const QString& inserted);
    // Runs an edit of QLineEdit's own, then brings its result back into the mask.
    void NativeEdit(const std::function<void()>& edit);
    // Turns a text that an edit of QLineEdit's own left into the nearest text of the mask's shape: the changed
    // range is found by comparing with the shown text, and replayed with Replace. An edit that cannot be
    // replayed is undone.
    void Reconcile();
    // Shows a text of the mask's shape with the cursor at `cursor`; `undoable` records the text it replaces.
    void Store(const QString& value, int cursor, bool undoable);
    void Undo();
    void Redo();
    void PlaceNote();

    std::vector<TPlace> m_places;
    std::vector<TField> m_fields;
    bool m_rightAligned = false;
    QChar m_blank = QLatin1Char(' ');
    // The text last shown by Store: every change is measured against it.
    QString m_shown;
    bool m_storing = false;
    int m_nativeEdits = 0;
    std::vector<TState> m_undo;
    std::vector<TState> m_redo;
    QLabel* m_note = nullptr;
};
