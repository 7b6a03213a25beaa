#include "forms/Checkpointproperties.h"

#include "forms/Controls.h"
#include "forms/MaskEdit.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <cstdint>
#include <cstdio>

const char* const CoordinateEditMask = "!999° 99,999’;1; ";

namespace {

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\v') || c == QLatin1Char('\f');
}

// Reads a formatted text as the C library's scanning does: SkipBlanks for a blank of the format, Unsigned for a
// "%u" (blanks, then decimal digits), Literal for any other character of the format.
class TScanner {
public:
    explicit TScanner(const QString& text) : m_text(text) {}

    void SkipBlanks() {
        while (m_at < m_text.size() && IsBlank(m_text[m_at]))
            ++m_at;
    }
    bool Literal(QChar c) {
        if (m_at >= m_text.size() || m_text[m_at] != c)
            return false;
        ++m_at;
        return true;
    }
    // Reads an optional sign (only when `signedAllowed`) and the digits after blanks; large numbers saturate.
    bool Number(std::int64_t& value, bool signedAllowed) {
        SkipBlanks();
        int at = m_at;
        bool negative = false;
        if (signedAllowed && at < m_text.size() && (m_text[at] == QLatin1Char('+') || m_text[at] == QLatin1Char('-')))
            negative = m_text[at++] == QLatin1Char('-');
        const int digitsFrom = at;
        std::int64_t number = 0;
        for (; at < m_text.size() && m_text[at] >= QLatin1Char('0') && m_text[at] <= QLatin1Char('9'); ++at)
            number = std::min<std::int64_t>(number * 10 + (m_text[at].unicode() - '0'), INT64_C(1) << 40);
        if (at == digitsFrom)
            return false;
        m_at = at;
        value = negative ? -number : number;
        return true;
    }

private:
    const QString& m_text;
    int m_at = 0;
};

} // namespace

double CoordinateTextToDegrees(const QString& text, double limit) {
    // The format "%u °%u ,%u": degrees, blanks, "°", minutes, blanks, ",", thousandths.
    std::int64_t degrees = 0, minutes = 0, thousandths = 0;
    TScanner scan(text);
    if (scan.Number(degrees, false)) {
        scan.SkipBlanks();
        if (scan.Literal(QChar(0x00B0)) && scan.Number(minutes, false)) {
            scan.SkipBlanks();
            if (scan.Literal(QLatin1Char(',')))
                scan.Number(thousandths, false);
        }
    }
    const double value = static_cast<double>(degrees) +
                         (static_cast<double>(minutes) * 1000.0 + static_cast<double>(thousandths)) / 60000.0;
    return value > limit ? limit : value;
}

QString DegreesToCoordinateText(double value) {
    // Hundred-thousandths of a degree, rounded; then the rest as thousandths of a minute, rounded.
    if (!(value >= 0.0 && value * 100000.0 + 0.5 < 100000000.0))
        return {};
    const auto n = static_cast<std::int32_t>(value * 100000.0 + 0.5);
    const std::int32_t degrees = n / 100000;
    const std::int32_t rest = n % 100000;
    const auto m = static_cast<std::int32_t>(rest * 0.6 + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%d\u00B0 %02d,%03d\u2019", static_cast<int>(degrees), static_cast<int>(m / 1000),
                  static_cast<int>(m % 1000));
    return QString::fromUtf8(text);
}

LONG RadiusTextToRadius(const QString& text) {
    std::int64_t radius = DefaultRadius;
    TScanner(text).Number(radius, true);
    if (radius < MinRadius)
        return MinRadius;
    if (radius > MaxRadius)
        return MaxRadius;
    return static_cast<LONG>(radius);
}

TMaskEdit* MakeCoordinateEdit(const char* name, QWidget* parent, int left, int top) {
    auto* edit = Named<TMaskEdit>(name, QString::fromUtf8(CoordinateEditMask), parent);
    edit->setGeometry(left, top, 124, 21);
    return edit;
}

TCheckPointPropertiesForm::TCheckPointPropertiesForm(QWidget* parent)
    : TCheckPointDialog("CheckPointPropertiesForm", 8, 208, parent) {
    RadiusLabel = MakeLabel("RadiusLabel", QStringLiteral("Радиус:"), Panel, {208, 56, 52, 21});
    RadiusEdit = MakeEdit("RadiusEdit", Panel, {260, 56, 124, 21});
    OKButton->setDefault(true);

    setTabOrder(NameEdit, AddressEdit);
    setTabOrder(AddressEdit, IDEdit);
    setTabOrder(IDEdit, LatMaskEdit);
    setTabOrder(LatMaskEdit, LngMaskEdit);
    setTabOrder(LngMaskEdit, RadiusEdit);
    setTabOrder(RadiusEdit, OKButton);
    setTabOrder(OKButton, CancelButton);

    RadiusLabel->setBuddy(RadiusEdit);
    NameControlsForScreenReaders(this);
    SetFirstControl(NameEdit);
}
