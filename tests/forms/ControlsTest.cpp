// The shared controls: the combo box's drop-down, edit text and typing limit, the status-bar hints and the file
// dialog settings as the dialog seam applies them.
#include "forms/Controls.h"
#include "forms/UiSeam.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRect>
#include <QStatusBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

void Type(QWidget* target, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
    }
}

void Press(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

TEST(TComboBoxTest, ClearingAndFillingKeepTheEditText) {
    TComboBox box;
    box.SetText("moscow.grp");
    box.AddItem("a.grp", 1);
    EXPECT_EQ(box.Text(), "moscow.grp");
    box.AddItem("b.grp", 2);
    box.ClearItems();
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(box.Text(), "moscow.grp");
}

TEST(TComboBoxTest, SortedBoxInsertsInTextOrderWithItsData) {
    TComboBox box;
    box.SetSorted(true);
    box.AddItem("0021999", 1);
    box.AddItem("0001234", 2);
    box.AddItem("0000005", 3);
    EXPECT_EQ(Items(box), (QStringList{"0000005", "0001234", "0021999"}));
    EXPECT_EQ(box.itemData(0).toInt(), 3);
    EXPECT_EQ(box.itemData(2).toInt(), 1);

    // Many items in scrambled order, with ties that differ only in case: the order is the case-blind text order,
    // ties in the order they came.
    TComboBox many;
    many.SetSorted(true);
    QStringList added;
    for (int i = 0; i < 60; ++i) {
        const QString text = QString::number((i * 37) % 23) + (i % 2 ? "a" : "A");
        added.append(text);
        many.AddItem(text, i);
    }
    QStringList expected = added;
    std::stable_sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
        return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
    });
    EXPECT_EQ(Items(many), expected);

    TComboBox unsorted;
    unsorted.AddItem("b");
    unsorted.AddItem("a");
    EXPECT_EQ(Items(unsorted), (QStringList{"b", "a"}));
}

TEST(TComboBoxTest, DropDownIsAnnouncedBeforeTheListOpens) {
    TComboBox box;
    int itemsWhenAnnounced = -1;
    QObject::connect(&box, &TComboBox::DropDown, [&] {
        itemsWhenAnnounced = box.count();
        box.AddItem("filled.grp", 1);
    });
    box.showPopup();
    EXPECT_EQ(itemsWhenAnnounced, 0);
    EXPECT_EQ(box.count(), 1);
    box.hidePopup();
}

TEST(TComboBoxTest, TypingIsLimitedButProgramTextsAreNot) {
    TComboBox box;
    box.SetMaxLength(5);
    QLineEdit* edit = box.lineEdit();
    Type(edit, "1234567");
    EXPECT_EQ(box.Text(), "12345");

    box.SetText("0001234");
    EXPECT_EQ(box.Text(), "0001234");
    edit->setCursorPosition(7);
    Type(edit, "9");
    EXPECT_EQ(box.Text(), "0001234");
    // Deleting is always possible, and typing over a selection counts what remains.
    Press(edit, Qt::Key_Backspace);
    Press(edit, Qt::Key_Backspace);
    Press(edit, Qt::Key_Backspace);
    EXPECT_EQ(box.Text(), "0001");
    Type(edit, "5");
    EXPECT_EQ(box.Text(), "00015");
    edit->selectAll();
    Type(edit, "42");
    EXPECT_EQ(box.Text(), "42");
}

TEST(TComboBoxTest, PastingTakesOnlyWhatFits) {
    TComboBox box;
    box.SetMaxLength(5);
    box.SetText("12");
    box.lineEdit()->setCursorPosition(2);
    QApplication::clipboard()->setText("3456789");
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, "\x16");
    QApplication::sendEvent(box.lineEdit(), &paste);
    EXPECT_EQ(box.Text(), "12345");
}

TEST(TComboBoxTest, TypedTextIsNeverAddedToTheList) {
    TComboBox box;
    Type(box.lineEdit(), "new.grp");
    Press(box.lineEdit(), Qt::Key_Return);
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(box.Text(), "new.grp");
}

