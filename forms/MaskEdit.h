// TMaskEdit: a one-line edit whose text follows a fixed edit mask: digit places and literals, with the literals
// kept in the text and a blank shown for every empty digit place.
#pragma once

#include <QLineEdit>
#include <QString>

#include <vector>

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
    // Places a text in the mask: the digits up to each field's closing literal fill that field (right-aligned
    // when the mask asks for it); anything else is dropped, and fields without digits stay blank.
    void SetText(const QString& value);
    // The text of a mask with every digit place blank.
    QString BlankText() const;
    int MaskLength() const { return static_cast<int>(m_places.size()); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    struct Place {
        bool digit = false;
        QChar literal;
    };
    struct Field {
        int first = 0;
        int width = 0;
    };

    bool IsDigitPlace(int position) const;
    // Puts typed digits (and blanks, when `blanks`) at the cursor, each in the next digit place; other characters
    // are refused.
    void Type(const QString& typed, bool blanks);
    // Blanks the digit places of [from, to) and puts the cursor at `from`.
    void Blank(int from, int to);
    void Store(const QString& value, int cursor);

    std::vector<Place> m_places;
    std::vector<Field> m_fields;
    bool m_rightAligned = false;
    QChar m_blank = QLatin1Char(' ');
};
