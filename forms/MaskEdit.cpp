#include "forms/MaskEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>

#include <algorithm>

namespace {

bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

TMaskEdit::TMaskEdit(const QString& editMask, QWidget* parent) : QLineEdit(parent) {
    QString mask = editMask;
    // The tail ";<save literals>;<blank>": the literals always stay in the text here; only the blank is taken.
    const int tail = mask.indexOf(QLatin1Char(';'));
    if (tail >= 0) {
        const QStringList parts = mask.mid(tail + 1).split(QLatin1Char(';'));
        if (parts.size() > 1 && !parts[1].isEmpty())
            m_blank = parts[1][0];
        mask.truncate(tail);
    }
    if (mask.startsWith(QLatin1Char('!'))) {
        m_rightAligned = true;
        mask.remove(0, 1);
    }
    for (int i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c == QLatin1Char('\\') && i + 1 < mask.size())
            m_places.push_back({false, mask[++i]});
        else if (c == QLatin1Char('9') || c == QLatin1Char('0'))
            m_places.push_back({true, {}});
        else
            m_places.push_back({false, c});
    }
    for (int i = 0; i < MaskLength(); ++i) {
        if (!m_places[i].digit)
            continue;
        if (i > 0 && m_places[i - 1].digit)
            ++m_fields.back().width;
        else
            m_fields.push_back({i, 1});
    }
    setMaxLength(MaskLength());
    // The menu's commands would bypass the checks below; everything it offers has a key.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(true);
    // The last line of defence: a change made by any path not handled below (QLineEdit's own slots, an
    // accessibility client) is brought back into the mask at once.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!m_storing && m_nativeEdits == 0)
            Reconcile();
    });
    Store(BlankText(), 0, false);
}

QString TMaskEdit::BlankText() const {
    QString blank;
    for (const TPlace& place : m_places)
        blank += place.digit ? m_blank : place.literal;
    return blank;
}

bool TMaskEdit::IsDigitPlace(int position) const {
    return position >= 0 && position < MaskLength() && m_places[position].digit;
}

bool TMaskEdit::Fits(const QString& value) const {
    if (value.size() != MaskLength())
        return false;
    for (int i = 0; i < MaskLength(); ++i) {
        const bool fits =
            m_places[i].digit ? IsAsciiDigit(value[i]) || value[i] == m_blank : value[i] == m_places[i].literal;
        if (!fits)
            return false;
    }
    return true;
}

bool TMaskEdit::PlaceFields(const QString& value, bool strict, QString& placed) const {
    placed = BlankText();
    int in = 0;
    for (const TField& field : m_fields) {
        // The literal that closes the field ends its digits in the given text.
        const int end = field.first + field.width;
        const QChar closing = end < MaskLength() ? m_places[end].literal : QChar();
        QString digits;
        for (; in < value.size() && (closing.isNull() || value[in] != closing); ++in) {
            if (IsAsciiDigit(value[in]))
                digits += value[in];
            else if (strict && !value[in].isSpace() && value[in] != m_blank)
                return false;
        }
        if (strict && digits.size() > field.width)
            return false;
        digits.truncate(field.width);
        const int start = m_rightAligned ? end - static_cast<int>(digits.size()) : field.first;
        for (int i = 0; i < digits.size(); ++i)
            placed[start + i] = digits[i];
        // Step over the literals up to the next field, where the text has them.
        for (int p = end; p < MaskLength() && !m_places[p].digit; ++p)
            if (in < value.size() && value[in] == m_places[p].literal)
                ++in;
    }
    if (strict)
        for (; in < value.size(); ++in)
            if (!value[in].isSpace())
                return false;
    return true;
}

QString TMaskEdit::AlignedText() const {
    QString placed;
    PlaceFields(text(), false, placed);
    return placed;
}

void TMaskEdit::SetText(const QString& value) {
    QString placed;
    PlaceFields(value, false, placed);
    m_undo.clear();
    m_redo.clear();
    Store(placed, 0, false);
}