TEST(StatusHintsTest, TheBarShowsTheHintOfTheControlUnderThePointer) {
    QMainWindow window;
    auto* bar = new QStatusBar(&window);
    window.setStatusBar(bar);
    auto* central = new QWidget(&window);
    window.setCentralWidget(central);
    auto* button = new QPushButton("Подключиться", central);
    SetHint(button, " Подключиться к COM серверу");
    auto* combo = new TComboBox(central);
    SetHint(combo, " Имя файла");
    new TStatusHints(bar);

    EXPECT_TRUE(button->toolTip().isEmpty());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(bar->currentMessage(), " Подключиться к COM серверу");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_TRUE(bar->currentMessage().isEmpty());
    // The edit inside the combo box shows the combo box's hint.
    QApplication::sendEvent(combo->lineEdit(), &enter);
    EXPECT_EQ(bar->currentMessage(), " Имя файла");
}

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override { UiSeam::Reset(); }
    void TearDown() override { UiSeam::Reset(); }
};

TEST_F(FileDialogTest, FiltersBecomeQtNameFilters) {
    TFileDialog dialog(TFileDialogKind::Save, nullptr);
    dialog.Filter = "Файл OziExplorer (*.plt)|*.plt|Все файлы|*.*";
    EXPECT_EQ(dialog.NameFilters(), (QStringList{"Файл OziExplorer (*.plt)", "Все файлы (*.*)"}));
}

TEST_F(FileDialogTest, AcceptedNameGetsTheDefaultExtensionAndTheFilter) {
    TFileDialog dialog(TFileDialogKind::Save, nullptr);
    dialog.Title = "Экспорт трека";
    dialog.DefaultExt = "kml";
    dialog.FileName = "Track";
    dialog.FilterIndex = 2;
    UiSeam::SetNextFile("/tmp/route", 1);
    ASSERT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(dialog.FileName, "/tmp/route.kml");
    EXPECT_EQ(dialog.FilterIndex, 1);
    EXPECT_EQ(UiSeam::LastShown().kind, UiSeam::TKind::FileDialog);
    EXPECT_EQ(UiSeam::LastShown().caption, "Экспорт трека");
    EXPECT_EQ(UiSeam::LastShown().text, "Track");

    UiSeam::SetNextFile("/tmp/my.route");
    ASSERT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(dialog.FileName, "/tmp/my.route");
    EXPECT_EQ(dialog.FilterIndex, 1);
}

TEST_F(FileDialogTest, CancelKeepsTheSettings) {
    TFileDialog dialog(TFileDialogKind::Open, nullptr);
    dialog.FileName = "Moscow.chp";
    UiSeam::SetNextFileCancel();
    EXPECT_FALSE(dialog.Execute(nullptr));
    EXPECT_EQ(dialog.FileName, "Moscow.chp");
    // A dialog without a queued answer is cancelled too.
    EXPECT_FALSE(dialog.Execute(nullptr));
    EXPECT_EQ(UiSeam::ShownBoxes().size(), 2u);
}

TEST(ListViewTest, ReportStyleListHasItsColumnsAndSelection) {
    QTreeWidget view;
    SetupListView(&view, {{"Название", 128}, {"Широта", 100, Qt::AlignRight}});
    EXPECT_FALSE(view.rootIsDecorated());
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(view.columnWidth(0), 128);
    EXPECT_EQ(view.headerItem()->textAlignment(1) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST(FitIntoAreaTest, KeepsWhatFitsMovesWhatRunsOffAndShrinksWhatIsLarger) {
    const QRect screen(0, 0, 1280, 1024);
    EXPECT_EQ(FitIntoArea(QRect(100, 50, 826, 628), screen), QRect(100, 50, 826, 628));
    // Off the right edge: moved left, as far as needed and no further.
    EXPECT_EQ(FitIntoArea(QRect(520, 137, 830, 656), screen), QRect(450, 137, 830, 656));
    EXPECT_EQ(FitIntoArea(QRect(-20, 900, 830, 656), screen), QRect(0, 368, 830, 656));
    // Larger than the area: moved to it and shrunk to it.
    EXPECT_EQ(FitIntoArea(QRect(520, 137, 830, 656), QRect(0, 0, 800, 600)), QRect(0, 0, 800, 600));
    EXPECT_EQ(FitIntoArea(QRect(520, 137, 830, 400), QRect(0, 0, 800, 600)), QRect(0, 137, 800, 400));
    // An area away from the origin: a second screen, or a panel along the top.
    EXPECT_EQ(FitIntoArea(QRect(-40, 0, 300, 200), QRect(1280, 30, 1024, 738)), QRect(1280, 30, 300, 200));
}

} // namespace
