#include "forms/MaskEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>

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
    // Text arrives only through typing and SetText, so that it always fits the mask.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    Store(BlankText(), 0);
}

QString TMaskEdit::BlankText() const {
    QString blank;
    for (const Place& place : m_places)
        blank += place.digit ? m_blank : place.literal;
    return blank;
}

bool TMaskEdit::IsDigitPlace(int position) const {
    return position >= 0 && position < MaskLength() && m_places[position].digit;
}

void TMaskEdit::SetText(const QString& value) {
    QString placed = BlankText();
    int in = 0;
    for (const Field& field : m_fields) {
        // The literal that closes the field ends its digits in the given text.
        const int end = field.first + field.width;
        const QChar closing = end < MaskLength() ? m_places[end].literal : QChar();
        QString digits;
        for (; in < value.size() && (closing.isNull() || value[in] != closing); ++in)
            if (value[in].isDigit() && value[in].unicode() < 128)
                digits += value[in];
        digits.truncate(field.width);
        const int start = m_rightAligned ? end - static_cast<int>(digits.size()) : field.first;
        for (int i = 0; i < digits.size(); ++i)
            placed[start + i] = digits[i];
        // Step over the literals up to the next field, where the text has them.
        for (int p = end; p < MaskLength() && !m_places[p].digit; ++p)
            if (in < value.size() && value[in] == m_places[p].literal)
                ++in;
    }
    Store(placed, 0);
}

void TMaskEdit::Store(const QString& value, int cursor) {
    setText(value);
    setCursorPosition(cursor);
}

void TMaskEdit::Type(const QString& typed, bool blanks) {
    QString current = text();
    int position = hasSelectedText() ? selectionStart() : cursorPosition();
    if (hasSelectedText()) {
        for (int p = position; p < selectionEnd(); ++p)
            if (IsDigitPlace(p))
                current[p] = m_blank;
    }
    for (const QChar c : typed) {
        if (!(c.unicode() < 128 && (c.isDigit() || (blanks && c == QLatin1Char(' ')))))
            continue;
        while (position < MaskLength() && !IsDigitPlace(position))
            ++position;
        if (position >= MaskLength())
            break;
        current[position++] = c == QLatin1Char(' ') ? m_blank : c;
    }
    while (position < MaskLength() && !IsDigitPlace(position))
        ++position;
    Store(current, position);
}

void TMaskEdit::Blank(int from, int to) {
    QString current = text();
    for (int p = from; p < to; ++p)
        if (IsDigitPlace(p))
            current[p] = m_blank;
    Store(current, from);
}

void TMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event == QKeySequence::Paste) {
        // Only the digits of a pasted text: its blanks and literals are the mask's own.
        Type(QApplication::clipboard()->text(), false);
        return;
    }
    if (event == QKeySequence::Cut) {
        if (hasSelectedText()) {
            QApplication::clipboard()->setText(selectedText());
            Blank(selectionStart(), selectionEnd());
        }
        return;
    }
    if (event == QKeySequence::Undo || event == QKeySequence::Redo)
        return;
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        if (hasSelectedText()) {
            Blank(selectionStart(), selectionEnd());
        } else if (event->key() == Qt::Key_Backspace) {
            int p = cursorPosition() - 1;
            while (p >= 0 && !IsDigitPlace(p))
                --p;
            if (p >= 0)
                Blank(p, p + 1);
        } else {
            int p = cursorPosition();
            while (p < MaskLength() && !IsDigitPlace(p))
                ++p;
            if (p < MaskLength()) {
                Blank(p, p + 1);
                setCursorPosition(p + 1);
            }
        }
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed[0].isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        Type(typed, true);
        return;
    }
    // Movement, selection, copy, Enter and Esc as in any edit.
    QLineEdit::keyPressEvent(event);
}

void TMaskEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty() && !isReadOnly())
        Type(event->commitString(), true);
    event->accept();
}

void TMaskEdit::focusOutEvent(QFocusEvent* event) {
    // Digits typed anywhere in a field close up to its right, as the mask shows them.
    if (m_rightAligned && !isReadOnly())
        SetText(text());
    QLineEdit::focusOutEvent(event);
}
