// TCheckPointPropertiesForm: the dialog in which a check point is entered or edited, and the conversions between
// the dialogs' coordinate texts (whole degrees, whole minutes and thousandths of a minute) and degrees.
#pragma once

#include "forms/CheckPointDialog.h"
#include "platform/ole/Types.h"

#include <QString>

class QLabel;
class QLineEdit;
class TMaskEdit;

// The coordinate mask of the check point dialogs: up to three digits of degrees, two of minutes and three of
// thousandths of a minute, every digit optional.
extern const char* const CoordinateEditMask;
// The largest latitude and longitude a coordinate text gives.
constexpr double MaxLatitude = 90.0;
constexpr double MaxLongitude = 180.0;
// The radius of a text without a number, and the range of radii.
constexpr LONG DefaultRadius = 30;
constexpr LONG MinRadius = 2;
constexpr LONG MaxRadius = 32500;

// A coordinate edit's text to degrees: degrees, then "°", minutes, "," and thousandths, each number after any
// blanks; reading stops at the first thing that does not fit and what was not read counts as 0. Values above
// `limit` become `limit`. Never fails.
double CoordinateTextToDegrees(const QString& text, double limit);
// Degrees to a coordinate text "<d>° <mm>,<ttt>’", rounded to the thousandth of a minute. A value the mask
// cannot hold (negative, 1000° or more, not a number) gives no digits.
QString DegreesToCoordinateText(double value);
// A radius text to the radius: the leading number, DefaultRadius without one, kept within MinRadius..MaxRadius.
LONG RadiusTextToRadius(const QString& text);
// A masked edit of a coordinate, 124 × 21 at (left, top).
TMaskEdit* MakeCoordinateEdit(const char* name, QWidget* parent, int left, int top);

// Shown with ShowModal; while a script is set (tests), the script fills the dialog and closes it in place of the
// user. The caller gives the title.
class TCheckPointPropertiesForm : public TCheckPointDialog<TCheckPointPropertiesForm> {
    Q_OBJECT
public:
    explicit TCheckPointPropertiesForm(QWidget* parent = nullptr);

    QLabel* RadiusLabel;
    QLineEdit* RadiusEdit;
};
