// The coordinate masked edit: its blank text, what typing and deleting do to it, and how program texts are placed.
#include "forms/MaskEdit.h"
#include "forms/Checkpointproperties.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

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

// Whether a text has the coordinate mask's shape: twelve characters, the literals in their places and a digit or
// a blank everywhere else.
bool Shaped(const QString& text) {
    const QString blank = U("   °   ,   ’");
    if (text.size() != blank.size())
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const bool digitPlace = blank[i] == QLatin1Char(' ') && i != 4;
        if (digitPlace ? !(text[i].isDigit() || text[i] == QLatin1Char(' ')) : text[i] != blank[i])
            return false;
    }
    return true;
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

TEST_F(MaskEditTest, EveryEditOfALineEditKeepsTheMaskOrIsRefused) {
    // Each edit a line edit offers, by key or through its own slots (the platform decides which keys mean what),
    // from several cursor places; then typing and deleting must go on within the mask.
    const std::vector<std::pair<const char*, std::function<void()>>> edits{
        {"Ctrl+K", [&] { Key(Qt::Key_K, Qt::ControlModifier); }},
        {"Ctrl+U", [&] { Key(Qt::Key_U, Qt::ControlModifier); }},
        {"Ctrl+W", [&] { Key(Qt::Key_W, Qt::ControlModifier); }},
        {"Ctrl+Backspace", [&] { Key(Qt::Key_Backspace, Qt::ControlModifier); }},
        {"Ctrl+Delete", [&] { Key(Qt::Key_Delete, Qt::ControlModifier); }},
        {"Shift+Delete", [&] { Key(Qt::Key_Delete, Qt::ShiftModifier); }},
        {"Shift+Insert", [&] { Key(Qt::Key_Insert, Qt::ShiftModifier); }},
        {"Ctrl+Z", [&] { Key(Qt::Key_Z, Qt::ControlModifier); }},
        {"Ctrl+Shift+Z", [&] { Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }},
        {"delete to the end",
         [&] {
             Edit->end(true);
             Edit->del();
         }},
        {"delete to the start",
         [&] {
             Edit->home(true);
             Edit->del();
         }},
        {"delete the word before",
         [&] {
             Edit->cursorWordBackward(true);
             Edit->del();
         }},
        {"clear", [&] { Edit->clear(); }},
        {"select all, Backspace",
         [&] {
             Edit->selectAll();
             Key(Qt::Key_Backspace);
         }},
        {"cut",
         [&] {
             Edit->selectAll();
             Edit->cut();
         }},
        {"paste", [&] { Edit->paste(); }},
        {"undo", [&] { Edit->undo(); }},
        {"redo", [&] { Edit->redo(); }},
        {"insert", [&] { Edit->insert(U("12")); }},
        {"set a foreign text", [&] { Edit->setText(U("x1")); }},
    };
    QApplication::clipboard()->setText(U("7"));
    for (const auto& [name, edit] : edits) {
        for (const int cursor : {0, 3, 6, 12}) {
            Edit->SetText(U("123° 45,678’"));
            Edit->setCursorPosition(cursor);
            edit();
            ASSERT_TRUE(Shaped(Edit->Text())) << name << " at " << cursor << ": " << Edit->Text().toStdString();
            Type("9");
            Key(Qt::Key_Delete);
            Key(Qt::Key_Backspace);
            Type("1");
            ASSERT_TRUE(Shaped(Edit->Text()))
                << name << " at " << cursor << ", then typing: " << Edit->Text().toStdString();
        }
    }
}

TEST_F(MaskEditTest, LineDeletionsBlankTheirDigitPlacesAndTypingGoesOn) {
    Edit->SetText(U("123° 45,678’"));
    Edit->setCursorPosition(3);
    Edit->end(true);
    Edit->del(); // what Ctrl+K does
    EXPECT_EQ(Edit->Text(), U("123°   ,   ’"));
    EXPECT_EQ(Edit->cursorPosition(), 3);
    Type("45");
    EXPECT_EQ(Edit->Text(), U("123° 45,   ’"));

    Edit->setCursorPosition(6);
    Edit->home(true);
    Edit->del(); // Ctrl+U where it deletes to the start
    EXPECT_EQ(Edit->Text(), U("   °  5,   ’"));
    Edit->selectAll();
    Type("7");
    EXPECT_EQ(Edit->Text(), U("7  °   ,   ’"));
}

TEST_F(MaskEditTest, PasteDropAndInputMethodTakeATextThatFitsAndRefuseOneThatDoesNot) {
    const auto paste = [&](const char* clip) {
        Edit->SetText(U("1"));
        Edit->setCursorPosition(5);
        QApplication::clipboard()->setText(U(clip));
        Key(Qt::Key_V, Qt::ControlModifier);
        return Edit->Text();
    };
    EXPECT_EQ(paste("45"), U("  1° 45,   ’"));
    EXPECT_EQ(paste(" 10° 30,500’"), U(" 10° 30,500’")) << "a whole coordinate replaces the text";
    for (const char* refused : {"4567890", "-5", "4.5", "12a", "1234° 00,000’", "55° 45,350’ с. ш.", "45,5"})
        EXPECT_EQ(paste(refused), U("  1°   ,   ’")) << refused;

    QMimeData dropped;
    dropped.setText(U("3"));
    Edit->SetText(QString());
    // A drag over the edit, then the drop at its start.
    const QPoint start(4, Edit->height() / 2);
    QDragEnterEvent enter(start, Qt::CopyAction | Qt::MoveAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Edit.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(start, Qt::CopyAction | Qt::MoveAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Edit.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction) << "the source keeps its text";
    EXPECT_EQ(Edit->Text(), U("3  °   ,   ’"));
    dropped.setText(U("text"));
    QDropEvent refused(start, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Edit.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(Edit->Text(), U("3  °   ,   ’"));

    Edit->setCursorPosition(5);
    QInputMethodEvent commit(QString(), {});
    commit.setCommitString(U("12"));
    QApplication::sendEvent(Edit.get(), &commit);
    EXPECT_EQ(Edit->Text(), U("3  ° 12,   ’"));
    QInputMethodEvent letters(QString(), {});
    letters.setCommitString(U("жж"));
    QApplication::sendEvent(Edit.get(), &letters);
    EXPECT_EQ(Edit->Text(), U("3  ° 12,   ’"));
}

TEST_F(MaskEditTest, UndoAndRedoStepThroughTheMaskedTexts) {
    Type("12");
    Edit->setCursorPosition(0);
    Edit->end(true);
    Edit->del();
    EXPECT_EQ(Edit->Text(), U("   °   ,   ’"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Edit->Text(), U("12 °   ,   ’"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Edit->Text(), U("1  °   ,   ’"));
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Edit->Text(), U("12 °   ,   ’"));
    Type("3");
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); // a new edit ends the redo history
    EXPECT_EQ(Edit->Text(), U("123°   ,   ’"));
}

TEST_F(MaskEditTest, TheAlignedTextDoesNotWaitForTheFocusToLeave) {
    Type("1 3");
    Edit->setCursorPosition(5);
    Type("5");
    EXPECT_EQ(Edit->Text(), U("1 3° 5 ,   ’"));
    EXPECT_EQ(Edit->AlignedText(), U(" 13°  5,   ’"));
    EXPECT_DOUBLE_EQ(CoordinateTextToDegrees(Edit->AlignedText(), MaxLatitude), 13.0 + 5.0 / 60.0);
}