bool TMaskEdit::Replace(int from, int to, const QString& inserted) {
    if (isReadOnly())
        return false;
    from = std::clamp(from, 0, MaskLength());
    to = std::clamp(to, from, MaskLength());
    // A text with the mask's own literals (a whole coordinate, pasted or dropped) goes field by field.
    const bool whole = std::any_of(inserted.begin(), inserted.end(), [this](QChar c) {
        return c != m_blank && !c.isSpace() && std::any_of(m_places.begin(), m_places.end(), [c](const TPlace& p) {
                   return !p.digit && p.literal == c;
               });
    });
    QString result;
    int cursor = from;
    if (whole) {
        if (!PlaceFields(inserted, true, result))
            return false;
        cursor = MaskLength();
    } else {
        result = m_shown;
        for (int p = from; p < to; ++p)
            if (IsDigitPlace(p))
                result[p] = m_blank;
        for (const QChar c : inserted) {
            if (!IsAsciiDigit(c) && c != QLatin1Char(' ') && c != m_blank)
                return false;
            while (cursor < MaskLength() && !IsDigitPlace(cursor))
                ++cursor;
            if (cursor >= MaskLength())
                return false; // more than the places left
            result[cursor++] = IsAsciiDigit(c) ? c : m_blank;
        }
        if (!inserted.isEmpty())
            while (cursor < MaskLength() && !IsDigitPlace(cursor))
                ++cursor;
    }
    Store(result, cursor, true);
    return true;
}

bool TMaskEdit::ReplaceSelection(const QString& inserted) {
    if (hasSelectedText())
        return Replace(selectionStart(), selectionEnd(), inserted);
    return Replace(cursorPosition(), cursorPosition(), inserted);
}

void TMaskEdit::NativeEdit(const std::function<void()>& edit) {
    ++m_nativeEdits;
    edit();
    --m_nativeEdits;
    if (text() != m_shown)
        Reconcile();
}

void TMaskEdit::Reconcile() {
    const QString now = text();
    if (now == m_shown)
        return;
    const int cursor = cursorPosition();
    if (Fits(now)) {
        Store(now, cursor, true);
        return;
    }
    // The changed range: what lies between the common start and the common end, with the new text's changed
    // part reaching the cursor (where QLineEdit leaves it after a deletion or an insertion).
    const QString was = m_shown;
    const int common = static_cast<int>(std::min(now.size(), was.size()));
    int prefix = 0;
    while (prefix < common && now[prefix] == was[prefix])
        ++prefix;
    prefix = std::min(prefix, cursor);
    int suffix = 0;
    while (suffix < common - prefix && now[now.size() - 1 - suffix] == was[was.size() - 1 - suffix])
        ++suffix;
    suffix = std::min(suffix, static_cast<int>(now.size()) - cursor);
    const QString inserted = now.mid(prefix, now.size() - suffix - prefix);
    if (!Replace(prefix, static_cast<int>(was.size()) - suffix, inserted))
        Store(was, std::min(cursor, MaskLength()), false); // refused: the text stays as it was
}

void TMaskEdit::Store(const QString& value, int cursor, bool undoable) {
    if (undoable && value != m_shown) {
        m_undo.push_back({m_shown, cursor});
        m_redo.clear();
    }
    m_shown = value;
    m_storing = true;
    setText(value); // also forgets QLineEdit's own undo history, which knows nothing of the mask
    setCursorPosition(cursor);
    m_storing = false;
}

void TMaskEdit::Undo() {
    if (m_undo.empty())
        return;
    const TState previous = m_undo.back();
    m_undo.pop_back();
    m_redo.push_back({m_shown, previous.cursor});
    Store(previous.text, previous.cursor, false);
}

