// The coordinate masked edit: its blank text, what typing and deleting do to it, and how program texts are placed.
#include "forms/MaskEdit.h"
#include "forms/Checkpointproperties.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MaskEditTest : public ::testing::Test {
protected:
    void SetUp() override { Edit.reset(MakeCoordinateEdit("LatMaskEdit", nullptr, 0, 0)); }

    void Type(const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Edit.get(), &press);
        }
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(Edit.get(), &press);
    }
    void LeaveEdit() {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(Edit.get(), &out);
    }

    std::unique_ptr<TMaskEdit> Edit;
};

QString U(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

TEST_F(MaskEditTest, StartsWithTheBlankMaskOfTwelveCharacters) {
    EXPECT_EQ(Edit->Text(), U("   °   ,   ’"));
    EXPECT_EQ(Edit->maxLength(), 12);
    EXPECT_EQ(Edit->Text().size(), 12);
}

TEST_F(MaskEditTest, TypedDigitsFillThePlacesAndStepOverTheLiterals) {
    Type("12345678");
    EXPECT_EQ(Edit->Text(), U("123° 45,678’"));
    EXPECT_DOUBLE_EQ(CoordinateTextToDegrees(Edit->Text(), MaxLongitude), 123.0 + 45678.0 / 60000.0);
    Type("9"); // no place left
    EXPECT_EQ(Edit->Text(), U("123° 45,678’"));
}

TEST_F(MaskEditTest, OnlyDigitsAndBlanksAreTaken) {
    Type("-a1.,x2");
    EXPECT_EQ(Edit->Text(), U("12 °   ,   ’"));
}

TEST_F(MaskEditTest, ShortFieldsCloseUpToTheRightWhenTheEditIsLeft) {
    Type("45");
    EXPECT_EQ(Edit->Text(), U("45 °   ,   ’"));
    LeaveEdit();
    EXPECT_EQ(Edit->Text(), U(" 45°   ,   ’"));
    EXPECT_DOUBLE_EQ(CoordinateTextToDegrees(Edit->Text(), MaxLatitude), 45.0);
}

TEST_F(MaskEditTest, BackspaceAndDeleteBlankDigitsButKeepLiterals) {
    Type("12345678");
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Edit->Text(), U("123° 45,67 ’"));
    Edit->setCursorPosition(3); // before the degree sign
    Key(Qt::Key_Delete);
    EXPECT_EQ(Edit->Text(), U("123°  5,67 ’"));
    Edit->selectAll();
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Edit->Text(), U("   °   ,   ’"));
}

TEST_F(MaskEditTest, TypingOverASelectionBlanksItFirst) {
    Type("12345678");
    Edit->setSelection(5, 4); // "45,6"
    Type("9");
    EXPECT_EQ(Edit->Text(), U("123° 9 , 78’"));
    Type(" 5");
    EXPECT_EQ(Edit->Text(), U("123° 9 ,578’"));
}

TEST_F(MaskEditTest, PasteTypesTheDigitsOfTheClipboard) {
    QApplication::clipboard()->setText(U("55° 45,350’"));
    Edit->setCursorPosition(1);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Edit->Text(), U(" 55° 45,350’"));
}

TEST_F(MaskEditTest, ProgramTextIsPlacedWithDegreesRightAligned) {
    Edit->SetText(U("55° 45,350’"));
    EXPECT_EQ(Edit->Text(), U(" 55° 45,350’"));
    Edit->SetText(U("0° 00,000’"));
    EXPECT_EQ(Edit->Text(), U("  0° 00,000’"));
    Edit->SetText(U("180° 00,000’"));
    EXPECT_EQ(Edit->Text(), U("180° 00,000’"));
    Edit->SetText(QString());
    EXPECT_EQ(Edit->Text(), U("   °   ,   ’"));
    Edit->SetText(U("7° 5,1’"));
    EXPECT_EQ(Edit->Text(), U("  7°  5,  1’"));
}