void TMaskEdit::Redo() {
    if (m_redo.empty())
        return;
    const TState next = m_redo.back();
    m_redo.pop_back();
    m_undo.push_back({m_shown, next.cursor});
    Store(next.text, next.cursor, false);
}

void TMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event == QKeySequence::Paste) {
        ReplaceSelection(QApplication::clipboard()->text());
        return;
    }
    if (event == QKeySequence::Cut) {
        if (hasSelectedText()) {
            QApplication::clipboard()->setText(selectedText());
            Replace(selectionStart(), selectionEnd(), QString());
        }
        return;
    }
    if (event == QKeySequence::Undo) {
        Undo();
        return;
    }
    if (event == QKeySequence::Redo) {
        Redo();
        return;
    }
    const bool commandKey = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if ((event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) && !commandKey) {
        // One digit place, stepping over literals; the literals themselves stay.
        if (hasSelectedText()) {
            Replace(selectionStart(), selectionEnd(), QString());
        } else if (event->key() == Qt::Key_Backspace) {
            int p = cursorPosition() - 1;
            while (p >= 0 && !IsDigitPlace(p))
                --p;
            if (p >= 0)
                Replace(p, p + 1, QString());
        } else {
            int p = cursorPosition();
            while (p < MaskLength() && !IsDigitPlace(p))
                ++p;
            if (p < MaskLength() && Replace(p, p + 1, QString()))
                setCursorPosition(p + 1);
        }
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed[0].isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        ReplaceSelection(typed); // a character that has no place is refused
        return;
    }
    // Movement, selection, copy, Enter and Esc, and the word and line deletions, as in any edit.
    NativeEdit([&] { QLineEdit::keyPressEvent(event); });
}

void TMaskEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (isReadOnly()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // Only committed text counts; a composition in progress is not shown.
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        int from = hasSelectedText() ? selectionStart() : cursorPosition();
        int to = hasSelectedText() ? selectionEnd() : from;
        if (event->replacementLength() > 0 || event->replacementStart() != 0) {
            from = cursorPosition() + event->replacementStart();
            to = from + event->replacementLength();
        }
        Replace(from, to, event->commitString());
    }
    event->accept();
}

void TMaskEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the X selection where it is pressed.
    if (event->button() == Qt::MiddleButton && !isReadOnly() && QApplication::clipboard()->supportsSelection()) {
        const int at = cursorPositionAt(event->position().toPoint());
        Replace(at, at, QApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TMaskEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (!isReadOnly() && event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMaskEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (!isReadOnly() && event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMaskEdit::dropEvent(QDropEvent* event) {
    // A dropped text is copied in as if pasted at the drop point; a text that does not fit is refused, and the
    // source keeps it.
    const int at = cursorPositionAt(event->position().toPoint());
    if (!isReadOnly() && event->mimeData()->hasText() && Replace(at, at, event->mimeData()->text())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TMaskEdit::focusOutEvent(QFocusEvent* event) {
    // Digits typed anywhere in a field close up to its right, as the mask shows them.
    if (m_rightAligned && !isReadOnly()) {
        const QString aligned = AlignedText();
        if (aligned != m_shown)
            Store(aligned, 0, false);
    }
    QLineEdit::focusOutEvent(event);
}

void TMaskEdit::SetNote(const QString& note) {
    if (!m_note) {
        m_note = new QLabel(this);
        m_note->setObjectName(QStringLiteral("Note"));
        m_note->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_note->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_note->setForegroundRole(QPalette::PlaceholderText); // set apart from the value itself
    }
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    PlaceNote();
}

QString TMaskEdit::Note() const {
    return m_note ? m_note->text() : QString();
}

void TMaskEdit::PlaceNote() {
    if (!m_note)
        return;
    const int width = m_note->text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(m_note->text()) + 6;
    setTextMargins(0, 0, width, 0);
    m_note->setGeometry(this->width() - width - 2, 0, width, height());
}

void TMaskEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    PlaceNote();
}
